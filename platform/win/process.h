// The process's command line and module path.
//
// There is no raw command line here: it is built once from argv, each argument
// quoted so that the command-line tokenizer gives back exactly that argument.
#pragma once

#include "platform/win/wintypes.h"

#include <QString>
#include <QStringList>

namespace win {

// Builds the command line from argv (argv[0] first). Called once by main().
void InitCommandLine(int argc, const char *const *argv);

// Whether argument index (0: the program) of the argv InitCommandLine took
// decodes to text that names the same bytes; false for a name that is not
// UTF-8, whose text names another file.
bool CommandLineArgumentDecodes(int index);

// Replaces the command line with the given text (tests, and callers that
// already hold the arguments as text).
void SetCommandLineText(const QString &commandLine);

// Quotes one argument so that the tokenizer returns it unchanged.
QString QuoteCommandLineArgument(const QString &argument);

// Joins quoted arguments with one blank.
QString BuildCommandLine(const QStringList &arguments);

// The NUL-terminated command line. Empty until one is set. The pointer stays
// valid until the command line is set again.
LPCWSTR GetCommandLineW();

// Writes the running executable's absolute path into buffer, at most size - 1
// characters and a terminating NUL. Returns the number of characters written
// without the NUL; when the path does not fit it is cut to size - 1 characters,
// the result is size and the last error ERROR_INSUFFICIENT_BUFFER. Only the
// null module (the executable) is known; any other handle fails with 0.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

// The position of the character after the one at p: a valid surrogate pair is
// one character. At the terminating NUL, p itself.
LPWSTR CharNextW(LPCWSTR p);

// Lower-cases the NUL-terminated string in place and returns it.
LPWSTR CharLowerW(LPWSTR text);

// How the process was asked to show its main window.
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMAXIMIZED = 3;
inline constexpr int SW_SHOWMINNOACTIVE = 7;
inline constexpr int SW_SHOWDEFAULT = 10;

// The show command the process was started with. This platform starts every
// process with SW_SHOWDEFAULT; the desktop's own window rules apply.
int GetStartupShowCommand();
// Sets the show command (tests, and launchers that know better).
void SetStartupShowCommand(int command);

} // namespace win
