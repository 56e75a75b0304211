// Link tracking over a text view: positions and points map to whole links,
// a point beside a line's end is over nothing, and nothing is a link while
// detection is off.
#include "platform/richedit/linktracker.h"

#include <QTest>
#include <QTextEdit>

using win::CHARRANGE;
using win::LinkTracker;

class TestLinkTracker : public QObject
{
    Q_OBJECT

private slots:
    void linkAt_data()
    {
        QTest::addColumn<bool>("detecting");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::newRow("first character") << true << 3 << 3 << 22;
        QTest::newRow("last character") << true << 21 << 3 << 22;
        QTest::newRow("just after") << true << 22 << -1 << -1;
        QTest::newRow("second paragraph") << true << 32 << 30 << 41;
        QTest::newRow("past the end") << true << 41 << -1 << -1;
        QTest::newRow("negative") << true << -1 << -1 << -1;
        QTest::newRow("detection off") << false << 10 << -1 << -1;
    }
    void linkAt()
    {
        QFETCH(bool, detecting);
        QFETCH(int, position);
        QFETCH(int, start);
        QTextEdit view;
        view.setPlainText(QStringLiteral("go https://example.org now\nor www.site.io"));
        LinkTracker links(view);
        links.setDetecting(detecting);
        const CHARRANGE found = links.linkAt(position);
        QCOMPARE(found.cpMin, start);
        QTEST(found.cpMax, "end");
    }

    void linkUnderAPoint()
    {
        QTextEdit view;
        view.setPlainText(QStringLiteral("https://example.org"));
        view.resize(400, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        LinkTracker links(view);
        links.setDetecting(true);
        QTextCursor cursor(view.document());
        cursor.setPosition(4);
        const QRect onLink = view.cursorRect(cursor);
        QCOMPARE(links.linkUnder(onLink.center() + QPoint(2, 0)).cpMax, 19);
        // Beside the line's end: no character there, so no link.
        QCOMPARE(links.linkUnder(QPoint(390, onLink.center().y())).cpMin, -1);
        links.setDetecting(false);
        QCOMPARE(links.linkUnder(onLink.center() + QPoint(2, 0)).cpMin, -1);
    }
};

QTEST_MAIN(TestLinkTracker)
#include "tst_linktracker.moc"
