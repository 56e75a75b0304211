// The results a modal window ends with, shared by the dialogs and the windows
// that show them.
#pragma once

namespace veskel {

inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;

} // namespace veskel
