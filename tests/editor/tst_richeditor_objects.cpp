// The editor control's embedded objects: the object dialogs and where they
// open, the object host's answers, and objects in editing, undo, the
// clipboard, drag and drop and the window's life.
#include "editor/objects/objecthost.h"
#include "editor/objects/objectstorage.h"
#include "editortestutil.h"
#include "objecttestutil.h"
#include "platform/ole/oleclipboard.h"
#include "platform/testing/olefailures.h"
#include "platform/testing/richeditfailures.h"
#include "platform/testing/textview.h"
#include "platform/winui/winwindow.h"
#include "runtime/exceptions.h"

#include <QAction>
#include <QClipboard>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QTextDocumentFragment>

using namespace veskel;
using namespace veskel::test;
using namespace win;

namespace {

// What the object at the position is.
struct Found
{
    ObjectRecordPtr record;
    OleObject *object = nullptr;
};

Found objectAt(TRichEditor &editor, int position)
{
    for (const PositionedObject &at :
         ObjectsOf(*win::TextViewOf(editor.InnerWindow())->document())) {
        if (at.cp == position) {
            return {at.record, dynamic_cast<OleObject *>(at.record->object.get())};
        }
    }
    return {};
}

int objectCount(TRichEditor &editor)
{
    return editor.RichEditOle() ? editor.RichEditOle()->GetObjectCount() : -1;
}

// Inserts an object made from the file at the caret, as the dialog would.
void insertFile(TRichEditor &editor, const QString &path)
{
    std::shared_ptr<IOleClientSite> site;
    editor.RichEditOle()->GetClientSite(site);
    std::shared_ptr<IStorage> storage = CreateObjectStorage();
    std::shared_ptr<IOleObject> object;
    QVERIFY(SUCCEEDED(OleCreateFromFile(CLSID_NULL, path, IID_IOleObject, OLERENDER_DRAW, nullptr,
                                        site, storage, object)));
    REOBJECT reobject{};
    reobject.cbStruct = sizeof(REOBJECT);
    reobject.cp = REO_CP_SELECTION;
    object->GetUserClassID(reobject.clsid);
    reobject.poleobj = object;
    reobject.pstg = storage;
    reobject.polesite = site;
    reobject.dvaspect = DVASPECT_CONTENT;
    reobject.dwFlags = REO_RESIZABLE;
    QCOMPARE(editor.RichEditOle()->InsertObject(reobject), S_OK);
    editor.InnerWindow()->flush();
}

// A drag that enters the editing area and moves over it, as before a drop.
void dragOver(TRichEditor &editor, const QMimeData &data, Qt::DropActions actions,
              Qt::KeyboardModifiers modifiers)
{
    QWidget *viewport = win::TextViewOf(editor.InnerWindow())->viewport();
    QDragEnterEvent enter(QPoint(5, 5), actions, &data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(viewport, &enter);
    QDragMoveEvent move(QPoint(5, 5), actions, &data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(viewport, &move);
}

QPoint expectedDialogPosition(const QRect &frame)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    return {(screen.width() - frame.width()) / 2, (screen.height() - frame.height()) / 3};
}

} // namespace

class TestRichEditorObjects : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        RegisterObjectClipboardFormats();
    }

    void cleanup()
    {
        QGuiApplication::clipboard()->clear();
        FailStorageCreationForTesting(S_OK, 0);
        FailObjectCreationForTesting(S_OK, 0);
    }

    // -----------------------------------------------------------------------
    // Registered formats, failures, storage

    void clipboardFormatsAreRegisteredInOrder()
    {
        const ObjectClipboardFormats &formats = ObjectFormats();
        const UINT ids[] = {formats.objectDescriptor, formats.embeddedObject, formats.linkSource,
                            formats.richTextFormat, formats.richEditTextAndObjects};
        const char16_t *names[] = {u"Object Descriptor", u"Embedded Object", u"Link Source",
                                   u"Rich Text Format", u"RichEdit Text and Objects"};
        for (int i = 0; i < 5; ++i) {
            QVERIFY(ids[i] >= 0xC000);
            if (i > 0) {
                QCOMPARE(ids[i], ids[i - 1] + 1);
            }
            WCHAR buffer[64] = {};
            QVERIFY(GetClipboardFormatNameW(ids[i], buffer, 64) > 0);
            QCOMPARE(QString::fromUtf16(buffer), QString::fromUtf16(names[i]));
            // The same name, in any letter case, is the same format.
            const QString upper = QString::fromUtf16(names[i]).toUpper();
            QCOMPARE(RegisterClipboardFormatW(reinterpret_cast<LPCWSTR>(upper.utf16())), ids[i]);
        }
        RegisterObjectClipboardFormats(); // a second call registers nothing new
        QCOMPARE(ObjectFormats().objectDescriptor, ids[0]);
    }

    void failedResultsRaise_data()
    {
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("message");
        QTest::newRow("known") << int(E_OUTOFMEMORY)
                               << "Not enough memory resources are available to complete this "
                                  "operation";
        QTest::newRow("unknown, eight digits")
            << int(MakeResult(0x8004ABCD)) << "OLE error 8004abcd";
        QTest::newRow("leading zeros") << int(MakeResult(0x80000001)) << "OLE error 80000001";
    }
    void failedResultsRaise()
    {
        QFETCH(int, result);
        QFETCH(QString, message);
        try {
            OleCheck(result);
            QFAIL("no exception");
        } catch (const EOleSysError &error) {
            QCOMPARE(error.message(), message);
        }
        OleCheck(S_OK);
        OleCheck(S_FALSE);
    }

    void objectStorage()
    {
        std::shared_ptr<IStorage> storage = CreateObjectStorage();
        QVERIFY(storage);
        QCOMPARE(storage->WriteStream(QStringLiteral("CONTENTS"), "abc"), S_OK);
        QByteArray read;
        QCOMPARE(storage->ReadStream(QStringLiteral("CONTENTS"), read), S_OK);
        QCOMPARE(read, QByteArray("abc"));

        FailStorageCreationForTesting(E_OUTOFMEMORY, 1);
        QVERIFY_THROWS_EXCEPTION(EOleSysError, CreateObjectStorage());
        QVERIFY(CreateObjectStorage()); // only the one failure
    }

    // -----------------------------------------------------------------------
    // Dialog placement

    void centerDialogHook_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("small") << QSize(200, 100);
        QTest::newRow("odd sizes") << QSize(333, 201);
        QTest::newRow("wider than the screen") << QSize(5000, 4000);
    }
    void centerDialogHook()
    {
        QFETCH(QSize, size);
        QDialog dialog;
        dialog.resize(size);
        QCOMPARE(CenterDialogHook(&dialog, WM_INITDIALOG, 0, 0), 1u);
        const QPoint expected = expectedDialogPosition(dialog.frameGeometry());
        QCOMPARE(dialog.frameGeometry().topLeft(), expected);
        // Integer division truncates toward zero, also below zero.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(expected.x(), int((screen.width() - dialog.frameGeometry().width()) / 2));

        // Other messages do nothing.
        dialog.move(7, 9);
        QCOMPARE(CenterDialogHook(&dialog, WM_CONTEXTMENU, 0, 0), 0u);
        QCOMPARE(dialog.pos(), QPoint(7, 9));
    }

    void centerDialogHookMovesTheOwnerOfAChild()
    {
        QDialog owner;
        owner.resize(300, 200);
        auto *inner = new QWidget(&owner);
        inner->setGeometry(10, 10, 50, 50);
        QCOMPARE(CenterDialogHook(inner, WM_INITDIALOG, 0, 0), 1u);
        QCOMPARE(owner.frameGeometry().topLeft(), expectedDialogPosition(owner.frameGeometry()));
        QCOMPARE(inner->pos(), QPoint(10, 10));
    }

    // -----------------------------------------------------------------------
    // The object host

    void dragDropEffect_data()
    {
        QTest::addColumn<bool>("drag");
        QTest::addColumn<uint>("keys");
        QTest::addColumn<uint>("allowed");
        QTest::addColumn<uint>("effect");
        const uint all = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
        QTest::newRow("plain drop moves")
            << false << uint(MK_LBUTTON) << all << uint(DROPEFFECT_MOVE);
        QTest::newRow("control copies")
            << false << uint(MK_LBUTTON | MK_CONTROL) << all << uint(DROPEFFECT_COPY);
        QTest::newRow("control and shift link")
            << false << uint(MK_LBUTTON | MK_CONTROL | MK_SHIFT) << all << uint(DROPEFFECT_LINK);
        QTest::newRow("shift alone moves")
            << false << uint(MK_SHIFT) << all << uint(DROPEFFECT_MOVE);
        QTest::newRow("move not allowed: unchanged")
            << false << 0u << uint(DROPEFFECT_COPY | DROPEFFECT_LINK)
            << uint(DROPEFFECT_COPY | DROPEFFECT_LINK);
        QTest::newRow("link not allowed: unchanged")
            << false << uint(MK_CONTROL | MK_SHIFT) << uint(DROPEFFECT_COPY | DROPEFFECT_MOVE)
            << uint(DROPEFFECT_COPY | DROPEFFECT_MOVE);
        QTest::newRow("the drag source: unchanged") << true << uint(MK_CONTROL) << all << all;
    }
    void dragDropEffect()
    {
        QFETCH(bool, drag);
        QFETCH(uint, keys);
        QFETCH(uint, allowed);
        QFETCH(uint, effect);
        TRichEditor editor;
        DWORD answer = allowed;
        QCOMPARE(editor.Host()->GetDragDropEffect(drag ? TRUE : FALSE, keys, &answer), S_OK);
        QCOMPARE(answer, DWORD(effect));
    }

    void queryInsertObject_data()
    {
        QTest::addColumn<bool>("handler");
        QTest::addColumn<bool>("allow");
        QTest::addColumn<int>("cp");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("calls");
        QTest::newRow("no handler") << false << true << int(REO_CP_SELECTION) << int(S_OK) << 0;
        QTest::newRow("handler allows") << true << true << int(REO_CP_SELECTION) << int(S_OK) << 1;
        QTest::newRow("handler refuses")
            << true << false << int(REO_CP_SELECTION) << int(E_NOTIMPL) << 1;
        QTest::newRow("not at the selection: not asked") << true << false << 5 << int(S_OK) << 0;
    }
    void queryInsertObject()
    {
        QFETCH(bool, handler);
        QFETCH(bool, allow);
        QFETCH(int, cp);
        QFETCH(int, result);
        QFETCH(int, calls);
        TRichEditor editor;
        int asked = 0;
        CLSID seen{};
        if (handler) {
            editor.OnQueryInsertObject = [&](TRichEditor *sender, bool &allowed,
                                             const CLSID &clsid) {
                QCOMPARE(sender, &editor);
                QVERIFY(allowed); // starts true
                ++asked;
                seen = clsid;
                allowed = allow;
            };
        }
        QCOMPARE(editor.Host()->QueryInsertObject(CLSID_Package, nullptr, cp), result);
        QCOMPARE(asked, calls);
        if (calls > 0) {
            QVERIFY(seen == CLSID_Package);
        }
    }

    void hostAnswers()
    {
        TRichEditor editor;
        ObjectHost *host = editor.Host();
        std::shared_ptr<IStorage> storage;
        QCOMPARE(host->GetNewStorage(storage), S_OK);
        QVERIFY(storage);
        FailStorageCreationForTesting(E_FAIL, 1);
        QCOMPARE(host->GetNewStorage(storage), E_OUTOFMEMORY);
        QVERIFY(!storage);

        QCOMPARE(host->QueryAcceptData(nullptr, nullptr, 0, TRUE, nullptr), S_OK);
        QCOMPARE(host->ContextSensitiveHelp(TRUE), E_NOTIMPL);
        std::shared_ptr<IDataObject> data = DataObjectFromMimeData(QMimeData());
        QCOMPARE(host->GetClipboardData({0, 1}, 1, data), E_NOTIMPL);
        QVERIFY(!data);

        std::shared_ptr<IOleObject> object;
        QCOMPARE(OleCreate(CLSID_Picture, IID_IOleObject, OLERENDER_DRAW, nullptr, nullptr,
                           CreateObjectStorage(), object),
                 S_OK);
        object->DoVerb(OLEIVERB_SHOW, nullptr, nullptr, 0, nullptr, nullptr);
        QCOMPARE(host->DeleteObject(object), S_OK);
        QVERIFY(std::dynamic_pointer_cast<OleObject>(object)->closed());
    }

    void inPlaceContext()
    {
        QMainWindow form;
        QMenu *file = form.menuBar()->addMenu(QStringLiteral("&File"));
        file->addAction(QStringLiteral("&Open"))
            ->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
        file->addAction(QStringLiteral("&Save"))
            ->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
        auto *editor = new TRichEditor;
        form.setCentralWidget(editor);

        HWND frame = nullptr;
        HWND document = nullptr;
        OLEINPLACEFRAMEINFO info{};
        QCOMPARE(editor->Host()->GetInPlaceContext(&frame, &document, &info), E_NOTIMPL);
        editor->Properties().setAllowObjects(true);
        QCOMPARE(editor->Host()->GetInPlaceContext(&frame, &document, &info), S_OK);
        QCOMPARE(frame, &form);
        QCOMPARE(document, &form);
        QCOMPARE(info.fMDIApp, FALSE);
        QCOMPARE(info.hwndFrame, &form);
        QCOMPARE(info.cAccelEntries, 2u);
        QVERIFY(editor->Host()->Accelerators().contains(QKeySequence(QStringLiteral("Ctrl+S"))));

        TRichEditor alone;
        alone.Properties().setAllowObjects(true);
        QCOMPARE(alone.Host()->GetInPlaceContext(&frame, &document, &info), E_NOTIMPL);
    }

    void containerUi()
    {
        QMainWindow form;
        auto *editor = new TRichEditor;
        form.setCentralWidget(editor);
        editor->Properties().setAllowObjects(true);
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        RichEditWindow *inner = editor->InnerWindow();
        QCOMPARE(editor->Host()->ShowContainerUI(FALSE), S_OK);
        QCOMPARE(ActiveOleControl(&form), inner);
        QTRY_VERIFY(inner->hasFocus());
        QCOMPARE(editor->Host()->ShowContainerUI(TRUE), S_OK);
        QCOMPARE(ActiveOleControl(&form), nullptr);
        QVERIFY(editor->Host()->Frame() == nullptr);

        editor->Properties().setReadOnly(true);
        editor->Host()->ShowContainerUI(FALSE);
        QCOMPARE(ActiveOleControl(&form), nullptr); // only when editing is permitted
    }

    void contextMenuGoesThroughTheHost()
    {
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        editor.setText(QStringLiteral("some text"));
        RichEditWindow *inner = editor.InnerWindow();
        const QPoint local(20, 10);
        QContextMenuEvent event(QContextMenuEvent::Mouse, local,
                                win::TextViewOf(inner)->viewport()->mapToGlobal(local));
        QApplication::sendEvent(win::TextViewOf(inner)->viewport(), &event);
        // The host posts the request to the control, which shows its menu.
        QVERIFY(editor.ContextMenu()->isHidden());
        QTRY_VERIFY(editor.ContextMenu()->isVisible());
        QCOMPARE(editor.ContextMenu()->pos(),
                 win::TextViewOf(inner)->viewport()->mapToGlobal(local));
        editor.ContextMenu()->hide();
    }

    // -----------------------------------------------------------------------
    // The inner window's object interface

    void windowCreationSetsUpObjects()
    {
        TRichEditor editor;
        editor.InnerWindow();
        QVERIFY(!editor.RichEditOle()); // objects not allowed
        QCOMPARE(editor.InnerWindow()->oleCallback(), nullptr);
        editor.Properties().setAllowObjects(true);
        QVERIFY(editor.RichEditOle());
        QCOMPARE(editor.InnerWindow()->oleCallback(), editor.Host());
        QCOMPARE(editor.RichEditOle()->GetObjectCount(), 0);
    }

    void refusedObjectMessagesRaise_data()
    {
        QTest::addColumn<bool>("interface");
        QTest::addColumn<QString>("message");
        QTest::newRow("no interface") << true << "RichEdit: failed to get IRichEditOle interface";
        QTest::newRow("callback refused") << false << "RichEdit: failed to set callback";
    }
    void refusedObjectMessagesRaise()
    {
        QFETCH(bool, interface);
        QFETCH(QString, message);
        TRichEditor editor;
        editor.Properties().setAllowObjects(true); // no window yet: nothing happens
        RefuseOleMessagesForTesting(interface, !interface);
        try {
            editor.InnerWindow();
            RefuseOleMessagesForTesting(false, false);
            QFAIL("no exception");
        } catch (const EOutOfResources &error) {
            RefuseOleMessagesForTesting(false, false);
            QCOMPARE(error.message(), message);
        }
        // The creation stopped there: the window has no host.
        QVERIFY(editor.HandleAllocated());
        QCOMPARE(editor.InnerWindow()->oleCallback(), nullptr);
    }

    void destroyingTheWindowClosesObjects()
    {
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        editor.setText(QStringLiteral("ab"));
        editor.setSelectionStart(1);
        insertFile(editor, WriteIn(m_dir, QStringLiteral("a.txt"), "alpha"));
        insertFile(editor, WriteIn(m_dir, QStringLiteral("b.txt"), "beta"));
        const Found first = objectAt(editor, 1);
        const Found second = objectAt(editor, 2);
        QVERIFY(first.object != nullptr && second.object != nullptr);
        const std::shared_ptr<IRichEditOle> before = editor.RichEditOle();

        editor.Properties().setAllowObjects(false);
        QVERIFY(first.object->closed());
        QVERIFY(second.object->closed());
        QVERIFY(!editor.RichEditOle());
        QCOMPARE(before->GetObjectCount(), 0); // the old interface has no window
        editor.Properties().setAllowObjects(true);
        QVERIFY(editor.RichEditOle() != before); // a new window, a new interface
    }

    void objectsSurviveRecreatingTheWindow()
    {
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        editor.setText(QStringLiteral("xy"));
        editor.setSelectionStart(1);
        insertFile(editor, WriteIn(m_dir, QStringLiteral("keep.bin"), QByteArray("\0\1\2", 3)));
        editor.Properties().setWordWrap(false); // re-creates the window through RTF
        QCOMPARE(objectCount(editor), 1);
        const Found kept = objectAt(editor, 1);
        QVERIFY(kept.object != nullptr);
        QCOMPARE(kept.object->contents(), QByteArray("\0\1\2", 3));
        QCOMPARE(editor.Text(), QString::fromUtf16(u"x\uFFFCy"));
    }

    // -----------------------------------------------------------------------
    // Insert object

    void insertObject_data()
    {
        QTest::addColumn<QString>("file"); // empty: a new picture
        QTest::addColumn<bool>("link");
        QTest::addColumn<bool>("asIcon");
        QTest::addColumn<bool>("picture");
        QTest::newRow("new picture") << QString() << false << false << true;
        QTest::newRow("new picture as icon") << QString() << false << true << true;
        QTest::newRow("picture file") << "photo.png" << false << false << true;
        QTest::newRow("other file") << "notes.txt" << false << false << false;
        QTest::newRow("other file as icon") << "notes.txt" << false << true << false;
        QTest::newRow("linked picture") << "photo.png" << true << false << true;
        QTest::newRow("linked file as icon") << "notes.txt" << true << true << false;
    }
    void insertObject()
    {
        QFETCH(QString, file);
        QFETCH(bool, link);
        QFETCH(bool, asIcon);
        QFETCH(bool, picture);
        QString path;
        if (file.endsWith(QStringLiteral(".png"))) {
            path = writePicture(m_dir, file, QSize(40, 30), Qt::red);
        } else if (!file.isEmpty()) {
            path = WriteIn(m_dir, file, "some notes");
        }
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        editor.setText(QStringLiteral("before after"));
        editor.setSelectionStart(7);
        editor.setSelectionLength(5); // "after" is replaced

        DialogAnswer answer([&](QDialog *dialog) {
            if (path.isEmpty()) {
                answerInsertNew(dialog, asIcon);
            } else {
                answerInsertFile(dialog, path, link, asIcon);
            }
        });
        QVERIFY(editor.InsertObject());
        QVERIFY(answer.answered());
        QCOMPARE(answer.geometry().topLeft(), expectedDialogPosition(answer.geometry()));

        QCOMPARE(editor.Text(), QString::fromUtf16(u"before \uFFFC"));
        QCOMPARE(editor.SelectionStart(), 7); // the object is the selection
        QCOMPARE(editor.SelectionLength(), 1);
        const Found found = objectAt(editor, 7);
        QVERIFY(found.object != nullptr);
        QCOMPARE(found.object->kind() == OleObject::Kind::Picture, picture);
        QCOMPARE(found.object->isLink(), link);
        QCOMPARE(found.record->aspect, asIcon ? DVASPECT_ICON : DVASPECT_CONTENT);
        QCOMPARE(found.object->viewAspect(), found.record->aspect);

        REOBJECT reobject{};
        reobject.cbStruct = sizeof(REOBJECT);
        QCOMPARE(
            editor.RichEditOle()->GetObject(REO_IOB_SELECTION, reobject, REO_GETOBJ_ALL_INTERFACES),
            S_OK);
        QVERIFY((reobject.dwFlags & REO_RESIZABLE) != 0);
        QCOMPARE((reobject.dwFlags & REO_BLANK) != 0, path.isEmpty());
        QCOMPARE((reobject.dwFlags & REO_LINK) != 0, link);
        QVERIFY(reobject.pstg && reobject.polesite);
        // Only a new object is opened for editing.
        QCOMPARE(found.object->running(), path.isEmpty());
        if (asIcon) {
            QCOMPARE(found.object->iconLabel(), path.isEmpty() ? QStringLiteral("Picture") : file);
        } else if (picture && !path.isEmpty()) {
            QCOMPARE(found.object->picture().pixelColor(5, 5), QColor(Qt::red));
        }
        if (!link && !path.isEmpty()) {
            QFile source(path);
            QVERIFY(source.open(QIODevice::ReadOnly));
            QCOMPARE(found.object->contents(), source.readAll());
        }
    }

    void cancellingInsertObjectChangesNothing()
    {
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        editor.setText(QStringLiteral("keep me"));
        editor.setSelectionStart(2);
        editor.setSelectionLength(3);
        const bool couldUndo = editor.InnerWindow()->canUndo() != FALSE;
        DialogAnswer answer([](QDialog *dialog) { press(dialog, "cancelButton"); });
        QVERIFY(!editor.InsertObject());
        QVERIFY(answer.answered());
        QCOMPARE(editor.Text(), QStringLiteral("keep me"));
        QCOMPARE(editor.SelectionStart(), 2);
        QCOMPARE(editor.SelectionLength(), 3);
        QCOMPARE(editor.InnerWindow()->canUndo() != FALSE, couldUndo);
    }

    void insertObjectNeedsObjectsAllowed()
    {
        TRichEditor editor;
        prepare(editor);
        DialogAnswer answer([](QDialog *dialog) { dialog->reject(); });
        QVERIFY(!editor.InsertObject());
        QCoreApplication::processEvents();
        QVERIFY(!answer.answered());        // no dialog at all
        QCOMPARE(editor.Text(), QString()); // and nothing inserted
    }

    void insertObjectFailureRaisesAndCleansUp()
    {
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        FailStorageCreationForTesting(STG_E_MEDIUMFULL, 1);
        try {
            editor.InsertObject();
            QFAIL("no exception");
        } catch (const EOleSysError &error) {
            QCOMPARE(error.message(),
                     QStringLiteral("There is insufficient disk space to complete operation"));
        }
        QCOMPARE(objectCount(editor), 0);
    }

    // -----------------------------------------------------------------------
    // Paste special

    void unformattedTextPastesPlainText()
    {
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        editor.setText(QStringLiteral("[]"));
        editor.setSelectionStart(1);
        auto *data = new QMimeData;
        data->setText(QStringLiteral("plain words"));
        const QByteArray rtf("{\\rtf1\\ansi {\\b bold words}}");
        data->setData(kMimeRtf, rtf);
        QGuiApplication::clipboard()->setMimeData(data);

        DialogAnswer answer([](QDialog *dialog) {
            answerPasteSpecial(dialog, QStringLiteral("Unformatted text"));
        });
        QVERIFY(editor.PasteSpecial());
        QVERIFY(answer.answered());
        QCOMPARE(answer.geometry().topLeft(), expectedDialogPosition(answer.geometry()));
        editor.InnerWindow()->flush();
        QCOMPARE(editor.Text(), QStringLiteral("[plain words]"));
        QTextCursor cursor(win::TextViewOf(editor.InnerWindow())->document());
        cursor.setPosition(3);
        QVERIFY(cursor.charFormat().fontWeight() != QFont::Bold);
    }

    void richTextEntryPastesFormatting()
    {
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        auto *data = new QMimeData;
        data->setText(QStringLiteral("plain words"));
        data->setData(kMimeRtf, "{\\rtf1\\ansi {\\b bold words}}");
        QGuiApplication::clipboard()->setMimeData(data);
        DialogAnswer answer([](QDialog *dialog) {
            answerPasteSpecial(dialog, QStringLiteral("Rich Text Format"));
        });
        QVERIFY(editor.PasteSpecial());
        editor.InnerWindow()->flush();
        QCOMPARE(editor.Text(), QStringLiteral("bold words"));
        QTextCursor cursor(win::TextViewOf(editor.InnerWindow())->document());
        cursor.setPosition(2);
        QCOMPARE(cursor.charFormat().fontWeight(), int(QFont::Bold));
    }

    void embeddedObjectEntryEmbedsTheClipboardPicture_data()
    {
        QTest::addColumn<bool>("asIcon");
        QTest::newRow("as content") << false;
        QTest::newRow("as icon") << true;
    }
    void embeddedObjectEntryEmbedsTheClipboardPicture()
    {
        QFETCH(bool, asIcon);
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        editor.setText(QStringLiteral("ab"));
        editor.setSelectionStart(1);
        QImage image(12, 8, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QGuiApplication::clipboard()->setImage(image);

        QString firstEntry;
        DialogAnswer answer([&](QDialog *dialog) {
            // The embedded-object entry is listed first.
            firstEntry = child<QListWidget>(dialog, "formatList")->item(0)->text();
            child<QListWidget>(dialog, "formatList")->setCurrentRow(0);
            child<QCheckBox>(dialog, "displayAsIcon")->setChecked(asIcon);
            press(dialog, "okButton");
        });
        QVERIFY(editor.PasteSpecial());
        QVERIFY(!firstEntry.contains(QStringLiteral("%s")));
        QCOMPARE(editor.Text(), QString::fromUtf16(u"a\uFFFCb"));
        QCOMPARE(editor.SelectionStart(), 1);
        QCOMPARE(editor.SelectionLength(), 1);
        const Found found = objectAt(editor, 1);
        QVERIFY(found.object != nullptr);
        QCOMPARE(found.object->kind(), OleObject::Kind::Picture);
        QCOMPARE(found.object->picture().pixelColor(3, 3), QColor(Qt::blue));
        QCOMPARE(found.record->aspect, asIcon ? DVASPECT_ICON : DVASPECT_CONTENT);
    }

    void bitmapEntryPastesAPicture()
    {
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        QImage image(5, 5, QImage::Format_RGB32);
        image.fill(Qt::green);
        QGuiApplication::clipboard()->setImage(image);
        DialogAnswer answer(
            [](QDialog *dialog) { answerPasteSpecial(dialog, QStringLiteral("Windows bitmap")); });
        QVERIFY(editor.PasteSpecial());
        editor.InnerWindow()->flush();
        QCOMPARE(objectCount(editor), 0); // a picture, not an object
        QCOMPARE(editor.Text(), QString(QChar::ObjectReplacementCharacter));
        QTextCursor cursor(win::TextViewOf(editor.InnerWindow())->document());
        cursor.setPosition(1);
        QVERIFY(cursor.charFormat().isImageFormat());
    }

    void pasteLinkLinksTheFile()
    {
        const QString path = WriteIn(m_dir, QStringLiteral("linked.txt"), "linked text");
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        auto *data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(path)});
        QGuiApplication::clipboard()->setMimeData(data);
        DialogAnswer answer([](QDialog *dialog) {
            child<QRadioButton>(dialog, "pasteLinkRadio")->click();
            child<QListWidget>(dialog, "formatList")->setCurrentRow(0);
            press(dialog, "okButton");
        });
        QVERIFY(editor.PasteSpecial());
        const Found found = objectAt(editor, 0);
        QVERIFY(found.object != nullptr);
        QVERIFY(found.object->isLink());
        QCOMPARE(found.object->linkPath(), QFileInfo(path).absoluteFilePath());
        QCOMPARE(editor.SelectionLength(), 1);
    }

    void cancellingPasteSpecialChangesNothing()
    {
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        editor.setText(QStringLiteral("unchanged"));
        QGuiApplication::clipboard()->setText(QStringLiteral("never pasted"));
        DialogAnswer answer([](QDialog *dialog) { press(dialog, "cancelButton"); });
        QVERIFY(!editor.PasteSpecial());
        QVERIFY(answer.answered());
        QCOMPARE(editor.Text(), QStringLiteral("unchanged"));
    }

    void pasteSpecialWithNothingToPaste()
    {
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        QGuiApplication::clipboard()->clear();
        DialogAnswer answer([](QDialog *dialog) { dialog->reject(); });
        QVERIFY(!editor.PasteSpecial());
        QCoreApplication::processEvents();
        QVERIFY(!answer.answered());        // no dialog at all
        QCOMPARE(editor.Text(), QString()); // and nothing pasted
    }

    // Data the clipboard names but no longer gives.
    void vanishedClipboardData()
    {
        class Vanished : public QMimeData
        {
        public:
            QStringList formats() const override
            {
                return {kMimeEmbeddedObject, QStringLiteral("text/plain")};
            }
            bool hasFormat(const QString &type) const override { return formats().contains(type); }

        protected:
            QVariant retrieveData(const QString &, QMetaType) const override { return {}; }
        };
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        editor.setText(QStringLiteral("same"));
        QGuiApplication::clipboard()->setMimeData(new Vanished);
        DialogAnswer answer([](QDialog *dialog) {
            child<QListWidget>(dialog, "formatList")->setCurrentRow(0);
            press(dialog, "okButton");
        });
        try {
            editor.PasteSpecial();
            QFAIL("no error for an object that is not there");
        } catch (const EOleSysError &error) {
            QVERIFY(!error.message().isEmpty());
        }
        QCOMPARE(editor.Text(), QStringLiteral("same"));
        QCOMPARE(objectCount(editor), 0);
    }

    // -----------------------------------------------------------------------
    // Objects in editing

    void clearLeavesNothing()
    {
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        editor.setText(QStringLiteral("text"));
        insertFile(editor, WriteIn(m_dir, QStringLiteral("c.txt"), "gone"));
        const Found found = objectAt(editor, 0);
        QVERIFY(found.object != nullptr);
        editor.Clear();
        editor.InnerWindow()->flush();
        QCOMPARE(editor.Text(), QString());
        QCOMPARE(objectCount(editor), 0);
        QVERIFY(found.object->closed()); // the host closed it on its way out
    }

    void objectSurvivesUndoRedoAndCutPaste()
    {
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        editor.setText(QStringLiteral("ab"));
        editor.setSelectionStart(1);
        insertFile(editor, WriteIn(m_dir, QStringLiteral("u.txt"), "undo me"));
        QCOMPARE(editor.Text(), QString::fromUtf16(u"a\uFFFCb"));
        const Found inserted = objectAt(editor, 1);

        editor.Undo();
        editor.InnerWindow()->flush();
        QCOMPARE(editor.Text(), QStringLiteral("ab"));
        QCOMPARE(objectCount(editor), 0);
        editor.Redo();
        editor.InnerWindow()->flush();
        QCOMPARE(editor.Text(), QString::fromUtf16(u"a\uFFFCb"));
        QCOMPARE(objectAt(editor, 1).record, inserted.record); // the same object again

        editor.setSelectionStart(1);
        editor.setSelectionLength(1);
        editor.Cut();
        editor.InnerWindow()->flush();
        QCOMPARE(editor.Text(), QStringLiteral("ab"));
        const QMimeData *clip = QGuiApplication::clipboard()->mimeData();
        QVERIFY(clip->hasFormat(kMimeEmbeddedObject));
        QVERIFY(clip->hasFormat(kMimeRichTextAndObjects));
        QVERIFY(clip->hasFormat(kMimeObjectDescriptor));
        QVERIFY(clip->hasImage());         // its picture, for other programs
        QCOMPARE(clip->text(), QString()); // an object has no text

        editor.setSelectionStart(2);
        editor.Paste();
        editor.InnerWindow()->flush();
        QCOMPARE(editor.Text(), QString::fromUtf16(u"ab\uFFFC"));
        const Found pasted = objectAt(editor, 2);
        QVERIFY(pasted.object != nullptr);
        QCOMPARE(pasted.object->contents(), QByteArray("undo me"));
        QCOMPARE(pasted.object->displayName(), QStringLiteral("u.txt"));
    }

    void copyWithTextAroundKeepsBoth()
    {
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        editor.setText(QStringLiteral("xy"));
        editor.setSelectionStart(1);
        insertFile(editor, WriteIn(m_dir, QStringLiteral("mid.txt"), "middle"));
        win::TextViewOf(editor.InnerWindow())->selectAll();
        editor.Copy();
        editor.setSelectionStart(-1);
        editor.Paste();
        editor.InnerWindow()->flush();
        QCOMPARE(editor.Text(), QString::fromUtf16(u"x\uFFFCyx\uFFFCy"));
        QCOMPARE(objectCount(editor), 2);
        QVERIFY(objectAt(editor, 1).record != objectAt(editor, 4).record);
    }

    void refusedObjectsAreNotPasted()
    {
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        editor.setText(QStringLiteral("xy"));
        editor.setSelectionStart(1);
        insertFile(editor, WriteIn(m_dir, QStringLiteral("r.txt"), "refused"));
        win::TextViewOf(editor.InnerWindow())->selectAll();
        editor.Copy();
        int asked = 0;
        editor.OnQueryInsertObject = [&](TRichEditor *, bool &allow, const CLSID &) {
            ++asked;
            allow = false;
        };
        editor.setSelectionStart(-1);
        editor.Paste();
        editor.InnerWindow()->flush();
        QCOMPARE(asked, 1);
        QCOMPARE(editor.Text(), QString::fromUtf16(u"x\uFFFCyxy"));
    }

    // -----------------------------------------------------------------------
    // Drag and drop

    void dragEffectsByModifiers_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("possible");
        QTest::addColumn<int>("action");
        const int all = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        // Only a drag that began in the editing area may move: a source
        // told "moved" would delete its original.
        QTest::newRow("from elsewhere, none copies")
            << int(Qt::NoModifier) << all << int(Qt::CopyAction);
        QTest::newRow("ctrl copies") << int(Qt::ControlModifier) << all << int(Qt::CopyAction);
        QTest::newRow("ctrl+shift links")
            << int(Qt::ControlModifier | Qt::ShiftModifier) << all << int(Qt::LinkAction);
        QTest::newRow("only copy offered")
            << int(Qt::NoModifier) << int(Qt::CopyAction) << int(Qt::CopyAction);
    }
    void dragEffectsByModifiers()
    {
        QFETCH(int, modifiers);
        QFETCH(int, possible);
        QFETCH(int, action);
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        editor.setText(QStringLiteral("drop here"));
        QMimeData data;
        data.setText(QStringLiteral("dragged"));
        QWidget *viewport = win::TextViewOf(editor.InnerWindow())->viewport();
        const QPoint at = pointOf(editor.InnerWindow(), 2);
        QDragEnterEvent enter(at, Qt::DropActions(possible), &data, Qt::LeftButton,
                              Qt::KeyboardModifiers(modifiers));
        QApplication::sendEvent(viewport, &enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(int(enter.dropAction()), action);
        QDragMoveEvent move(at, Qt::DropActions(possible), &data, Qt::LeftButton,
                            Qt::KeyboardModifiers(modifiers));
        QApplication::sendEvent(viewport, &move);
        QVERIFY(move.isAccepted());
        QCOMPARE(int(move.dropAction()), action);
        QDragLeaveEvent leave;
        QApplication::sendEvent(viewport, &leave);
    }

    void droppedFilesBecomeObjects_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("link");
        QTest::newRow("embedded") << int(Qt::NoModifier) << false;
        QTest::newRow("linked") << int(Qt::ControlModifier | Qt::ShiftModifier) << true;
    }
    void droppedFilesBecomeObjects()
    {
        QFETCH(int, modifiers);
        QFETCH(bool, link);
        const QString path = WriteIn(m_dir, QStringLiteral("dropped.txt"), "dropped bytes");
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        data.setText(path);
        const Qt::DropActions all = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        dragOver(editor, data, all, Qt::KeyboardModifiers(modifiers));
        QDropEvent drop(QPointF(5, 5), all, &data, Qt::LeftButton,
                        Qt::KeyboardModifiers(modifiers));
        QApplication::sendEvent(win::TextViewOf(editor.InnerWindow())->viewport(), &drop);
        QVERIFY(drop.isAccepted());
        // A move would let the source delete the file: the file was copied in.
        QCOMPARE(drop.dropAction(), link ? Qt::LinkAction : Qt::CopyAction);
        QCOMPARE(editor.Text(), QString(QChar::ObjectReplacementCharacter));
        const Found found = objectAt(editor, 0);
        QVERIFY(found.object != nullptr);
        QCOMPARE(found.object->isLink(), link);
        QCOMPARE(found.object->contents(), link ? QByteArray() : QByteArray("dropped bytes"));
        QVERIFY(QFile::exists(path));
    }

    void droppedBadFileInsertsNothing()
    {
        TRichEditor editor;
        editor.Properties().setAllowObjects(true);
        prepare(editor);
        editor.setText(QStringLiteral("same"));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("missing.txt")))});
        dragOver(editor, data, Qt::CopyAction, Qt::NoModifier);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(win::TextViewOf(editor.InnerWindow())->viewport(), &drop);
        QVERIFY(!drop.isAccepted());
        QCOMPARE(editor.Text(), QStringLiteral("same"));
    }
};

QTEST_MAIN(TestRichEditorObjects)
#include "tst_richeditor_objects.moc"
