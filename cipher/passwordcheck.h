// Whether a decrypted block came from the right password.
//
// A block is zero-filled before the text's bytes are stored in it, and its
// last byte never holds text, so the right password gives back the text's
// bytes followed by zeros. A wrong password gives bytes that look random,
// which end in a run of zeros of length k with probability 256^-k.
#pragma once

#include <QStringView>

namespace veskel {

// The zeros a block must end in when it holds bytes after its first zero:
// those come from a character whose low byte is 0 (U+0100, say), which ends
// the opened text early. A random block ends so with probability 2^-64.
inline constexpr int TrailingZerosAfterCutText = 8;

// True when the decrypted block (BlockSize characters U+0000..U+00FF, as
// TCryptoAPI::Decrypt returns it) is laid out as a save leaves it: every
// character after the first U+0000 is U+0000, or, when some are not, the
// block ends in at least TrailingZerosAfterCutText zeros. Every text of at
// most BlockTextCapacity characters from U+0001 to U+00FF passes, and so
// does every text with a character whose low byte is 0 that is shorter than
// BlockSize - TrailingZerosAfterCutText characters.
bool DecryptedBlockLooksRight(QStringView block);

} // namespace veskel
