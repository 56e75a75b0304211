// Gathered edits: one undo step, the widget's cursor taken over when the
// block closes (by itself on the next turn of the event loop), and no scroll
// unless asked for.
#include "platform/richedit/editbatch.h"

#include <QScrollBar>
#include <QTest>
#include <QTextEdit>

using win::EditBatch;

class TestEditBatch : public QObject
{
    Q_OBJECT

private slots:
    void gathersEditsUntilTheEventLoopTurns()
    {
        QTextEdit edit;
        EditBatch batch(edit);
        batch.cursor().insertText(QStringLiteral("one "));
        batch.cursor().insertText(QStringLiteral("two"));
        QVERIFY(batch.isOpen());
        QCOMPARE(batch.current().position(), 7);
        QTRY_VERIFY(!batch.isOpen());
        QCOMPARE(edit.textCursor().position(), 7);
        edit.undo();
        QCOMPARE(edit.toPlainText(), QString());
    }

    void scrollsOnlyWhenAsked_data()
    {
        QTest::addColumn<bool>("scroll");
        QTest::newRow("selecting keeps the view") << false;
        QTest::newRow("scrollToCaret follows the caret") << true;
    }
    void scrollsOnlyWhenAsked()
    {
        QFETCH(bool, scroll);
        QTextEdit edit;
        edit.resize(200, 100);
        edit.setPlainText(QStringLiteral("line\n").repeated(200));
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        EditBatch batch(edit);
        batch.cursor().movePosition(QTextCursor::End);
        if (scroll) {
            batch.scrollToCaret();
        }
        batch.close();
        QVERIFY(!batch.isOpen());
        QCOMPARE(edit.textCursor().atEnd(), true);
        QCOMPARE(edit.verticalScrollBar()->value() > 0, scroll);
    }
};

QTEST_MAIN(TestEditBatch)
#include "tst_editbatch.moc"
