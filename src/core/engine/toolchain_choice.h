// Which Swift toolchain builds a project's server, and what to tell the user when there is none.
#pragma once

#include "core/models/project.h"

#include <filesystem>
#include <optional>
#include <string>

namespace qs {

struct QSToolchainChoice {
  std::optional<std::filesystem::path> path;  // nothing: the default compiler
  std::optional<std::string> note;  // said on the console when the choice is not the obvious one
};

// The pinned toolchain; else the default compiler; else, when there is none, the newest
// installed toolchain rather than no compiler at all. Discovery may run the default compiler's
// --version: call it off the service loop.
QSToolchainChoice chooseToolchainFor(const std::optional<std::string>& pin);

// Why a server cannot be built at all, in words that say what to install; nothing when a
// compiler is there.
std::optional<std::string> missingCompiler(const QSProject& project,
                                           const std::optional<std::filesystem::path>& toolchain);

}  // namespace qs
