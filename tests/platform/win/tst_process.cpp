#include "platform/win/process.h"

#include <QCoreApplication>
#include <QTest>

#include <string_view>
#include <vector>

namespace {

QString S(std::u16string_view units)
{
    return QString(reinterpret_cast<const QChar *>(units.data()), qsizetype(units.size()));
}

constexpr win::WCHAR Marker = u'#';
constexpr win::DWORD Untouched = 0xDEAD;

} // namespace

class TestProcess : public QObject
{
    Q_OBJECT

private slots:
    void moduleFileName_data();
    void moduleFileName();
    void moduleFileNameFailures();
    void charNext_data();
    void charNext();
    void quoteArgument_data();
    void quoteArgument();
    void commandLineText();
};

void TestProcess::moduleFileName_data()
{
    QTest::addColumn<int>("size");
    const int length = int(QCoreApplication::applicationFilePath().size());
    QTest::newRow("roomy") << length + 100;
    QTest::newRow("exact fit") << length + 1;
    QTest::newRow("no room for NUL") << length;
    QTest::newRow("half") << length / 2;
    QTest::newRow("one") << 1;
    QTest::newRow("zero") << 0;
}

void TestProcess::moduleFileName()
{
    QFETCH(int, size);
    const QString path = QCoreApplication::applicationFilePath();
    QVERIFY(path.startsWith(QLatin1Char('/')));
    const bool fits = size > path.size();

    std::vector<win::WCHAR> buffer(std::size_t(size) + 4, Marker);
    win::SetLastError(Untouched);
    const win::DWORD written = win::GetModuleFileNameW(nullptr, buffer.data(), win::DWORD(size));

    const qsizetype kept = fits ? path.size() : qMax(size - 1, 0);
    QCOMPARE(written, fits ? win::DWORD(path.size()) : win::DWORD(size));
    QCOMPARE(win::GetLastError(), fits ? win::ERROR_SUCCESS : win::ERROR_INSUFFICIENT_BUFFER);
    QCOMPARE(S(std::u16string_view(buffer.data(), std::size_t(kept))), path.left(kept));
    if (size > 0)
        QVERIFY(buffer[std::size_t(kept)] == 0);
    for (std::size_t i = std::size_t(size); i < buffer.size(); ++i)
        QVERIFY(buffer[i] == Marker);
}

void TestProcess::moduleFileNameFailures()
{
    win::WCHAR buffer[8] = {Marker, Marker};
    win::SetLastError(Untouched);
    int someModule = 0;
    QCOMPARE(win::GetModuleFileNameW(&someModule, buffer, 8), win::DWORD(0));
    QCOMPARE(win::GetLastError(), win::ERROR_INVALID_HANDLE);
    QVERIFY(buffer[0] == Marker);

    win::SetLastError(Untouched);
    QCOMPARE(win::GetModuleFileNameW(nullptr, nullptr, 8), win::DWORD(0));
    QCOMPARE(win::GetLastError(), win::ERROR_INVALID_PARAMETER);
}

void TestProcess::charNext_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("step");

    QTest::newRow("NUL") << QString() << 0;
    QTest::newRow("ASCII") << S(u"ab") << 1;
    QTest::newRow("BMP") << S(u"日本") << 1;
    QTest::newRow("surrogate pair") << S(u"\U0001D11Ex") << 2;
    QTest::newRow("high then NUL") << S(u"\xD800") << 1;
    QTest::newRow("high then other") << S(u"\xD800x") << 1;
    QTest::newRow("high then high") << S(u"\xD800\xD801\xDC00") << 1;
    QTest::newRow("lone low") << S(u"\xDC00\xDC00") << 1;
    QTest::newRow("base before mark") << S(u"e\x0301") << 1;
    QTest::newRow("combining mark") << S(u"\x0301\x0302") << 1;
}

void TestProcess::charNext()
{
    QFETCH(QString, text);
    QFETCH(int, step);
    const std::u16string units = text.toStdU16String();
    QVERIFY(win::CharNextW(units.c_str()) == units.c_str() + step);
    QVERIFY(win::CharNextW(nullptr) == nullptr);
}

void TestProcess::quoteArgument_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("quoted");

    QTest::newRow("plain") << S(u"a.vsk") << S(u"a.vsk");
    QTest::newRow("empty") << QString() << S(u"\"\"");
    QTest::newRow("blank") << S(u"a b") << S(u"\"a b\"");
    QTest::newRow("NBSP needs none") << S(u"a\xa0"
                                          u"b")
                                     << S(u"a\xa0"
                                          u"b");
    QTest::newRow("trailing backslash, bare") << S(u"a\\") << S(u"a\\");
    QTest::newRow("trailing backslash, wrapped") << S(u"a b\\\\") << S(u"\"a b\\\\\\\\\"");
    QTest::newRow("quote") << S(u"a\"b") << S(u"a\\\"b");
    QTest::newRow("backslashes before quote") << S(u"a\\\\\"") << S(u"a\\\\\\\\\\\"");
}

void TestProcess::quoteArgument()
{
    QFETCH(QString, argument);
    QFETCH(QString, quoted);
    QCOMPARE(win::QuoteCommandLineArgument(argument), quoted);
}

void TestProcess::commandLineText()
{
    win::SetCommandLineText(S(u"prog \xD800 \U0001D11E"));
    QCOMPARE(S(std::u16string_view(win::GetCommandLineW())), S(u"prog \xD800 \U0001D11E"));

    QCOMPARE(win::BuildCommandLine({S(u"/my prog"), QString(), S(u"x")}),
             S(u"\"/my prog\" \"\" x"));
    QCOMPARE(win::BuildCommandLine({}), QString());

    const char *argv[] = {"/usr/bin/veskel", "a b", "\xC3\xA9", nullptr};
    win::InitCommandLine(3, argv);
    QCOMPARE(S(std::u16string_view(win::GetCommandLineW())), S(u"/usr/bin/veskel \"a b\" é"));

    win::InitCommandLine(0, nullptr);
    QVERIFY(win::GetCommandLineW() != nullptr);
    QVERIFY(win::GetCommandLineW()[0] == 0);
}

QTEST_GUILESS_MAIN(TestProcess)
#include "tst_process.moc"
