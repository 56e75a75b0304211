#include "storability.h"

#include "cipher/blockcodec.h"

#include <QList>

#include <algorithm>

namespace veskel {

qsizetype CountUnstorableCharacters(QStringView text)
{
    const auto kept = std::min(text.size(), static_cast<qsizetype>(BlockTextCapacity));
    qsizetype changed = 0;
    for (qsizetype i = 0; i < kept; ++i) {
        const char16_t unit = text[i].unicode();
        if ((unit & 0xFF) == 0) {
            // The opened text is cut here: this unit and all after it are gone.
            return changed + (text.size() - i);
        }
        if (unit > 0xFF) {
            ++changed;
        }
    }
    return changed + (text.size() - kept);
}

OldFormatLoss DescribeOldFormatLoss(QStringView text)
{
    OldFormatLoss loss;
    // Every object character is above U+00FF, so the count above has it once.
    loss.objects = text.count(QChar::ObjectReplacementCharacter);
    loss.characters = CountUnstorableCharacters(text) - loss.objects;
    QList<char32_t> seen;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (c <= 0xFF || c == QChar::ObjectReplacementCharacter || seen.contains(c)) {
            continue;
        }
        if (seen.size() == MaxLossExamples) {
            loss.moreExamples = true;
            break;
        }
        seen.append(c);
    }
    for (const char32_t c : seen) {
        loss.examples << QString::fromUcs4(&c, 1);
    }
    return loss;
}

} // namespace veskel
