// Opening what is no document in the real window: the window reports it at
// once and keeps the text it showed.
#include "editor/richeditstrings.h"
#include "windowharness.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace veskel;
using test::Window;

class TestHostileFiles : public QObject
{
    Q_OBJECT

private slots:
    void openIsRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("named pipe") << "fifo"
                                    << "It is not a regular file (a named pipe).";
        QTest::newRow("over the limit")
            << "large.vsk"
            << QString("The file is larger than %1 MB, the most the editor opens.")
                   .arg(TRichEditStrings::MaxFileBytes / (1024 * 1024));
    }
    void openIsRefused()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600), 0);
        QFile large(dir.filePath("large.vsk"));
        // Sparse: no disk is used.
        QVERIFY(large.open(QIODevice::WriteOnly) &&
                large.resize(TRichEditStrings::MaxFileBytes + 1));
        large.close();

        Window w;
        w.show();
        w.form1.memo1->setText("before");
        const QString path = dir.filePath(name);
        w.saveAsPath = path;
        w.choose("Discard"); // the untitled text, which the failed Open keeps
        w.message();
        w.form1.Open1->trigger();
        QCOMPARE(w.messages.value(1), QString("Cannot open file \"%1\". %2").arg(path, reason));
        QCOMPARE(w.passwordPrompts, 0);
        QCOMPARE(w.form1.memo1->Text(), "before");
        w.form1.FileName.clear();
    }
};

QTEST_MAIN(TestHostileFiles)
#include "tst_hostilefiles.moc"
