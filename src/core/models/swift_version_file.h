// The `.swift-version` file through which a project pins its Swift version.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace qs::QSSwiftVersionFile {

inline constexpr const char* filename = ".swift-version";

// The first line of the project's .swift-version that is not blank, trimmed of spaces and tabs;
// nothing when there is none or the file cannot be read.
std::optional<std::string> read(const std::filesystem::path& projectRoot);

// Writes `version` (plus a newline) to the file unless it already reads as exactly that; with no
// or an empty version, removes an existing file. Returns whether a write or removal was attempted.
bool sync(const std::optional<std::string>& version, const std::filesystem::path& projectRoot);

}  // namespace qs::QSSwiftVersionFile
