// The object dialogs: insert object and paste special, driven through their
// controls while they are up.
#include "platform/ole/oleclipboard.h"
#include "platform/ole/oleobject.h"
#include "platform/ole/olestorage.h"
#include "platform/oledlg/oledlg.h"
#include "platform/testing/olefailures.h"
#include "platform/win/codepage.h"
#include "platform/winui/winwindow.h"
#include "support/dialogtitles.h"
#include "support/files.h"
#include "support/modalscript.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <vector>

using namespace win;

namespace {

using Script = std::function<void(QDialog *)>;

// Runs a dialog call while the script acts on the dialog it shows. A dialog
// the script leaves open, or any other, fails the test and is cancelled.
template<typename Call>
UINT runDialog(Call call, const Script &script, bool *shown = nullptr)
{
    veskel::test::ModalScript answers;
    answers.expectDialog([&](QDialog *dialog) {
        script(dialog);
        if (dialog->isVisible()) {
            answers.refuse(dialog, QStringLiteral("the script left it open"));
        }
    });
    const UINT result = call();
    if (shown != nullptr) {
        *shown = answers.done();
    }
    return result;
}

template<typename T>
T *child(QDialog *dialog, const char *name)
{
    return dialog->findChild<T *>(QString::fromLatin1(name));
}

void click(QDialog *dialog, const char *button)
{
    if (auto *widget = child<QAbstractButton>(dialog, button)) {
        widget->click();
    }
}

const QString kNoIcon = QStringLiteral("<no icon>");

QString iconLabel(HGLOBAL picture)
{
    QImage icon;
    QString label;
    return IconPictureContents(picture, icon, label) ? label : kNoIcon;
}

QStringList itemTexts(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) {
        texts << list->item(i)->text();
    }
    return texts;
}

// An insert-object structure over a file buffer with guard bytes behind it.
struct InsertCall
{
    static constexpr std::size_t kGuard = 16;

    explicit InsertCall(DWORD flags, UINT room = 260)
        : buffer(room + kGuard, '#')
    {
        buffer[0] = '\0'; // an empty name, then whatever the buffer held
        io.cbStruct = sizeof io;
        io.dwFlags = flags;
        io.lpszFile = buffer.data();
        io.cchFile = room;
        io.iid = IID_IOleObject;
        io.oleRender = OLERENDER_DRAW;
        io.ppvObj = &object;
        std::shared_ptr<ILockBytes> bytes;
        QVERIFY(SUCCEEDED(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes)));
        QVERIFY(SUCCEEDED(StgCreateDocfileOnILockBytes(
            bytes, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, storage)));
        io.lpIStorage = storage;
    }
    ~InsertCall() { FreeIconPicture(io.hMetaPict); }

    void setFile(const QString &path)
    {
        const QByteArray encoded = EncodeAnsi(path);
        std::memcpy(io.lpszFile, encoded.constData(), std::size_t(encoded.size()) + 1);
    }
    QByteArray file() const
    {
        return QByteArray(buffer.data(), qsizetype(strnlen(buffer.data(), buffer.size())));
    }
    bool guardIntact() const
    {
        return std::all_of(buffer.end() - kGuard, buffer.end(), [](char c) { return c == '#'; });
    }
    std::shared_ptr<OleObject> made() const { return std::dynamic_pointer_cast<OleObject>(object); }

    std::vector<char> buffer;
    OLEUIINSERTOBJECTA io;
    std::shared_ptr<IOleObject> object;
    std::shared_ptr<IStorage> storage;
};

FORMATETC formatOf(UINT format, DWORD tymed)
{
    return {static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, tymed};
}

// The entries and link types the editor's paste special passes.
struct PasteCall
{
    explicit PasteCall(DWORD flags = 0)
    {
        const UINT embedded = RegisterClipboardFormatW(u"Embedded Object");
        linkTypes[0] = RegisterClipboardFormatW(u"Link Source");
        const UINT rtf = RegisterClipboardFormatW(u"Rich Text Format");
        const UINT richEdit = RegisterClipboardFormatW(u"RichEdit Text and Objects");
        entries = {
            {formatOf(embedded, TYMED_ISTORAGE), u"%s", u"%s",
             OLEUIPASTE_PASTE | OLEUIPASTE_ENABLEICON, 0},
            {formatOf(linkTypes[0], TYMED_ISTREAM), u"%s", u"%s",
             OLEUIPASTE_LINKTYPE1 | OLEUIPASTE_ENABLEICON, 0},
            {formatOf(CF_BITMAP, TYMED_GDI), u"Windows bitmap", u"bitmap image", OLEUIPASTE_PASTE,
             0},
            {formatOf(rtf, TYMED_ISTORAGE), u"Rich Text Format", u"Rich Text Format",
             OLEUIPASTE_PASTE, 0},
            {formatOf(CF_TEXT, TYMED_HGLOBAL), u"Unformatted text", u"text without any formatting",
             OLEUIPASTE_PASTE, 0},
            {formatOf(richEdit, TYMED_ISTORAGE), u"RichEdit Text and Objects",
             u"RichEdit Text and Objects", OLEUIPASTE_PASTE, 0},
        };
        ps.cbStruct = sizeof ps;
        ps.dwFlags = flags;
        ps.arrPasteEntries = entries.data();
        ps.cPasteEntries = int(entries.size());
        ps.arrLinkTypes = linkTypes;
        ps.cLinkTypes = 1;
    }
    ~PasteCall() { FreeIconPicture(ps.hMetaPict); }

