// Zeroing memory that held a secret.
#pragma once

#include <cstddef>

namespace win {

// Fills the memory with zero bytes; never optimised away.
void SecureZeroMemory(void *data, std::size_t size);

} // namespace win
