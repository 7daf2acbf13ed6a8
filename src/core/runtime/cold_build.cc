#include "core/runtime/cold_build.h"

#include <system_error>

namespace qs {

QSColdBuild detectColdBuild(const std::filesystem::path& packageFolder) {
  std::error_code error;
  auto resolvedAt = std::filesystem::last_write_time(packageFolder / ".build" / "workspace-state.json", error);
  if (error) return QSColdBuild::firstBuild;
  // A package without dependencies has no Package.resolved: nothing to change.
  auto pinnedAt = std::filesystem::last_write_time(packageFolder / "Package.resolved", error);
  if (!error && pinnedAt > resolvedAt) return QSColdBuild::dependenciesChanged;
  return QSColdBuild::none;
}

std::optional<std::string> coldBuildNotice(QSColdBuild kind) {
  switch (kind) {
    case QSColdBuild::none:
      return std::nullopt;
    case QSColdBuild::firstBuild:
      return "First build — fetching dependencies and compiling from scratch. This can take a few minutes; later "
             "builds are much faster.";
    case QSColdBuild::dependenciesChanged:
      return "Dependencies changed — resolving and recompiling. This build will be slower than usual.";
  }
  return std::nullopt;
}

}  // namespace qs
