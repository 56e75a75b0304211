// Wiping memory that held secrets (passwords, keys, plaintext).
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

namespace win {

// Fills the memory with zero bytes; never optimised away.
void SecureZeroMemory(void *data, std::size_t size);

} // namespace win

namespace veskel {

// Overwrites the characters the string holds (when it is the only owner of
// them) and empties it.
void WipeString(QString &text);
void WipeBytes(QByteArray &bytes);

} // namespace veskel
