// Files that must be readable by their owner only (private keys, key bundles).
#pragma once

#include <filesystem>

namespace qs {

// Makes `path` an empty file with mode 0600 (truncating and tightening an existing one), so that
// a tool that then writes a secret into it never leaves it readable by others, not even briefly.
// Throws QSSystemError naming the call and the path.
void createPrivateFile(const std::filesystem::path& path);

}  // namespace qs
