// Keeping secrets out of crash dumps.
//
// A core file of this process would hold the decrypted text and the password
// in the clear. Both programs call DisableCoreDumps() before anything else.
#pragma once

namespace veskel {

// Sets the core file size limit to zero and marks the process as not
// dumpable (which also keeps other processes of the same user from attaching
// to it or reading its memory). Returns false when either call failed.
bool DisableCoreDumps();

// Whether the process would write a core file: the limit is above zero or the
// process is dumpable.
bool CoreDumpsEnabled();

} // namespace veskel
