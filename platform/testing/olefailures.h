// Failures of the object services on request, for tests of their callers'
// failure paths. The services define these; nothing else calls them.
#pragma once

#include "platform/win/wintypes.h"

namespace win {

// The next n object creations (OleCreate, OleCreateFromFile,
// OleCreateLinkToFile, OleCreateFromData, OleCreateLinkFromData,
// OleLoadObjectData) fail with the result (n 0: none).
void FailObjectCreationForTesting(HRESULT result, int count);

// The next n storage creations fail with the result (n 0: none).
void FailStorageCreationForTesting(HRESULT result, int count);

} // namespace win
