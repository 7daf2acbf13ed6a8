// Whether the next build of a package starts from nothing or re-resolves its dependencies, told
// from what the toolchain leaves in the package: `.build/workspace-state.json` is written when
// the package's dependencies are resolved, `Package.resolved` when a resolution changed them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace qs {

enum class QSColdBuild {
  none,                 // an incremental build
  firstBuild,           // never built here (or its build folder was removed)
  dependenciesChanged,  // Package.resolved changed after the last resolution
};

QSColdBuild detectColdBuild(const std::filesystem::path& packageFolder);

// The text shown before a cold build; nothing for an incremental one.
std::optional<std::string> coldBuildNotice(QSColdBuild kind);

}  // namespace qs
