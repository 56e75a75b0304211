// Whether a text survives a save and open unchanged.
#pragma once

#include <QString>
#include <QStringList>
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

namespace veskel {

// What a save in the old format would lose of a text, for the question
// before such a save.
struct OldFormatLoss
{
    qsizetype characters = 0; // lost or changed, objects not counted
    qsizetype objects = 0;    // pictures and objects (U+FFFC)
    QStringList examples;     // up to MaxLossExamples distinct characters above U+00FF
    bool moreExamples = false;
    bool formatting = false; // filled in by the caller, which knows the formats

    bool any() const { return characters > 0 || objects > 0 || formatting; }
};

inline constexpr int MaxLossExamples = 5;

OldFormatLoss DescribeOldFormatLoss(QStringView text);

} // namespace veskel
