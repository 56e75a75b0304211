// Reading the repository's own text files in tests: the manual pages as
// their reader sees them.
#pragma once

#include <QString>
#include <QStringList>

namespace veskel::test {

// A file of the source tree, by its path from the tree's root.
QString ReadSource(const QString &relative);

// The text a reader of the troff manual page sees, on one line: request names
// dropped, the font requests' arguments joined as troff joins them, escapes
// replaced by their characters.
QString ManualText(const QString &troff);

} // namespace veskel::test
