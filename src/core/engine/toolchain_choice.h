// Which Swift toolchain builds a project's server, and what to tell the user when there is none.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace qs {

struct QSToolchainChoice {
  std::optional<std::filesystem::path> path;  // nothing: the default compiler
  std::optional<std::string> note;  // said on the console when the choice is not the obvious one
  // Why the server cannot be built at all, in words that say what to install; nothing when a
  // compiler is there.
  std::optional<std::string> missing;
};

// The toolchain pinned by the project's .swift-version (else its record); else the default
// compiler; else, when there is none, the newest installed toolchain rather than no compiler at
// all. Reads the project's folder and may run the default compiler's --version: call it off the
// service loop, with the project's path, name and recorded version copied.
QSToolchainChoice chooseToolchainFor(const std::filesystem::path& projectPath, const std::string& projectName,
                                     const std::optional<std::string>& recordedVersion);

}  // namespace qs
