#pragma once

#include <QString>

namespace veskel {

// The program's title: the executable's file name without its folder, cut
// before its first ".", every character after the first in lower case.
QString ProgramTitle();
// The same rule for a given executable path.
QString ProgramTitleFor(const QString &executablePath);

} // namespace veskel
