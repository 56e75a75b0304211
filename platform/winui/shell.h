// Opening a document or link with the desktop's default handler.
#pragma once

#include "platform/win/process.h"
#include "platform/win/wintypes.h"

#include <QString>

class QUrl;
class QWidget;

namespace win {

using HINSTANCE = std::intptr_t;
inline constexpr HINSTANCE SE_ERR_FNF = 2;
inline constexpr HINSTANCE SE_ERR_NOASSOC = 31;

// Only the verb "open" (or none) is known. Returns a value above 32 when the
// desktop took the request; a link without a scheme opens as a web address
// ("www.example.org"), a path as a file.
HINSTANCE ShellExecuteW(QWidget *window, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                        LPCWSTR directory, int showCommand);

// What ShellExecuteW hands to the desktop for a file or link text: the text
// as a web address, a path as a file, a URL as it is. Invalid when it would
// hand nothing.
QUrl ShellTarget(const QString &file);

} // namespace win
