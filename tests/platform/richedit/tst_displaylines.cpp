// The display-line index over a laid-out document: numbering across
// paragraphs, the paragraph and line of a position, and each line's span.
#include "platform/richedit/displaylines.h"

#include <QAbstractTextDocumentLayout>
#include <QTest>
#include <QTextDocument>

using win::DisplayLineIndex;

class TestDisplayLines : public QObject
{
    Q_OBJECT

private slots:
    void numbering_data()
    {
        QTest::addColumn<int>("block");
        QTest::addColumn<int>("offset");      // in the paragraph
        QTest::addColumn<int>("lineInBlock"); // -1: a later line of a wrapped one
        // "one" | a paragraph wrapped on several lines | "" | "end"
        QTest::newRow("first paragraph") << 0 << 1 << 0;
        QTest::newRow("wrapped paragraph, first line") << 1 << 0 << 0;
        QTest::newRow("wrapped paragraph, a later line") << 1 << 100 << -1;
        QTest::newRow("empty paragraph") << 2 << 0 << 0;
        QTest::newRow("last paragraph") << 3 << 3 << 0;
    }
    void numbering()
    {
        QFETCH(int, block);
        QFETCH(int, offset);
        QFETCH(int, lineInBlock);
        QTextDocument document;
        const QString words = QString(20, u'w').append(u' ').repeated(8);
        document.setPlainText(QStringLiteral("one\n%1\n\nend").arg(words));
        document.setTextWidth(120);
        document.documentLayout()->documentSize();
        DisplayLineIndex index(document);
        QVERIFY(!index.isValidFor(120));
        index.rebuild(120);
        QVERIFY(index.isValidFor(120) && !index.isValidFor(121));
        const int wrapped = document.findBlockByNumber(1).layout()->lineCount();
        QVERIFY(wrapped > 2);
        QCOMPARE(index.lineCount(), wrapped + 3);

        const QTextBlock paragraph = document.findBlockByNumber(block);
        const int firstLine = block == 0 ? 0 : block == 1 ? 1 : block + wrapped - 1;
        QCOMPARE(index.firstLineOf(paragraph), firstLine);
        const int line = index.lineOf(paragraph.position() + offset);
        int inBlock = -9;
        QCOMPARE(index.blockOfLine(line, &inBlock), paragraph);
        QCOMPARE(line, firstLine + inBlock);
        if (lineInBlock >= 0) {
            QCOMPARE(inBlock, lineInBlock);
        } else {
            QVERIFY(inBlock > 0 && inBlock < wrapped);
        }
        const auto [start, length] = DisplayLineIndex::lineSpan(paragraph, inBlock);
        QVERIFY(start <= offset && offset <= start + length);
        QCOMPARE(index.blockText(paragraph), paragraph.text());
    }

    // A paragraph never laid out is one line; the text read last follows edits.
    void unlaidParagraphAndEdits()
    {
        QTextDocument document(QStringLiteral("alpha\nbeta"));
        DisplayLineIndex index(document);
        index.rebuild(0);
        QCOMPARE(index.lineCount(), 2);
        const QTextBlock beta = document.findBlockByNumber(1);
        QCOMPARE(DisplayLineIndex::lineSpan(beta, 0), std::make_pair(0, 4));
        QCOMPARE(index.blockText(beta), QStringLiteral("beta"));
        QTextCursor(beta).insertText(QStringLiteral("the "));
        index.contentChanged();
        QVERIFY(!index.isValidFor(0));
        QCOMPARE(index.blockText(document.findBlockByNumber(1)), QStringLiteral("the beta"));
    }
};

QTEST_MAIN(TestDisplayLines)
#include "tst_displaylines.moc"
