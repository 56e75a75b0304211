#include "support/manualtext.h"

#include <QFile>
#include <QRegularExpression>

namespace veskel::test {

namespace {

// The arguments of a troff request, quotes grouping blanks ("" is a quote).
QStringList requestArguments(const QString &line)
{
    QStringList arguments;
    QString current;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'"' && quoted && i + 1 < line.size() && line[i + 1] == u'"') {
            current += c;
            ++i;
        } else if (c == u'"') {
            quoted = !quoted;
            any = true;
        } else if (c == u' ' && !quoted) {
            if (any || !current.isEmpty()) {
                arguments.append(current);
            }
            current.clear();
            any = false;
        } else {
            current += c;
        }
    }
    if (any || !current.isEmpty()) {
        arguments.append(current);
    }
    return arguments;
}

} // namespace

QString ReadSource(const QString &relative)
{
    QFile file(QStringLiteral(VESKEL_SOURCE_DIR "/") + relative);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString ManualText(const QString &troff)
{
    QStringList lines;
    for (const QString &line : troff.split(u'\n')) {
        if (line.startsWith(QLatin1String(".\\\""))) {
            continue;
        }
        if (!line.startsWith(u'.')) {
            lines.append(line);
            continue;
        }
        const qsizetype blank = line.indexOf(u' ');
        const QString request = line.mid(1, blank < 0 ? -1 : blank - 1);
        const QStringList arguments = requestArguments(blank < 0 ? QString() : line.mid(blank + 1));
        // .BR, .IR, .RB, ... alternate fonts with no blank between arguments.
        static const QRegularExpression alternating(QStringLiteral("^[BIR]{2}$"));
        lines.append(arguments.join(alternating.match(request).hasMatch() ? QString()
                                                                          : QStringLiteral(" ")));
    }
    const QString escaped = lines.join(u' ');
    QString text;
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != u'\\' || i + 1 == escaped.size()) {
            text += escaped[i];
            continue;
        }
        const QChar c = escaped[++i];
        if (c == u'f') { // \fB, \f(CW, \f[B]
            const QChar next = i + 1 < escaped.size() ? escaped[i + 1] : QChar();
            i = next == u'(' ? i + 3 : next == u'[' ? escaped.indexOf(u']', i) : i + 1;
        } else if (c == u'(') {
            const QString name = escaped.mid(i + 1, 2);
            i += 2;
            text += name == QLatin1String("dq") ? QStringLiteral("\"") : QStringLiteral(" ");
        } else if (c == u'e') {
            text += u'\\';
        } else if (c != u'c' && c != u'&') {
            text += c; // \- and "\ " among others
        }
    }
    return text.simplified();
}

} // namespace veskel::test
