// Files and folders that must be readable by their owner only (private keys, key bundles,
// temporary work folders).
#pragma once

#include <filesystem>
#include <string_view>

namespace qs {

// Makes `path` an empty file with mode 0600 (truncating and tightening an existing one), so that
// a tool that then writes a secret into it never leaves it readable by others, not even briefly.
// Throws QSSystemError naming the call and the path.
void createPrivateFile(const std::filesystem::path& path);

// Creates a new folder with mode 0700 and an unpredictable name, `prefix` followed by six random
// characters, inside `parent` (mkdtemp): no other user can have made it or placed anything in it
// beforehand. Returns its path; throws QSSystemError naming the call and the path.
std::filesystem::path createPrivateTemporaryFolder(const std::filesystem::path& parent,
                                                   std::string_view prefix);

}  // namespace qs
