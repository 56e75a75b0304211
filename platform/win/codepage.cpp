#include "platform/win/codepage.h"

#include <QHash>
#include <QStringDecoder>

#include <algorithm>

namespace win {

namespace {

constexpr const char *kAnsiName = "windows-1252";

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace

UINT GetACP()
{
    return CP_WINDOWS_1252;
}

QString DecodeAnsi(QByteArrayView bytes)
{
    if (isAscii(bytes)) {
        return QString::fromLatin1(bytes);
    }
    QStringDecoder decoder(kAnsiName);
    return decoder.decode(bytes);
}

QByteArray EncodeAnsi(QStringView text)
{
    if (isAscii(text)) {
        return text.toLatin1();
    }
    // The code page is single-byte: invert its table once. What it lacks
    // becomes '?', as the platform's conversion writes it.
    static const QHash<char16_t, char> table = [] {
        QHash<char16_t, char> inverse;
        QByteArray all(256, Qt::Uninitialized);
        for (int b = 0; b < 256; ++b) {
            all[b] = static_cast<char>(b);
        }
        const QString decoded = DecodeAnsi(all);
        for (int b = 0; b < 256 && b < decoded.size(); ++b) {
            inverse.insert(decoded[b].unicode(), static_cast<char>(b));
        }
        return inverse;
    }();
    QByteArray result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i; // one character, one '?'
            result.append('?');
            continue;
        }
        result.append(table.value(unit, '?'));
    }
    return result;
}

QString DecodeStreamText(QByteArrayView bytes)
{
    if (isAscii(bytes)) {
        return QString::fromLatin1(bytes);
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) {
        return text;
    }
    return DecodeAnsi(bytes);
}

} // namespace win
