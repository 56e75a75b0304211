#include "platform/richedit/richeditlib.h"

#include "platform/testing/richeditfailures.h"

#include <QHash>
#include <QStringList>

namespace win {

namespace {

struct Library
{
    QString name;
    QStringList classes;
    std::uintptr_t handle;
};

const QList<Library> &knownLibraries()
{
    static const QList<Library> libraries = {
        {QStringLiteral("riched20.dll"),
         {QStringLiteral("RICHEDIT20W"), QStringLiteral("RICHEDIT20A")},
         0x6A000000},
        {QStringLiteral("msftedit.dll"), {QStringLiteral("RICHEDIT50W")}, 0x6B000000},
        {QStringLiteral("riched32.dll"), {QStringLiteral("RICHEDIT")}, 0x6C000000},
    };
    return libraries;
}

struct State
{
    QHash<std::uintptr_t, int> loadCount;
    QHash<QString, bool> loadable;
};

State &state()
{
    static State s;
    return s;
}

const Library *libraryNamed(const QString &name)
{
    const QString key = name.toLower();
    for (const Library &library : knownLibraries()) {
        if (library.name == key) {
            return &library;
        }
    }
    return nullptr;
}

} // namespace

HMODULE LoadLibraryW(LPCWSTR name)
{
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const Library *library = libraryNamed(QString::fromUtf16(name));
    if (library == nullptr || !state().loadable.value(library->name, true)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++state().loadCount[library->handle];
    return reinterpret_cast<HMODULE>(library->handle);
}

BOOL FreeLibrary(HMODULE module)
{
    const auto handle = reinterpret_cast<std::uintptr_t>(module);
    auto it = state().loadCount.find(handle);
    if (it == state().loadCount.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--it.value() == 0) {
        state().loadCount.erase(it);
    }
    return TRUE;
}

BOOL GetClassInfoW(HMODULE, LPCWSTR className)
{
    if (className == nullptr) {
        return FALSE;
    }
    const QString name = QString::fromUtf16(className);
    for (const Library &library : knownLibraries()) {
        if (state().loadCount.value(library.handle) > 0 &&
            library.classes.contains(name, Qt::CaseInsensitive)) {
            return TRUE;
        }
    }
    return FALSE;
}

RichEditWindow *CreateRichEditWindow(LPCWSTR className, DWORD style, QWidget *parent)
{
    if (GetClassInfoW(nullptr, className) == FALSE) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    return new RichEditWindow(style, parent);
}

void SetLibraryLoadableForTesting(const QString &name, bool loadable)
{
    state().loadable.insert(name.toLower(), loadable);
}

} // namespace win
