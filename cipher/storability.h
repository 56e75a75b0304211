// Whether a text survives a save and open unchanged.
#pragma once

#include <QStringView>

namespace veskel {

// The number of UTF-16 units of the text that a save and open would lose or
// change: units beyond the block's capacity, units above U+00FF (only their
// low byte is kept), and everything from the first unit whose low byte is 0,
// since the opened text ends there. 0 when the text can be stored whole.
qsizetype CountUnstorableCharacters(QStringView text);

inline bool CanStoreWhole(QStringView text)
{
    return CountUnstorableCharacters(text) == 0;
}

} // namespace veskel
