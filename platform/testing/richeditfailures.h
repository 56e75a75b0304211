// Refusals of the rich edit services on request, for tests of their callers'
// failure paths. The rich edit library defines these; nothing else calls them.
#pragma once

#include <QString>

namespace win {

// Whether a rich edit library can be loaded at all (all can by default).
void SetLibraryLoadableForTesting(const QString &name, bool loadable);

// While set, EM_GETOLEINTERFACE and EM_SETOLECALLBACK reply FALSE in every
// rich edit window.
void RefuseOleMessagesForTesting(bool getInterface, bool setCallback);

} // namespace win