    std::vector<OLEUIPASTEENTRYW> entries;
    UINT linkTypes[1] = {};
    OLEUIPASTESPECIALW ps;
};

UINT runInsert(InsertCall &call, const Script &script)
{
    return runDialog([&] { return OleUIInsertObjectA(&call.io); }, script);
}

UINT runPaste(PasteCall &call, const Script &script)
{
    return runDialog([&] { return OleUIPasteSpecialW(&call.ps); }, script);
}

// Faulty structures, each refused before anything is shown (or, for the last
// of each dialog, accepted).
struct Calls
{
    InsertCall insert{IOF_CREATENEWOBJECT};
    PasteCall paste;
    OLEUIINSERTOBJECTA *io = &insert.io;
    OLEUIPASTESPECIALW *ps = &paste.ps;
};
struct Fault
{
    const char *name;
    bool paste;
    UINT expected;
    void (*apply)(Calls &);
};
const Fault kFaults[] = {
    {"insert: no structure", false, OLEUI_ERR_STRUCTURENULL, [](Calls &c) { c.io = nullptr; }},
    {"insert: size", false, OLEUI_ERR_CBSTRUCTINCORRECT, [](Calls &c) { --c.io->cbStruct; }},
    {"insert: size before file", false, OLEUI_ERR_CBSTRUCTINCORRECT,
     [](Calls &c) {
         c.io->cbStruct = 0;
         c.io->lpszFile = nullptr;
     }},
    {"insert: no file", false, OLEUI_IOERR_LPSZFILEINVALID,
     [](Calls &c) { c.io->lpszFile = nullptr; }},
    {"insert: no room", false, OLEUI_IOERR_CCHFILEINVALID, [](Calls &c) { c.io->cchFile = 0; }},
    {"insert: new, no ppvObj", false, OLEUI_IOERR_PPVOBJINVALID,
     [](Calls &c) { c.io->ppvObj = nullptr; }},
    {"insert: file, no storage", false, OLEUI_IOERR_LPISTORAGEINVALID,
     [](Calls &c) {
         c.io->dwFlags = IOF_CREATEFILEOBJECT;
         c.io->lpIStorage.reset();
     }},
    {"insert: link, no ppvObj", false, OLEUI_IOERR_PPVOBJINVALID,
     [](Calls &c) {
         c.io->dwFlags = IOF_CREATELINKOBJECT;
         c.io->ppvObj = nullptr;
     }},
    {"insert: nothing made, neither needed", false, OLEUI_CANCEL,
     [](Calls &c) {
         c.io->dwFlags = 0;
         c.io->ppvObj = nullptr;
         c.io->lpIStorage.reset();
     }},
    {"paste: no structure", true, OLEUI_ERR_STRUCTURENULL, [](Calls &c) { c.ps = nullptr; }},
    {"paste: size", true, OLEUI_ERR_CBSTRUCTINCORRECT, [](Calls &c) { c.ps->cbStruct += 4; }},
    {"paste: no entries", true, OLEUI_IOERR_ARRPASTEENTRIESINVALID,
     [](Calls &c) { c.ps->arrPasteEntries = nullptr; }},
    {"paste: no entry", true, OLEUI_IOERR_ARRPASTEENTRIESINVALID,
     [](Calls &c) { c.ps->cPasteEntries = 0; }},
    {"paste: -1 entries", true, OLEUI_IOERR_ARRPASTEENTRIESINVALID,
     [](Calls &c) { c.ps->cPasteEntries = -1; }},
    {"paste: link types, no array", true, OLEUI_IOERR_ARRLINKTYPESINVALID,
     [](Calls &c) { c.ps->arrLinkTypes = nullptr; }},
    {"paste: nine link types", true, OLEUI_IOERR_ARRLINKTYPESINVALID,
     [](Calls &c) { c.ps->cLinkTypes = 9; }},
    {"paste: -1 link types", true, OLEUI_IOERR_ARRLINKTYPESINVALID,
     [](Calls &c) { c.ps->cLinkTypes = -1; }},
    {"paste: no link types at all", true, OLEUI_CANCEL,
     [](Calls &c) {
         c.ps->arrLinkTypes = nullptr;
         c.ps->cLinkTypes = 0;
     }},
};

struct HookRecord
{
    int calls = 0;
    UINT message = 0;
    HWND window = nullptr;
    LPARAM lParam = 0;
    QSize size;
    QPoint placed;
} g_hook;

