// Limits the kernel puts on this process.
#pragma once

#include <cstdint>

namespace qs {

// Raises the soft limit on open descriptors to the hard limit, so that many idle clients (each
// one connection) cannot lock the rest out at the default 1,024. Returns the soft limit in force
// afterwards. Throws QSSystemError when the limit cannot be read; a limit that cannot be raised
// is left as it was.
std::uint64_t raiseOpenFileLimit();

// The soft limit on open descriptors in force now (a large number when unlimited or unreadable).
std::uint64_t openFileLimit();

}  // namespace qs
