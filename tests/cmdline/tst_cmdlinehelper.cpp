#include "cmdline/cmdlinehelper.h"
#include "platform/win/process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <string_view>
#include <vector>

using namespace cmdline;

namespace {

// Copies UTF-16 units as they are (u"" literals may hold lone surrogates).
QString S(std::u16string_view units)
{
    return QString(reinterpret_cast<const QChar *>(units.data()), qsizetype(units.size()));
}

// The first token of the current command line, i.e. what the tokenizer sees as
// the program path.
QString firstToken()
{
    win::LPCWSTR p = win::GetCommandLineW();
    win::LPCWSTR probe = p;
    int length = -1;
    if (!ScanToken(probe, nullptr, &length))
        return {};
    std::vector<win::WCHAR> buffer(std::size_t(length) + 1);
    ScanToken(p, buffer.data(), &length);
    return S(std::u16string_view(buffer.data(), std::size_t(length)));
}

void compareArguments(const QStringList &expected)
{
    QCOMPARE(CmdLineParamCount(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(CmdLineParamStr(i + 1), expected.at(i));
    QCOMPARE(CmdLineParamStr(int(expected.size()) + 1), QString());
    QCOMPARE(CmdLineParamStr(int(expected.size()) + 7), QString());
}

} // namespace

class TestCmdLineHelper : public QObject
{
    Q_OBJECT

private slots:
    void literalCommandLine_data();
    void literalCommandLine();
    void scanTokenPosition_data();
    void scanTokenPosition();
    void scanTokenNull();
    void executablePath();
    void executablePathLongerThan260();
    void roundTrip_data();
    void roundTrip();
    void initFromArgv();
};

void TestCmdLineHelper::literalCommandLine_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("quoted blank") << S(u"prog a \"b c\" d")
                                  << QStringList{S(u"a"), S(u"b c"), S(u"d")};
    QTest::newRow("quoted paths") << S(u"\"/opt/My Apps/veskel\" \"/home/u/My Notes/a.vsk\"")
                                  << QStringList{S(u"/home/u/My Notes/a.vsk")};
    QTest::newRow("2B then quote opens") << S(u"prog a\\\\\"b c\"") << QStringList{S(u"a\\b c")};
    QTest::newRow("1B then quote") << S(u"prog a\\\"b") << QStringList{S(u"a\"b")};
    QTest::newRow("backslashes kept") << S(u"prog a\\\\b") << QStringList{S(u"a\\\\b")};
    QTest::newRow("3B then quote") << S(u"prog \\\\\\\"x") << QStringList{S(u"\\\"x")};
    QTest::newRow("4B then quote") << S(u"prog \\\\\\\\\"x y\"") << QStringList{S(u"\\\\x y")};
    QTest::newRow("trailing backslash") << S(u"prog a\\ b\\") << QStringList{S(u"a\\"), S(u"b\\")};
    QTest::newRow("lone pair of quotes") << S(u"prog \"\"") << QStringList{QString()};
    QTest::newRow("empty between")
        << S(u"prog a \"\" \"\"\"\" b") << QStringList{S(u"a"), QString(), QString(), S(u"b")};
    QTest::newRow("quotes inside token") << S(u"prog a\"b c\"d") << QStringList{S(u"ab cd")};
    QTest::newRow("unclosed quote") << S(u"prog \"a  b") << QStringList{S(u"a  b")};
    QTest::newRow("blanks everywhere")
        << S(u"  \t prog \t a   b\t\t c \t ") << QStringList{S(u"a"), S(u"b"), S(u"c")};
    QTest::newRow("control chars are blanks") << S(u"prog\x01"
                                                   u"a\x1f"
                                                   u"b\r\nc")
                                              << QStringList{S(u"a"), S(u"b"), S(u"c")};
    QTest::newRow("DEL and NBSP are not") << S(u"prog a\x7f"
                                               u"b c\xa0"
                                               u"d")
                                          << QStringList{S(u"a\x7f"
                                                           u"b"),
                                                         S(u"c\xa0"
                                                           u"d")};
    QTest::newRow("blanks inside quotes") << S(u"prog \"\t\x01 \"") << QStringList{S(u"\t\x01 ")};
    QTest::newRow("program only") << S(u"prog") << QStringList{};
    QTest::newRow("empty") << QString() << QStringList{};
    QTest::newRow("blanks only") << S(u" \t \x1f") << QStringList{};
    QTest::newRow("surrogate pair")
        << S(u"prog \U0001D11E\\\"\U0001D11E") << QStringList{S(u"\U0001D11E\"\U0001D11E")};
    QTest::newRow("lone surrogates")
        << S(u"prog \xD800 \xDC00\\\"\xD800") << QStringList{S(u"\xD800"), S(u"\xDC00\"\xD800")};
    QTest::newRow("mark after quote") << S(u"prog \"\x0301\" \\\"\x0301 \\\x0301")
                                      << QStringList{S(u"\x0301"), S(u"\"\x0301"), S(u"\\\x0301")};
}

void TestCmdLineHelper::literalCommandLine()
{
    QFETCH(QString, commandLine);
    QFETCH(QStringList, arguments);
    win::SetCommandLineText(commandLine);
    compareArguments(arguments);
}

void TestCmdLineHelper::scanTokenPosition_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("rest");

