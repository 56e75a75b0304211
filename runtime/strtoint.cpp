#include "runtime/strtoint.h"

#include "runtime/exceptions.h"

#include <cstdint>

namespace veskel {

std::optional<int> TryStrToInt(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t')) {
        ++i;
    }
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < n && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == n) {
        return std::nullopt;
    }
    const std::uint64_t limit = base == 16 ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
    std::uint64_t value = 0;
    for (; i < n; ++i) {
        const int digit = text[i].isDigit() && text[i].unicode() < 0x80 ? text[i].unicode() - u'0'
                          : base == 16 && text[i].toLower() >= u'a' && text[i].toLower() <= u'f'
                              ? text[i].toLower().unicode() - u'a' + 10
                              : -1;
        if (digit < 0 || digit >= base) {
            return std::nullopt;
        }
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (value > limit) {
            return std::nullopt;
        }
    }
    const auto bits = static_cast<std::uint32_t>(negative ? (~value + 1) : value);
    return static_cast<int>(static_cast<std::int32_t>(bits));
}

int StrToInt(const QString &text)
{
    const std::optional<int> value = TryStrToInt(text);
    if (!value) {
        throw EConvertError(QStringLiteral("''%1'' is not a valid integer value").arg(text));
    }
    return *value;
}

} // namespace veskel
