// Fuzzes reading an object from its bytes, as they come from the clipboard
// or from the objects of a pasted rich text. An object that loads saves to
// bytes that load again and save the same. Loading never touches the files
// a link names.
#include "platform/ole/oleobject.h"

#include <QByteArray>
#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using win::FAILED;
using win::SUCCEEDED;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

std::shared_ptr<win::IStorage> newStorage()
{
    std::shared_ptr<win::ILockBytes> lockBytes;
    std::shared_ptr<win::IStorage> storage;
    check(SUCCEEDED(win::CreateILockBytesOnHGlobal(nullptr, win::TRUE, lockBytes)));
    check(SUCCEEDED(win::StgCreateDocfileOnILockBytes(
        lockBytes, win::STGM_READWRITE | win::STGM_SHARE_EXCLUSIVE | win::STGM_CREATE, 0,
        storage)));
    return storage;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Start most inputs with a valid header so the fuzzer spends its time on
    // the lengths and contents after it.
    QByteArray input;
    if (size > 0 && (data[0] & 1) != 0) {
        input = QByteArrayLiteral("VSKOBJ\x01");
    }
    input.append(reinterpret_cast<const char *>(data), qsizetype(size));

    std::shared_ptr<win::IOleObject> object;
    if (FAILED(win::OleLoadObjectData(input, newStorage(), object))) {
        check(!object);
        return 0;
    }
    const auto *loaded = dynamic_cast<win::OleObject *>(object.get());
    check(loaded != nullptr);
    // A link shows what was stored with it, so it round-trips like the rest.
    const QByteArray saved = win::OleSaveObjectData(*loaded);
    std::shared_ptr<win::IOleObject> again;
    check(SUCCEEDED(win::OleLoadObjectData(saved, newStorage(), again)));
    check(win::OleSaveObjectData(*dynamic_cast<win::OleObject *>(again.get())) == saved);
    return 0;
}
