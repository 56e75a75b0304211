// CmdLineHelper: the process's arguments, split from GetCommandLineW.
//
// Quoting rules: blanks (codes 1 to 32) separate arguments; double quotes
// group blanks and are dropped; a run of backslashes is literal unless a double
// quote follows it, in which case 2k backslashes give k and leave the quote to
// open or close quoting, and 2k + 1 give k and a literal quote.
//
// Nothing is cached: every call reads the command line again.
#pragma once

#include "platform/win/wintypes.h"

#include <QString>

namespace cmdline {

// Skips blanks at p and reads one token, leaving p after it (on the blank or
// NUL that ends it). When buffer is given the token's UTF-16 units are written
// there (no NUL); the caller sizes it, for instance by a first scan without a
// buffer. When length is given it receives the number of units. Returns false
// when p is null or only blanks remain; a token may be empty ("").
bool ScanToken(win::LPCWSTR &p, win::WCHAR *buffer = nullptr, int *length = nullptr);

// The number of arguments after the program path.
int CmdLineParamCount();

// Argument n (1-based); empty when there is no such argument. n <= 0 gives
// the running executable's path.
QString CmdLineParamStr(int n);

} // namespace cmdline