// Centres the dialog across the screen a third of the way down, as the editor
// does.
UINT placingHook(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    g_hook.calls += 1;
    g_hook.message = message;
    g_hook.window = window;
    g_hook.lParam = lParam;
    RECT rect;
    GetWindowRect(window, &rect);
    g_hook.placed = QPoint((GetSystemMetrics(SM_CXSCREEN) - (rect.right - rect.left)) / 2,
                           (GetSystemMetrics(SM_CYSCREEN) - (rect.bottom - rect.top)) / 3);
    SetWindowPos(window, nullptr, g_hook.placed.x(), g_hook.placed.y(), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    g_hook.size = window->size();
    return 0;
}

} // namespace

class TestOleDialogs : public QObject
{
    Q_OBJECT

public:
    // The file dialog's history goes to a configuration folder of the test's.
    static void initMain() { veskel::test::UsePrivateHome(); }

private:
    QTemporaryDir m_dir;
    QString m_picture;
    QString m_long; // a text file more than 300 characters down nested folders
    const QByteArray m_textBytes = "some notes\nand a second line\n";
    QString m_savedCurrent;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    void setClipboard(const QString &kind)
    {
        auto *mime = new QMimeData;
        if (kind.contains("picture")) {
            mime->setImageData(QImage(m_picture));
        } else if (kind == "file") {
            mime->setUrls({QUrl::fromLocalFile(m_picture)});
        } else if (kind == "rtf") {
            mime->setData(kMimeRtf, "{\\rtf1 hello}");
        }
        if (kind == "text" || kind == "rtf") {
            mime->setText("hello");
        }
        if (kind == "described picture") {
            mime->setData(kMimeObjectDescriptor,
                          MakeObjectDescriptor("Bitmap Image", "/home/user/photo.png"));
        }
        QGuiApplication::clipboard()->setMimeData(mime);
    }

    static void writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_picture = path("pic.png");
        QImage image(7, 5, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(m_picture));
        writeFile(path("notes.txt"), m_textBytes);
        writeFile(path("fake.png"), m_textBytes);
        QFile big(path("big.bin"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(200LL * 1024 * 1024)); // sparse: nothing is written
        QVERIFY(QDir(m_dir.path()).mkdir("album"));
        QString folder = m_dir.path();
        for (int i = 0; i < 12; ++i) {
            folder += QStringLiteral("/a-folder-with-a-long-name-%1").arg(i);
        }
        QVERIFY(QDir().mkpath(folder));
        m_long = folder + "/deep.txt";
        QVERIFY(m_long.size() > 300);
        writeFile(m_long, m_textBytes);
        m_savedCurrent = QDir::currentPath();
    }

    void init() { g_hook = HookRecord(); }

    void cleanup()
    {
        QDir::setCurrent(m_savedCurrent);
        QGuiApplication::clipboard()->clear();
        FailObjectCreationForTesting(S_OK, 0);
    }

    void hookPlacesDialog_data()
    {
        QTest::addColumn<bool>("paste");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("title");
        QTest::newRow("insert") << false << QString() << veskel::test::title::kInsertObject;
        QTest::newRow("insert, caption") << false << "Add a Picture"
                                         << "Add a Picture";
        QTest::newRow("paste") << true << QString() << veskel::test::title::kPasteSpecial;
        QTest::newRow("paste, caption") << true << "Paste As"
                                        << "Paste As";
    }
    void hookPlacesDialog()
    {
        QFETCH(bool, paste);
        QFETCH(QString, caption);
        QFETCH(QString, title);
        QWidget owner;
        owner.setGeometry(40, 40, 500, 300);
        auto *inner = new QLineEdit(&owner);
        owner.show();
        const QByteArray ansiCaption = EncodeAnsi(caption);
        InsertCall insert(0);
        insert.io.hWndOwner = inner;
        insert.io.lpfnHook = &placingHook;
        insert.io.lpszCaption = caption.isNull() ? nullptr : ansiCaption.constData();
        PasteCall pasteCall;
        pasteCall.ps.hWndOwner = inner;
        pasteCall.ps.lpfnHook = &placingHook;
        if (!caption.isNull()) {
            pasteCall.ps.lpszCaption = reinterpret_cast<LPCWSTR>(caption.utf16());
        }
        setClipboard("text");
        const auto call = [&] {
            return paste ? OleUIPasteSpecialW(&pasteCall.ps) : OleUIInsertObjectA(&insert.io);
        };
        const UINT result = runDialog(call, [&](QDialog *dialog) {
            QCoreApplication::processEvents(); // a late re-centring would be queued
            QCOMPARE(g_hook.calls, 1);
            QCOMPARE(g_hook.message, WM_INITDIALOG);
            QCOMPARE(g_hook.window, static_cast<QWidget *>(dialog));
            QCOMPARE(g_hook.lParam, paste ? reinterpret_cast<LPARAM>(&pasteCall.ps)
                                          : reinterpret_cast<LPARAM>(&insert.io));
            QCOMPARE(dialog->parentWidget(), &owner);
            QCOMPARE(dialog->windowTitle(), title);
            QVERIFY(dialog->isModal());
            QCOMPARE(dialog->size(), g_hook.size); // the hook saw the final size
            QCOMPARE(dialog->frameGeometry().topLeft(), g_hook.placed);
            click(dialog, "cancelButton");
        });
        QCOMPARE(result, OLEUI_CANCEL);
        QCOMPARE(g_hook.calls, 1);
    }

