// Takes document text this program put on the clipboard back off it.
#pragma once

namespace veskel {

// Clears the clipboard and the X11 selection where they still hold what this
// program put there; another program's copy is left alone. Where the platform
// tells owners (X11, Wayland) anything this program owns is cleared; where it
// cannot (offscreen), only document data this process made and still offers,
// and nothing when in doubt. Does nothing without a GUI application.
void ClearOwnClipboard();

} // namespace veskel
