#include "storability.h"

#include "cipher/blockcodec.h"

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

} // namespace veskel