    void cancelMakesNothing_data()
    {
        QTest::addColumn<bool>("paste");
        QTest::addColumn<QString>("how");
        for (const bool paste : {false, true}) {
            for (const char *how : {"Cancel", "Esc", "close"}) {
                QTest::addRow("%s, %s", paste ? "paste" : "insert", how) << paste << how;
            }
        }
    }
    void cancelMakesNothing()
    {
        QFETCH(bool, paste);
        QFETCH(QString, how);
        const DWORD insertFlags =
            IOF_CREATEFILEOBJECT | IOF_SELECTCREATEFROMFILE | IOF_CHECKDISPLAYASICON;
        InsertCall insert(insertFlags);
        insert.setFile(m_picture);
        PasteCall pasteCall(PSF_CHECKDISPLAYASICON);
        setClipboard("picture");
        const auto call = [&] {
            return paste ? OleUIPasteSpecialW(&pasteCall.ps) : OleUIInsertObjectA(&insert.io);
        };
        const UINT result = runDialog(call, [&](QDialog *dialog) {
            if (how == "Cancel") {
                click(dialog, "cancelButton");
            } else if (how == "Esc") {
                QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog,
                                Qt::Key_Escape);
            } else {
                dialog->close();
            }
        });
        QCOMPARE(result, OLEUI_CANCEL);
        QCOMPARE(pasteCall.ps.nSelectedIndex, -1);
        QVERIFY(pasteCall.ps.hMetaPict == nullptr);
        QCOMPARE(pasteCall.ps.dwFlags, PSF_CHECKDISPLAYASICON);
        QVERIFY(insert.object == nullptr);
        QVERIFY(insert.io.hMetaPict == nullptr);
        QCOMPARE(insert.storage->TotalBytes(), std::size_t(0));
        QCOMPARE(insert.file(), EncodeAnsi(m_picture));
        QCOMPARE(insert.io.dwFlags, insertFlags);
    }

    void validation_data()
    {
        QTest::addColumn<int>("fault");
        for (int i = 0; i < int(std::size(kFaults)); ++i) {
            QTest::newRow(kFaults[i].name) << i;
        }
    }
    void validation()
    {
        QFETCH(int, fault);
        const Fault &f = kFaults[fault];
        Calls calls;
        setClipboard("text");
        const auto kept = std::make_shared<OleObject>(OleObject::Kind::Package, nullptr);
        calls.insert.object = kept;
        calls.insert.io.sc = E_FAIL;
        calls.paste.ps.nSelectedIndex = 3;
        f.apply(calls);
        bool shown = false;
        const UINT result = runDialog(
            [&] { return f.paste ? OleUIPasteSpecialW(calls.ps) : OleUIInsertObjectA(calls.io); },
            [](QDialog *dialog) { click(dialog, "cancelButton"); }, &shown);
        QCOMPARE(result, f.expected);
        QCOMPARE(shown, f.expected == OLEUI_CANCEL);
        if (!shown) {
            // A refused structure is left as it was.
            QVERIFY(calls.insert.object == kept);
            QCOMPARE(calls.insert.io.sc, E_FAIL);
            QCOMPARE(calls.paste.ps.nSelectedIndex, 3);
        }
    }

    void insertInitialState_data()
    {
        QTest::addColumn<DWORD>("flags");
        QTest::addColumn<bool>("fromFile");
        QTest::addColumn<bool>("checked"); // link and icon
        QTest::addColumn<bool>("enabled");
        const DWORD checks = IOF_SELECTCREATEFROMFILE | IOF_CHECKLINK | IOF_CHECKDISPLAYASICON;
        QTest::newRow("defaults") << DWORD(0) << false << false << true;
        QTest::newRow("from file, checked") << checks << true << true << true;
        QTest::newRow("checked but disabled")
            << (checks | IOF_DISABLELINK | IOF_DISABLEDISPLAYASICON) << true << false << false;
    }
    void insertInitialState()
    {
        QFETCH(DWORD, flags);
        QFETCH(bool, fromFile);
        QFETCH(bool, checked);
        QFETCH(bool, enabled);
        InsertCall call(flags);
        const QString file = path("caf\u00e9.txt"); // in the code page, not in ASCII
        call.setFile(file);
        runInsert(call, [&](QDialog *dialog) {
            auto *createNew = child<QRadioButton>(dialog, "createNew");
            auto *createFromFile = child<QRadioButton>(dialog, "createFromFile");
            auto *linkCheck = child<QCheckBox>(dialog, "linkCheck");
            auto *iconCheck = child<QCheckBox>(dialog, "displayAsIcon");
            auto *types = child<QListWidget>(dialog, "objectTypes");
            auto *result = child<QLabel>(dialog, "resultLabel");
            QVERIFY(createNew && createFromFile && linkCheck && iconCheck && types && result);
            QVERIFY(child<QPushButton>(dialog, "okButton")->isDefault());
            QVERIFY(!child<QLabel>(dialog, "errorLabel")->isVisible());
            QCOMPARE(createFromFile->isChecked(), fromFile);
            QCOMPARE(createNew->isChecked(), !fromFile);
            QCOMPARE(linkCheck->isVisible(), fromFile);
            for (QCheckBox *box : {linkCheck, iconCheck}) {
                QCOMPARE(box->isChecked(), checked);
                QCOMPARE(box->isEnabled(), enabled);
            }
            QCOMPARE(child<QLineEdit>(dialog, "fileEdit")->text(), file);
            QCOMPARE(itemTexts(types), QStringList{ClassUserType(CLSID_Picture)});
            QCOMPARE(types->currentRow(), 0);
            // The result follows every choice.
            const QString before = result->text();
            (fromFile ? createNew : createFromFile)->click();
            QCOMPARE(linkCheck->isVisible(), !fromFile);
            QVERIFY(result->text() != before);
            if (enabled) {
                const QString plain = result->text();
                iconCheck->click();
                QVERIFY(result->text() != plain);
            }
            click(dialog, "cancelButton");
        });
    }

    void createNew_data()
    {
        QTest::addColumn<DWORD>("flags");
        QTest::addColumn<bool>("icon");
        QTest::newRow("object") << IOF_CREATENEWOBJECT << false;
        QTest::newRow("object as icon") << IOF_CREATENEWOBJECT << true;
        QTest::newRow("class only, as icon") << DWORD(0) << true;
    }
    void createNew()
    {
        QFETCH(DWORD, flags);
        QFETCH(bool, icon);
        InsertCall call(flags | IOF_SELECTCREATEFROMFILE | IOF_CHECKLINK);
        if (flags == 0) {
            call.io.ppvObj = nullptr;
            call.io.lpIStorage.reset();
        }
        const UINT result = runInsert(call, [&](QDialog *dialog) {
            click(dialog, "createNew");
            auto *types = child<QListWidget>(dialog, "objectTypes");
            const auto found = types->findItems(ClassUserType(CLSID_Picture), Qt::MatchExactly);
            QCOMPARE(found.size(), 1);
            types->setCurrentItem(found.first());
            if (icon) {
                click(dialog, "displayAsIcon");
            }
            QVERIFY(child<QLabel>(dialog, "resultLabel")->text().contains(found[0]->text()));
            click(dialog, "okButton");
        });
        QCOMPARE(result, OLEUI_OK);
        QVERIFY(call.io.clsid == CLSID_Picture);
        QCOMPARE(call.io.dwFlags,
                 flags | IOF_SELECTCREATENEW | (icon ? IOF_CHECKDISPLAYASICON : 0));
        QCOMPARE(call.io.sc, S_OK);
        if (flags != 0) {
            QVERIFY(call.made());
            QCOMPARE(call.made()->kind(), OleObject::Kind::Picture);
            QVERIFY(!call.made()->picture().isNull());
            QVERIFY(call.storage->TotalBytes() > 0);
        }
        QCOMPARE(iconLabel(call.io.hMetaPict), icon ? ClassUserType(CLSID_Picture) : kNoIcon);
        QCOMPARE(call.file(), QByteArray()); // no file chosen
    }

    // With every class left out there is nothing to make: OK says so and waits.
    void excludedClasses()
    {
        InsertCall call(IOF_CREATENEWOBJECT);
        call.io.cClsidExclude = 1;
        call.io.lpClsidExclude = &CLSID_Picture;
        const UINT result = runInsert(call, [&](QDialog *dialog) {
            QCOMPARE(child<QListWidget>(dialog, "objectTypes")->count(), 0);
            click(dialog, "okButton");
            QVERIFY(dialog->isVisible());
            QVERIFY(child<QLabel>(dialog, "errorLabel")->isVisible());
            click(dialog, "cancelButton");
        });
        QCOMPARE(result, OLEUI_CANCEL);
        QVERIFY(call.object == nullptr);
    }

    void createFromFile_data()
    {
        QTest::addColumn<QString>("file");  // in the test's folder; "long": the deep one
        QTest::addColumn<QString>("typed"); // empty: the caller's lpszFile
        QTest::addColumn<bool>("link");
        QTest::addColumn<bool>("icon");
        QTest::addColumn<bool>("picture");
        QTest::newRow("picture") << "pic.png"
                                 << "" << false << false << true;
        QTest::newRow("text file") << "notes.txt"
                                   << "" << false << false << false;
        QTest::newRow("picture linked") << "pic.png"
                                        << "" << true << false << true;
        QTest::newRow("text linked, as icon") << "notes.txt"
                                              << "" << true << true << false;
        QTest::newRow("as icon, typed relative") << "notes.txt"
                                                 << "  notes.txt " << false << true << false;
        QTest::newRow("long path") << "long"
                                   << "long" << false << false << false;
        QTest::newRow("long path linked") << "long"
                                          << "long" << true << false << false;
    }
    void createFromFile()
    {
        QFETCH(QString, file);
        QFETCH(QString, typed);
        QFETCH(bool, link);
        QFETCH(bool, icon);
        QFETCH(bool, picture);
        const QString full = file == "long" ? m_long : path(file);
        const DWORD flags = IOF_CREATEFILEOBJECT | IOF_CREATELINKOBJECT | IOF_CREATENEWOBJECT;
        InsertCall call(flags);
        if (typed.isEmpty()) {
            call.setFile(full);
        }
        QDir::setCurrent(m_dir.path());
        const UINT result = runInsert(call, [&](QDialog *dialog) {
            click(dialog, "createFromFile");
            auto *edit = child<QLineEdit>(dialog, "fileEdit");
            if (!typed.isEmpty()) {
                edit->clear();
                QTest::keyClicks(edit, typed == "long" ? m_long : typed);
            }
            if (link) {
                click(dialog, "linkCheck");
            }
            if (icon) {
                click(dialog, "displayAsIcon");
            }
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_Return); // presses the default button
        });
        QCOMPARE(result, OLEUI_OK);
        QCOMPARE(call.io.sc, S_OK);
        const std::shared_ptr<OleObject> object = call.made();
        QVERIFY(object);
        QCOMPARE(object->kind(), picture ? OleObject::Kind::Picture : OleObject::Kind::Package);
        QVERIFY(call.io.clsid == (picture ? CLSID_Picture : CLSID_Package));
        QCOMPARE(object->isLink(), link);
        QCOMPARE(object->displayName(), QFileInfo(full).fileName());
        if (link) {
            QCOMPARE(object->linkPath(), full); // made from the whole path
        } else if (picture) {
            QCOMPARE(object->picture().size(), QSize(7, 5));
        } else {
            QCOMPARE(object->contents(), m_textBytes);
        }
        // The caller's copy is the absolute path, cut to its room and terminated.
        QCOMPARE(call.file(), EncodeAnsi(full).left(259));
        QVERIFY(call.guardIntact());
        QCOMPARE(call.io.dwFlags, flags | IOF_SELECTCREATEFROMFILE | (link ? IOF_CHECKLINK : 0) |
                                      (icon ? IOF_CHECKDISPLAYASICON : 0));
        QCOMPARE(iconLabel(call.io.hMetaPict), icon ? file : kNoIcon);
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<HRESULT>("failure"); // made to fail by the test hook
        QTest::addColumn<QString>("message"); // part of the inline error
        QTest::addColumn<HRESULT>("sc");
        QTest::newRow("nothing typed") << "   " << S_OK << "" << S_OK;
        QTest::newRow("missing file") << "missing.txt" << S_OK << "missing.txt" << S_OK;
        QTest::newRow("folder") << "album" << S_OK << "album" << S_OK;
        QTest::newRow("device") << "/dev/zero" << S_OK << "zero" << S_OK;
        // Refused by its size before any creation reads it.
        QTest::newRow("200 MB file") << "big.bin" << S_OK << "big.bin" << S_OK;
        QTest::newRow("text named .png") << "fake.png" << S_OK << "fake.png" << DV_E_FORMATETC;
        QTest::newRow("creation fails")
            << "notes.txt" << E_OUTOFMEMORY << ResultMessage(E_OUTOFMEMORY) << E_OUTOFMEMORY;
        const HRESULT unknown = MakeResult(0x80041234);
        QTest::newRow("creation fails, code without text")
            << "notes.txt" << unknown << "error 0x80041234" << unknown;
    }
    void refusedFiles()
    {
        QFETCH(QString, typed);
        QFETCH(HRESULT, failure);
        QFETCH(QString, message);
        QFETCH(HRESULT, sc);
        if (typed.startsWith("/dev/") && !QFileInfo::exists(typed)) {
            QSKIP("no such device here");
        }
        QDir::setCurrent(m_dir.path());
        InsertCall call(IOF_CREATEFILEOBJECT | IOF_SELECTCREATEFROMFILE | IOF_CHECKDISPLAYASICON);
        FailObjectCreationForTesting(failure, failure == S_OK ? 0 : 1);
        const UINT result = runInsert(call, [&](QDialog *dialog) {
            auto *edit = child<QLineEdit>(dialog, "fileEdit");
            auto *error = child<QLabel>(dialog, "errorLabel");
            QTest::keyClicks(edit, typed);
            click(dialog, "okButton");
            QVERIFY(dialog->isVisible());
            QVERIFY(error->isVisible());
            QVERIFY2(!error->text().isEmpty() && error->text().contains(message),
                     qPrintable(error->text()));
            QCOMPARE(call.io.sc, sc);
            QVERIFY(call.object == nullptr);
            if (failure != S_OK) {
                // The same choice again, now that creation works: the
                // dialog was left usable.
                click(dialog, "okButton");
                return;
            }
            QTest::keyClicks(edit, "x"); // editing takes the message away
            QVERIFY(!error->isVisible());
            click(dialog, "cancelButton");
        });
        if (failure != S_OK) {
            QCOMPARE(result, OLEUI_OK);
            QCOMPARE(call.io.sc, S_OK);
            QVERIFY(call.made());
            QCOMPARE(call.made()->contents(), m_textBytes);
            QCOMPARE(iconLabel(call.io.hMetaPict), QStringLiteral("notes.txt"));
        } else {
            QCOMPARE(result, OLEUI_CANCEL);
            QVERIFY(call.object == nullptr);
            QVERIFY(call.io.hMetaPict == nullptr);
        }
    }

    void browseFillsFileName()
    {
        InsertCall call(IOF_SELECTCREATEFROMFILE);
        call.setFile(path("notes.txt"));
        const UINT result = runInsert(call, [&](QDialog *dialog) {
            QString folderShown;
            bool shown = false;
            runDialog(
                [&] {
                    click(dialog, "browseButton");
                    return 0u;
                },
                [&](QDialog *files) {
                    folderShown = qobject_cast<QFileDialog *>(files)->directory().path();
                    // Typed into its name box, then its Open button.
                    child<QLineEdit>(files, "fileNameEdit")->setText(m_picture);
                    files->accept();
                },
                &shown);
            QVERIFY(shown);
            QCOMPARE(folderShown, m_dir.path()); // where the named file is
            QCOMPARE(child<QLineEdit>(dialog, "fileEdit")->text(), m_picture);
            click(dialog, "okButton");
        });
        QCOMPARE(result, OLEUI_OK);
        QCOMPARE(DecodeAnsi(call.file()), m_picture);
    }

    void accessKeys()
    {
        InsertCall call(0);
        runInsert(call, [&](QDialog *dialog) {
            dialog->activateWindow();
            QVERIFY(QTest::qWaitFor([dialog] { return QApplication::activeWindow() == dialog; }));
            const auto press = [dialog](Qt::Key key) {
                QTest::keyClick(dialog->focusWidget(), key, Qt::AltModifier);
            };
            press(Qt::Key_F);
            QVERIFY(child<QRadioButton>(dialog, "createFromFile")->isChecked());
            press(Qt::Key_L);
            QVERIFY(child<QCheckBox>(dialog, "linkCheck")->isChecked());
            press(Qt::Key_D);
            QVERIFY(child<QCheckBox>(dialog, "displayAsIcon")->isChecked());
            press(Qt::Key_I);
            QCOMPARE(dialog->focusWidget(), child<QLineEdit>(dialog, "fileEdit"));
            press(Qt::Key_N);
            QVERIFY(child<QRadioButton>(dialog, "createNew")->isChecked());
            press(Qt::Key_T);
            QCOMPARE(dialog->focusWidget(), child<QListWidget>(dialog, "objectTypes"));
            click(dialog, "cancelButton");
        });
    }

    void pasteLists_data()
    {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QStringList>("paste");
        QTest::addColumn<QStringList>("link"); // empty: Paste Link disabled
        QTest::addColumn<QString>("source");
        // Entries 0 and 1, named "%s", are the ones that may be shown as an icon.
        QTest::newRow("text") << "text" << QStringList{"Unformatted text"} << QStringList{}
                              << "Unknown";
        QTest::newRow("picture") << "picture" << QStringList{"Object", "Windows bitmap"}
                                 << QStringList{} << "Unknown";
        QTest::newRow("described picture")
            << "described picture" << QStringList{"Bitmap Image", "Windows bitmap"} << QStringList{}
            << "/home/user/photo.png";
        // The toolkit offers a list of files as text too.
        QTest::newRow("file") << "file" << QStringList{"Object", "Unformatted text"}
                              << QStringList{"Object"} << "Unknown";
        QTest::newRow("rtf and text")
            << "rtf" << QStringList{"Rich Text Format", "Unformatted text"} << QStringList{}
            << "Unknown";
        QTest::newRow("empty") << "empty" << QStringList{} << QStringList{} << "Unknown";
    }
    void pasteLists()
    {
        QFETCH(QString, clipboard);
        QFETCH(QStringList, paste);
        QFETCH(QStringList, link);
        QFETCH(QString, source);
        setClipboard(clipboard);
        PasteCall call;
        const QHash<QString, QString> results{{"Windows bitmap", "bitmap image"},
                                              {"Unformatted text", "text without any formatting"}};
        const QStringList iconAllowed{"Object", "Bitmap Image"};
        const UINT result = runPaste(call, [&](QDialog *dialog) {
            auto *list = child<QListWidget>(dialog, "formatList");
            auto *icon = child<QCheckBox>(dialog, "displayAsIcon");
            auto *ok = child<QPushButton>(dialog, "okButton");
            auto *linkRadio = child<QRadioButton>(dialog, "pasteLinkRadio");
            auto *said = child<QLabel>(dialog, "resultLabel");
            QVERIFY(list && icon && ok && linkRadio && said);
            QCOMPARE(child<QLabel>(dialog, "sourceLabel")->text(), source);
            QVERIFY(child<QRadioButton>(dialog, "pasteRadio")->isChecked());
            QCOMPARE(linkRadio->isEnabled(), !link.isEmpty());
            const auto checkList = [&](const QStringList &expected) {
                QCOMPARE(itemTexts(list), expected);
                QCOMPARE(ok->isEnabled(), !expected.isEmpty());
                for (int row = 0; row < list->count(); ++row) {
                    list->setCurrentRow(row);
                    const QString name = list->item(row)->text();
                    QCOMPARE(icon->isEnabled(), iconAllowed.contains(name));
                    QVERIFY2(said->text().contains(results.value(name, name)),
                             qPrintable(said->text()));
                }
            };
            checkList(paste);
            if (!link.isEmpty()) {
                linkRadio->click();
                checkList(link);
            }
            click(dialog, "cancelButton");
        });
        QCOMPARE(result, OLEUI_CANCEL);
        QVERIFY(call.ps.lpSrcDataObj != nullptr);
    }

    void pasteChoice_data()
    {
        QTest::addColumn<QString>("clipboard"); // "given": data handed in, text on the clipboard
        QTest::addColumn<DWORD>("flags");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("actions"); // "link", "icon", then how OK is given
        QTest::addColumn<int>("index");
        QTest::addColumn<DWORD>("flagsOut");
        QTest::addColumn<QString>("iconLabel");
        const DWORD paste = PSF_SELECTPASTE;
        const DWORD link = PSF_SELECTPASTELINK;
        const DWORD icon = PSF_CHECKDISPLAYASICON;
        QTest::newRow("text") << "text" << DWORD(0) << 0 << "OK" << 4 << paste << kNoIcon;
        QTest::newRow("bitmap, double-click")
            << "picture" << DWORD(0) << 1 << "double-click" << 2 << paste << kNoIcon;
        QTest::newRow("picture as icon, no link to start on")
            << "picture" << link << 0 << "icon OK" << 0 << (paste | icon)
            << ClassUserType(CLSID_Picture);
        QTest::newRow("described picture as icon")
            << "described picture" << DWORD(0) << 0 << "icon Enter" << 0 << (paste | icon)
            << "Bitmap Image";
        QTest::newRow("file linked as icon")
            << "file" << DWORD(0) << 0 << "link icon Enter" << 1 << (link | icon) << "pic.png";
        QTest::newRow("file, starts linked as icon, other flags kept")
            << "file" << (link | icon | PSF_HIDECHANGEICON) << 0 << "OK" << 1
            << (link | icon | PSF_HIDECHANGEICON) << "pic.png";
        QTest::newRow("icon asked for, entry does not allow it")
            << "text" << icon << 0 << "OK" << 4 << paste << kNoIcon;
        QTest::newRow("icon asked for, disabled by flag")
            << "picture" << (icon | PSF_DISABLEDISPLAYASICON) << 0 << "OK" << 0
            << (paste | PSF_DISABLEDISPLAYASICON) << kNoIcon;
        QTest::newRow("given data") << "given" << DWORD(0) << 1 << "OK" << 2 << paste << kNoIcon;
        QTest::newRow("given data as icon")
            << "given" << DWORD(0) << 0 << "icon OK" << 0 << (paste | icon) << "Drawing";
    }
    void pasteChoice()
    {
        QFETCH(QString, clipboard);
        QFETCH(DWORD, flags);
        QFETCH(int, row);
        QFETCH(QString, actions);
        QFETCH(int, index);
        QFETCH(DWORD, flagsOut);
        QFETCH(QString, iconLabel);
        PasteCall call(flags);
        std::shared_ptr<IDataObject> given;
        if (clipboard == "given") {
            setClipboard("text");
            QMimeData mime;
            mime.setImageData(QImage(m_picture));
            mime.setData(kMimeObjectDescriptor, MakeObjectDescriptor("Drawing", QString()));
            given = DataObjectFromMimeData(mime);
            call.ps.lpSrcDataObj = given;
        } else {
            setClipboard(clipboard);
        }
        const UINT result = runPaste(call, [&](QDialog *dialog) {
            auto *list = child<QListWidget>(dialog, "formatList");
            auto *icon = child<QCheckBox>(dialog, "displayAsIcon");
            if (actions.contains("link")) {
                click(dialog, "pasteLinkRadio");
            }
            QCOMPARE(list->currentRow(), 0);
            list->setCurrentRow(row);
            if (actions.contains("icon")) {
                QVERIFY(icon->isEnabled());
                icon->click();
            }
            QCOMPARE(icon->isChecked(), iconLabel != kNoIcon);
            if (actions.endsWith("OK")) {
                click(dialog, "okButton");
            } else if (actions.endsWith("Enter")) {
                QTest::keyClick(list, Qt::Key_Return);
            } else {
                // As the window system sends it: a click, then the double-click.
                const QPoint at = list->visualItemRect(list->item(row)).center();
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
                QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
            }
        });
        QCOMPARE(result, OLEUI_OK);
        QCOMPARE(call.ps.nSelectedIndex, index);
        QCOMPARE(call.ps.fLink, BOOL((flagsOut & PSF_SELECTPASTELINK) != 0));
        QCOMPARE(call.ps.dwFlags, flagsOut);
        QVERIFY(call.ps.lpSrcDataObj != nullptr);
        QVERIFY(!given || call.ps.lpSrcDataObj == given);
        QCOMPARE(::iconLabel(call.ps.hMetaPict), iconLabel);
    }
};

QTEST_MAIN(TestOleDialogs)
#include "tst_oledlg.moc"