    QTest::newRow("stops on blank") << S(u"  ab \tcd") << true << S(u"ab") << S(u" \tcd");
    QTest::newRow("quoted then more") << S(u"\"a b\"c d") << true << S(u"a bc") << S(u" d");
    QTest::newRow("runs to end") << S(u"a\\\\") << true << S(u"a\\\\") << QString();
    QTest::newRow("pair counts two") << S(u"\U0001F600 x") << true << S(u"\U0001F600") << S(u" x");
    QTest::newRow("empty token") << S(u"\"\" x") << true << QString() << S(u" x");
    QTest::newRow("only blanks") << S(u" \t ") << false << QString() << QString();
    QTest::newRow("nothing") << QString() << false << QString() << QString();
}

void TestCmdLineHelper::scanTokenPosition()
{
    QFETCH(QString, text);
    QFETCH(bool, found);
    QFETCH(QString, token);
    QFETCH(QString, rest);

    const std::u16string units = text.toStdU16String();
    win::LPCWSTR withoutBuffer = units.c_str();
    int probed = -1;
    QCOMPARE(ScanToken(withoutBuffer, nullptr, &probed), found);

    // A marker after the token shows that nothing is written past its length.
    std::vector<win::WCHAR> buffer(units.size() + 2, u'#');
    win::LPCWSTR p = units.c_str();
    int length = -1;
    QCOMPARE(ScanToken(p, buffer.data(), &length), found);
    QCOMPARE(length, token.size());
    QCOMPARE(probed, length);
    QVERIFY(withoutBuffer == p);
    QCOMPARE(S(std::u16string_view(buffer.data(), std::size_t(length))), token);
    QVERIFY(buffer[std::size_t(length)] == u'#');
    QCOMPARE(S(std::u16string_view(p)), rest);
}

void TestCmdLineHelper::scanTokenNull()
{
    win::LPCWSTR p = nullptr;
    int length = 5;
    QVERIFY(!ScanToken(p, nullptr, &length));
    QCOMPARE(length, 0);
    QVERIFY(p == nullptr);
}

void TestCmdLineHelper::executablePath()
{
    win::SetCommandLineText(S(u"/not/this/program a"));
    const QString path = CmdLineParamStr(0);
    QVERIFY(!path.isEmpty());
    QCOMPARE(path, QCoreApplication::applicationFilePath());
    QCOMPARE(CmdLineParamStr(-1), path);
    QCOMPARE(firstToken(), S(u"/not/this/program"));
}

