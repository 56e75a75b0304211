// Every command and option that `veskel-cli --help` lists is also accepted by
// the program, known to the bash completion and described in the manual page,
// so that a new one left out of any of them fails here, naming the place.
#include "support/manualtext.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

const QString kCompletion = QStringLiteral("packaging/completion/veskel-cli");
const QString kManual = QStringLiteral("packaging/man/veskel-cli.1");

// A shell script without its comments, which may name anything.
QString withoutShellComments(const QString &script)
{
    static const QRegularExpression comment(QStringLiteral("(^|\\s)#.*$"),
                                            QRegularExpression::MultilineOption);
    return QString(script).remove(comment);
}

// Whether `word` stands in `text` on its own: "-o" is not in "--old-format"
// nor "decrypt" in "decrypted".
bool containsWord(const QString &text, const QString &word)
{
    const QRegularExpression whole(
        QStringLiteral("(?<![\\w-])%1(?![\\w-])").arg(QRegularExpression::escape(word)));
    return whole.match(text).hasMatch();
}

qsizetype indentation(const QString &line)
{
    qsizetype n = 0;
    while (n < line.size() && line[n] == u' ') {
        ++n;
    }
    return n;
}

// What the usage text lists: the commands and options its synopsis (the lines
// before the first blank one) shows, and those its "Commands:" and
// "Options:" sections describe, one item per line at the section's first
// indentation, continued on lines indented further.
struct Usage
{
    QStringList synopsisCommands;
    QStringList synopsisOptions;
    QStringList describedCommands;
    QStringList describedOptions;
};

Usage parseUsage(const QString &help)
{
    static const QRegularExpression option(QStringLiteral("(?<![\\w-])--?[A-Za-z][\\w-]*"));
    static const QRegularExpression command(QStringLiteral("veskel-cli\\s+([a-z][\\w-]*)"));
    static const QRegularExpression heading(QStringLiteral("^(\\w[\\w ]*):$"));
    Usage usage;
    const QStringList lines = help.split(u'\n');
    qsizetype i = 0;
    for (; i < lines.size() && !lines[i].trimmed().isEmpty(); ++i) {
        for (const auto &m : option.globalMatch(lines[i])) {
            usage.synopsisOptions.append(m.captured());
        }
        const auto m = command.match(lines[i]);
        if (m.hasMatch()) {
            usage.synopsisCommands.append(m.captured(1));
        }
    }
    QStringList *described = nullptr;
    qsizetype itemIndent = -1;
    for (; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (line.trimmed().isEmpty()) {
            described = nullptr;
            continue;
        }
        const auto title = heading.match(line);
        if (title.hasMatch()) {
            described = title.captured(1) == QLatin1String("Commands")  ? &usage.describedCommands
                        : title.captured(1) == QLatin1String("Options") ? &usage.describedOptions
                                                                        : nullptr;
            itemIndent = -1;
            continue;
        }
        if (described == nullptr) {
            continue;
        }
        if (itemIndent < 0) {
            itemIndent = indentation(line);
        }
        if (indentation(line) != itemIndent) {
            continue; // the description goes on
        }
        // "decrypt  Decrypt ...", "-o, --output PATH  The file ...", "--  Every..."
        const QString names = line.mid(itemIndent).section(QStringLiteral("  "), 0, 0);
        for (const QString &name : names.split(QStringLiteral(", "))) {
            described->append(name.section(u' ', 0, 0).section(u'=', 0, 0));
        }
    }
    for (QStringList *list : {&usage.synopsisCommands, &usage.synopsisOptions,
                              &usage.describedCommands, &usage.describedOptions}) {
        list->removeDuplicates();
    }
    return usage;
}

QStringList missingFrom(const QStringList &names, const QStringList &list)
{
    QStringList missing;
    for (const QString &name : names) {
        if (!list.contains(name)) {
            missing.append(name);
        }
    }
    return missing;
}

} // namespace

class TestCliDocs : public QObject
{
    Q_OBJECT

    Usage m_usage;
    QString m_completion;
    QString m_manual;

private slots:
    void initTestCase()
    {
        QProcess cli;
        cli.start(QStringLiteral(VESKEL_CLI_PATH), {QStringLiteral("--help")});
        QVERIFY(cli.waitForFinished(20000));
        QCOMPARE(cli.exitCode(), 0);
        m_usage = parseUsage(QString::fromUtf8(cli.readAllStandardOutput()));
        QVERIFY2(!m_usage.synopsisCommands.isEmpty() && !m_usage.describedOptions.isEmpty(),
                 "no command or option found in veskel-cli --help");

        m_completion = withoutShellComments(veskel::test::ReadSource(kCompletion));
        m_manual = veskel::test::ManualText(veskel::test::ReadSource(kManual));
        QVERIFY2(!m_completion.isEmpty(), qPrintable(kCompletion));
        QVERIFY2(!m_manual.isEmpty(), qPrintable(kManual));
    }

    // The synopsis and the sections of the usage text agree with each other.
    void synopsisMatchesDescriptions()
    {
        QStringList problems;
        const auto report = [&problems](const QStringList &names, const QString &where) {
            for (const QString &name : names) {
                problems.append(QStringLiteral("'%1' %2").arg(name, where));
            }
        };
        report(missingFrom(m_usage.synopsisCommands, m_usage.describedCommands),
               QStringLiteral("is in the synopsis but not under Commands:"));
        report(missingFrom(m_usage.describedCommands, m_usage.synopsisCommands),
               QStringLiteral("is under Commands: but not in the synopsis"));
        report(missingFrom(m_usage.synopsisOptions, m_usage.describedOptions),
               QStringLiteral("is in the synopsis but not under Options:"));
        QVERIFY2(problems.isEmpty(), qPrintable("veskel-cli --help: " + problems.join("; ")));
    }

    void listedEverywhere_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("rejection"); // the parser's error for an unknown one
        QStringList commands = m_usage.describedCommands + m_usage.synopsisCommands;
        commands.removeDuplicates();
        for (const QString &command : std::as_const(commands)) {
            QTest::newRow(qPrintable(command)) << command << "unknown command";
        }
        QStringList options = m_usage.describedOptions + m_usage.synopsisOptions;
        options.removeDuplicates();
        for (const QString &option : std::as_const(options)) {
            QTest::newRow(qPrintable(option)) << option << "unknown option";
        }
    }

    void listedEverywhere()
    {
        QFETCH(QString, name);
        QFETCH(QString, rejection);
        QProcess cli;
        cli.start(QStringLiteral(VESKEL_CLI_PATH), {name});
        cli.closeWriteChannel();
        QVERIFY2(cli.waitForFinished(20000), qPrintable("veskel-cli " + name + " did not end"));
        QStringList missing;
        if (QString::fromUtf8(cli.readAllStandardError()).contains(rejection)) {
            missing.append(QStringLiteral("the parser (cli/options.cpp)"));
        }
        if (!containsWord(m_completion, name)) {
            missing.append(kCompletion);
        }
        if (!containsWord(m_manual, name)) {
            missing.append(kManual);
        }
        QVERIFY2(missing.isEmpty(),
                 qPrintable(QStringLiteral("'%1', listed by veskel-cli --help, is missing from %2")
                                .arg(name, missing.join(QStringLiteral(" and ")))));
    }
};

QTEST_MAIN(TestCliDocs)
#include "tst_cli_docs.moc"
