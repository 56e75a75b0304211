// Strong documents in the real window: written through Save As's third file
// type, opened with their rich text, refused when mistyped or changed.
#include "cipher/strongformat.h"
#include "platform/testing/textview.h"
#include "support/dialogtitles.h"
#include "support/files.h"
#include "windowharness.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>

using namespace veskel;
using test::Window;

namespace {

const QString kStrongType = QStringLiteral("Veskel document, strong encryption (*.vsk)");
const QString kOldType = QStringLiteral("*.vsk (*.vsk)");
const QString kRefused =
    QStringLiteral("The password is wrong, or the file has been changed since it was saved.");

QTextDocument *documentOf(Window &w)
{
    return win::TextViewOf(w.form1.memo1->InnerWindow())->document();
}

} // namespace

class TestStrongDocuments : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_saved; // a strong document holding "120 € and bold", bold bold, password "pw"

    static void open(Window &w, const QString &path, const QString &password)
    {
        w.saveAsPath = path;
        w.password(password);
        w.form1.Open1->trigger();
    }

private slots:
    // Written once: Save As, strong type, of a text with formatting and a
    // character the old format cannot hold.
    void initTestCase()
    {
        m_saved = m_dir.filePath("strong.vsk");
        Window w;
        w.show();
        QCOMPARE(w.form1.StatusPanel1->text(), "");
        w.form1.memo1->setText(QString::fromUtf16(u"120 \u20AC and bold"));
        QTextCursor cursor(documentOf(w));
        cursor.setPosition(10);
        cursor.setPosition(14, QTextCursor::KeepAnchor);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        cursor.mergeCharFormat(bold);
        w.saveAsPath = m_saved;
        w.saveAsFilter = kStrongType;
        w.newPassword("pw");
        w.form1.SaveAs1->trigger();
        QVERIFY(w.scriptDone());
        QCOMPARE(w.shownFilters, QStringList{kOldType}); // the default stays the old format
        QVERIFY(w.messages.isEmpty());                   // nothing is lost: nothing asked
        QVERIFY(veskel::test::ReadAll(m_saved).startsWith("VESKEL-STRONG-DOCUMENT 1\n"));
        QCOMPARE(w.form1.StatusPanel1->text(), "Strong encryption");
        QCOMPARE(w.form1.StatusPanel1->accessibleName(), "Status: Strong encryption");
        QVERIFY(!w.form1.Workflow().IsModified());
    }

    // Opened: the text, its formatting and the format; Save keeps the
    // format, Save As offers it first.
    void opensWithFormattingAndKeepsFormat()
    {
        Window w;
        w.show();
        open(w, m_saved, "pw");
        QCOMPARE(w.form1.memo1->Text(), QString::fromUtf16(u"120 \u20AC and bold"));
        QTextCursor cursor(documentOf(w));
        cursor.setPosition(12);
        QCOMPARE(cursor.charFormat().fontWeight(), int(QFont::Bold));
        cursor.setPosition(3);
        QVERIFY(cursor.charFormat().fontWeight() < QFont::DemiBold);
        QCOMPARE(w.form1.StatusPanel1->text(), "Strong encryption");
        QCOMPARE(w.form1.windowTitle(), test::title::Main(m_saved));

        // Formatting alone is a change.
        cursor.setPosition(0);
        cursor.setPosition(3, QTextCursor::KeepAnchor);
        QTextCharFormat italic;
        italic.setFontItalic(true);
        cursor.mergeCharFormat(italic);
        QVERIFY(w.form1.Workflow().IsModified());

        const QString copy = m_dir.filePath("copy.vsk");
        const QByteArray before = veskel::test::ReadAll(m_saved);
        w.saveAsPath = copy;
        w.password("pw"); // the document's own password: asked once
        w.form1.SaveAs1->trigger();
        QVERIFY(w.scriptDone());
        QCOMPARE(w.shownFilters.constLast(), kStrongType);
        const QByteArray after = veskel::test::ReadAll(copy);
        QVERIFY(after.startsWith("VESKEL-STRONG-DOCUMENT 1\n"));
        QVERIFY(after != before); // a fresh salt and nonce
        QVERIFY(!w.form1.Workflow().IsModified());

        Window again;
        again.show();
        open(again, copy, "pw");
        QTextCursor reopened(documentOf(again));
        reopened.setPosition(1);
        QVERIFY(reopened.charFormat().fontItalic());
    }

    // A mistyped password or a changed byte: the same refusal, the
    // password box again, and Cancel leaves the window as it was.
    void refusedWithoutShowingAnything_data()
    {
        QTest::addColumn<int>("flipAt"); // -1: none
        QTest::addColumn<QString>("firstPassword");
        QTest::addColumn<bool>("thenRight");
        QTest::newRow("wrong, then right") << -1 << "Pw" << true;
        QTest::newRow("wrong, then cancel") << -1 << "pw " << false;
        QTest::newRow("nonce changed") << 120 << "pw" << false;
        QTest::newRow("body changed") << 400 << "pw" << false;
    }
    void refusedWithoutShowingAnything()
    {
        QFETCH(int, flipAt);
        QFETCH(QString, firstPassword);
        QFETCH(bool, thenRight);
        QString path = m_saved;
        if (flipAt >= 0) {
            path = m_dir.filePath("changed.vsk");
            QByteArray bytes = veskel::test::ReadAll(m_saved);
            // Another digit or base64 symbol keeps the form canonical.
            bytes[flipAt] = bytes[flipAt] == 'a' ? 'b' : 'a';
            QVERIFY(veskel::test::WriteAll(path, bytes));
        }
        Window w;
        w.show();
        w.form1.memo1->setText("kept");
        w.saveAsPath = path;
        w.choose("Discard");
        w.password(firstPassword);
        w.message(true);
        if (thenRight) {
            w.password("pw");
        } else {
            w.password("", false);
        }
        w.form1.Open1->trigger();
        QVERIFY(w.scriptDone());
        QCOMPARE(w.messages.mid(1), QStringList{kRefused});
        if (thenRight) {
            QCOMPARE(w.form1.memo1->Text(), QString::fromUtf16(u"120 \u20AC and bold"));
        } else {
            QCOMPARE(w.form1.memo1->Text(), "kept");
            QCOMPARE(w.form1.FileName, "");
            QCOMPARE(w.form1.StatusPanel1->text(), "");
        }
    }

    // A file that names the format but breaks it is refused before any
    // password, with what is wrong.
    void malformedRefusedBeforePassword_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QString>("message");
        QTest::newRow("4 GiB of memory")
            << QByteArray("memory-kib=131072") << QByteArray("memory-kib=4194304")
            << "The file asks for 4096 MiB of memory to open; at most 1024 MiB are allowed.";
        QTest::newRow("end line cut")
            << QByteArray("END VESKEL-STRONG-DOCUMENT\n") << QByteArray()
            << "The file is not a well-formed strong document: its last line is not \"END "
               "VESKEL-STRONG-DOCUMENT\".";
    }
    void malformedRefusedBeforePassword()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QString, message);
        const QString path = m_dir.filePath("malformed.vsk");
        QVERIFY(veskel::test::WriteAll(path, veskel::test::ReadAll(m_saved).replace(from, to)));
        Window w;
        w.show();
        w.saveAsPath = path;
        w.message(true);
        w.form1.Open1->trigger();
        QVERIFY(w.scriptDone());
        QCOMPARE(w.passwordPrompts, 0);
        QCOMPARE(w.messages, QStringList{message});
        QCOMPARE(w.form1.FileName, "");
    }
};

QTEST_MAIN(TestStrongDocuments)
#include "tst_strongdocuments.moc"