// A copy of this test program under a path longer than 260 characters runs
// executablePath(): the path must come back whole, not cut.
void TestCmdLineHelper::executablePathLongerThan260()
{
    QTemporaryDir dir(QDir(QCoreApplication::applicationDirPath()).filePath(S(u"long-XXXXXX")));
    QVERIFY(dir.isValid());
    const QString segment = S(u"Veskel \U0001D11E Grüße ").repeated(8);
    QVERIFY(QDir(dir.path()).mkpath(segment + QLatin1Char('/') + segment));
    const QString copy = dir.filePath(segment + QLatin1Char('/') + segment + S(u"/tst copy"));
    QVERIFY(copy.size() > 300);
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
    QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(copy, {S(u"executablePath")});
    QVERIFY(child.waitForFinished(60000));
    const QByteArray output = child.readAll();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             output.constData());
}

void TestCmdLineHelper::roundTrip_data()
{
    QTest::addColumn<QStringList>("argv");

    QTest::newRow("blanks") << QStringList{S(u"prog"), S(u"a b"), S(u" lead"), S(u"trail "),
                                           S(u"  ")};
    QTest::newRow("tabs and controls")
        << QStringList{S(u"prog"), S(u"a\tb"), S(u"\t"), S(u"\x01"), S(u"x\x1fy"), S(u"\r\n")};
    QTest::newRow("quotes") << QStringList{S(u"prog"), S(u"\""),    S(u"a\"b"),
                                           S(u"\"\""), S(u"\" \""), S(u"say \"hi\"")};
    QTest::newRow("trailing backslashes")
        << QStringList{S(u"prog"), S(u"a\\"), S(u"a b\\"), S(u"\\\\"), S(u"\\ \\\\"), S(u"\\")};
    QTest::newRow("backslash runs before quotes")
        << QStringList{S(u"prog"),       S(u"\\\""),       S(u"\\\\\""),
                       S(u"a\\\\\\\"b"), S(u"x \\\\\" y"), S(u"\\\\\\\\\"\\\"")};
    QTest::newRow("empty arguments") << QStringList{QString(), QString(), S(u"a"), QString()};
    QTest::newRow("non-ASCII") << QStringList{
        S(u"/opt/veskel/veskel"), S(u"Grüße.vsk"), S(u"日本語 ファイル.vsk"),
        S(u"\U0001D11E"),         S(u"\xD800"),    S(u"a\xDC00 b")};
    QTest::newRow("mark after quote or backslash")
        << QStringList{S(u"prog"),       S(u"\"\x0301"),       S(u"\\\x0301"),
                       S(u"a \"\x0301"), S(u"\\\"\U0001F600"), S(u"x\\ \"\x0308")};
    QTest::newRow("awkward program path")
        << QStringList{S(u"/home/u/My \"Apps\"\\ veskel\\"), S(u"a")};
}

void TestCmdLineHelper::roundTrip()
{
    QFETCH(QStringList, argv);
    win::SetCommandLineText(win::BuildCommandLine(argv));
    QCOMPARE(firstToken(), argv.first());
    compareArguments(argv.mid(1));
}

void TestCmdLineHelper::initFromArgv()
{
    const std::vector<QByteArray> bytes{"/usr/bin/veskel", "My Documents/notes.vsk",
                                        "say \"hi\"\\",    "",
                                        "tab\there",       "na\xC3\xAFve \xF0\x9F\x98\x80"};
    std::vector<const char *> argv;
    for (const QByteArray &b : bytes)
        argv.push_back(b.constData());
    argv.push_back(nullptr);
    win::InitCommandLine(int(bytes.size()), argv.data());

    QCOMPARE(firstToken(), S(u"/usr/bin/veskel"));
    QStringList expected;
    for (std::size_t i = 1; i < bytes.size(); ++i)
        expected.append(QString::fromUtf8(bytes[i]));
    compareArguments(expected);
    QCOMPARE(CmdLineParamStr(0), QCoreApplication::applicationFilePath());

    win::InitCommandLine(0, nullptr);
    QCOMPARE(CmdLineParamCount(), 0);
    QCOMPARE(CmdLineParamStr(1), QString());
}

QTEST_GUILESS_MAIN(TestCmdLineHelper)
#include "tst_cmdlinehelper.moc"
