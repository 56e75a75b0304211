#include "platform/richedit/links.h"

#include <QRegularExpression>
#include <QTextBlock>

namespace win {

namespace {

const QStringList &schemes()
{
    static const QStringList names = {
        QStringLiteral("http"), QStringLiteral("https"),    QStringLiteral("ftp"),
        QStringLiteral("file"), QStringLiteral("mailto"),   QStringLiteral("news"),
        QStringLiteral("nntp"), QStringLiteral("telnet"),   QStringLiteral("gopher"),
        QStringLiteral("wais"), QStringLiteral("prospero"), QStringLiteral("notes"),
        QStringLiteral("tel"),  QStringLiteral("callto"),   QStringLiteral("sip"),
        QStringLiteral("sips"), QStringLiteral("onenote")};
    return names;
}

bool isW(QChar c)
{
    return c == u'w' || c == u'W';
}

// A cheap look before the pattern runs, in one pass over the paragraph: a
// "www." or a known scheme's colon. Most paragraphs hold neither.
bool mayHoldLink(QStringView text)
{
    constexpr qsizetype kShortestScheme = 3; // "ftp", "sip", "tel"
    constexpr qsizetype kLongestScheme = 8;  // "prospero"
    const QChar *data = text.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = data[i].unicode();
        if (c == u'.') {
            if (i >= 3 && isW(data[i - 1]) && isW(data[i - 2]) && isW(data[i - 3])) {
                return true;
            }
        } else if (c == u':' && i >= kShortestScheme) {
            qsizetype start = i;
            while (start > 0 && i - start <= kLongestScheme && data[start - 1].isLetter()) {
                --start;
            }
            const QStringView word = text.mid(start, i - start);
            if (word.size() < kShortestScheme || word.size() > kLongestScheme) {
                continue;
            }
            for (const QString &scheme : schemes()) {
                if (scheme.size() == word.size() &&
                    word.compare(scheme, Qt::CaseInsensitive) == 0) {
                    return true;
                }
            }
        }
    }
    return false;
}

bool isClosingPunctuation(QChar c)
{
    switch (c.unicode()) {
    case u'.':
    case u',':
    case u';':
    case u':':
    case u'!':
    case u'?':
    case u')':
    case u']':
    case u'}':
    case u'\'':
    case u'"':
    case u'>':
        return true;
    default:
        return false;
    }
}

} // namespace

std::vector<TextSpan> FindLinks(QStringView text)
{
    std::vector<TextSpan> links;
    if (!mayHoldLink(text)) {
        return links;
    }
    static const QRegularExpression pattern(
        QStringLiteral("\\b(?:(?:https?|ftp|file|mailto|news|nntp|telnet|gopher|wais|prospero|"
                       "notes|tel|callto|sip|sips|onenote):[^\\s<>\"\\x{FFFC}]+|www\\.[^\\s<>\""
                       "\\x{FFFC}]+)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    auto it = pattern.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        int start = static_cast<int>(match.capturedStart());
        int length = static_cast<int>(match.capturedLength());
        while (length > 0 && isClosingPunctuation(text[start + length - 1])) {
            --length;
        }
        // A scheme alone ("http:") is no link.
        const QStringView body = text.mid(start, length);
        const qsizetype colon = body.indexOf(u':');
        const bool www = body.startsWith(QLatin1String("www."), Qt::CaseInsensitive);
        if ((www && length > 4) || (!www && colon >= 0 && colon + 1 < length)) {
            links.push_back({start, length});
        }
    }
    return links;
}

LinkHighlighter::LinkHighlighter(QTextDocument *document)
    : QSyntaxHighlighter(document)
{
    m_format.setFontUnderline(true);
    m_format.setForeground(QColor(0, 102, 204));
}

void LinkHighlighter::setLinkColor(const QColor &color)
{
    m_format.setForeground(color);
    rehighlight();
}

void LinkHighlighter::setHotColor(const QColor &color)
{
    if (color == m_hotColor) {
        return;
    }
    m_hotColor = color;
    if (!m_hot.isNull()) {
        rehighlightBlock(m_hot.block());
    }
}

void LinkHighlighter::setHotLink(int start)
{
    if (start < 0 ? m_hot.isNull() : !m_hot.isNull() && m_hot.position() == start) {
        return;
    }
    const QTextBlock before = m_hot.isNull() ? QTextBlock() : m_hot.block();
    m_hot = QTextCursor();
    if (start >= 0 && document() != nullptr) {
        m_hot = QTextCursor(document());
        m_hot.setPosition(start);
    }
    if (before.isValid() && (m_hot.isNull() || before != m_hot.block())) {
        rehighlightBlock(before);
    }
    if (!m_hot.isNull()) {
        rehighlightBlock(m_hot.block());
    }
}

void LinkHighlighter::highlightBlock(const QString &text)
{
    const int hot = !m_hot.isNull() && m_hotColor.isValid() && m_hot.block() == currentBlock()
                        ? m_hot.position() - currentBlock().position()
                        : -1;
    for (const TextSpan &link : FindLinks(text)) {
        if (hot >= link.start && hot < link.start + link.length) {
            QTextCharFormat format = m_format;
            format.setForeground(m_hotColor);
            setFormat(link.start, link.length, format);
        } else {
            setFormat(link.start, link.length, m_format);
        }
    }
}

} // namespace win
