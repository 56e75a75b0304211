// The question before a save in the old format that would lose part of the
// document.
#pragma once

#include "cipher/storability.h"

#include <QString>

namespace veskel {

// Names what would be lost ("the formatting, 1 picture or object and
// 2 characters (€, 中)") and offers the strong format instead.
QString OldFormatLossQuestion(const OldFormatLoss &loss);

} // namespace veskel
