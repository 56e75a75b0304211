// How the desktop knows the program: its application id, which names the
// desktop entry, the MIME type's package, the icons and the metainfo, and its
// icon.
#pragma once

#include <QIcon>
#include <QString>

namespace veskel {

QString ApplicationId();

// The icon theme's icon of that name when the desktop has one, else the
// icon built into the program (every size packaging/icons has).
QIcon ApplicationIcon();

// Every window of the program (the main window, the password dialog, the
// object dialogs and message boxes) takes the icon, and the desktop can match
// the windows to the desktop entry. Call after the application object exists.
void SetApplicationIdentity();

} // namespace veskel
