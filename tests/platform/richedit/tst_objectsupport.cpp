// The objects a text holds: the host hears once of each object that leaves
// the text, an undo brings the same object back, and without a host nothing
// is asked.
#include "platform/ole/oleobject.h"
#include "platform/richedit/objectsupport.h"
#include "platform/richedit/richedit.h"
#include "support/olestandins.h"

#include <QAbstractTextDocumentLayout>
#include <QTest>
#include <QTextDocument>

using namespace win;

namespace {

// Records what it is told of; answers nothing else.
class Listener final : public IRichEditOleCallback
{
public:
    std::vector<std::shared_ptr<IOleObject>> deleted;

    HRESULT GetNewStorage(std::shared_ptr<IStorage> &) override { return E_NOTIMPL; }
    HRESULT GetInPlaceContext(HWND *, HWND *, OLEINPLACEFRAMEINFO *) override { return E_NOTIMPL; }
    HRESULT ShowContainerUI(BOOL) override { return E_NOTIMPL; }
    HRESULT QueryInsertObject(const CLSID &, const std::shared_ptr<IStorage> &, LONG) override
    {
        return E_NOTIMPL;
    }
    HRESULT DeleteObject(const std::shared_ptr<IOleObject> &object) override
    {
        deleted.push_back(object);
        return S_OK;
    }
    HRESULT QueryAcceptData(const std::shared_ptr<IDataObject> &, CLIPFORMAT *, DWORD, BOOL,
                            HGLOBAL) override
    {
        return E_NOTIMPL;
    }
    HRESULT ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT GetClipboardData(const CHARRANGE &, DWORD, std::shared_ptr<IDataObject> &) override
    {
        return E_NOTIMPL;
    }
    HRESULT GetDragDropEffect(BOOL, DWORD, DWORD *) override { return E_NOTIMPL; }
    HRESULT GetContextMenu(WORD, const std::shared_ptr<IOleObject> &, const CHARRANGE &,
                           void **) override
    {
        return E_NOTIMPL;
    }
};

} // namespace

class TestObjectSupport : public QObject
{
    Q_OBJECT

private slots:
    void hostHearsOfObjectsLeavingTheText_data()
    {
        QTest::addColumn<bool>("hosted");
        QTest::newRow("with a host") << true;
        QTest::newRow("without one") << false;
    }
    void hostHearsOfObjectsLeavingTheText()
    {
        QFETCH(bool, hosted);
        RichEditWindow window(ES_MULTILINE);
        QTextDocument document;
        document.documentLayout(); // a document reports changes once it has a layout
        ObjectSupport objects(window, document);
        Listener host;
        objects.setHost(hosted ? &host : nullptr);
        connect(&document, &QTextDocument::contentsChange, this,
                [&objects](int position, int removed, int added) {
                    objects.contentChanged(position, removed, added);
                });
        const auto object = std::make_shared<veskel::test::InertObject>();
        QTextCursor cursor(&document);
        cursor.insertText(QStringLiteral("a"));
        InsertObjectCharacter(cursor, MakeObjectRecord(object, nullptr, DVASPECT_CONTENT, 0));
        cursor.insertText(QStringLiteral("b"));

        cursor.setPosition(0);
        cursor.deleteChar(); // text beside the object: nothing to tell
        QVERIFY(host.deleted.empty());
        cursor.deleteChar(); // the object itself
        document.undo();     // back again
        cursor.setPosition(0);
        cursor.setPosition(document.characterCount() - 1, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        const std::vector<std::shared_ptr<IOleObject>> expected =
            hosted ? std::vector<std::shared_ptr<IOleObject>>{object, object}
                   : std::vector<std::shared_ptr<IOleObject>>{};
        QVERIFY(host.deleted == expected);
    }
};

QTEST_MAIN(TestObjectSupport)
#include "tst_objectsupport.moc"
