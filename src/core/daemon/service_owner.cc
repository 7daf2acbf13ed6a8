#include "core/daemon/service_owner.h"

#include "core/platform/file_lock.h"
#include "core/platform/proc_table.h"

namespace qs::QSServiceOwner {

std::optional<pid_t> desktopApp(const std::filesystem::path& lockPath) {
  std::optional<pid_t> holder = lockHolder(lockPath);
  if (!holder) return std::nullopt;
  std::optional<QSProcessIdentity> identity = processIdentity(*holder);
  if (!identity || identity->name != desktopAppProgram) return std::nullopt;
  return holder;
}

std::string ownedByAppLine(pid_t pid) {
  return "The Quayside desktop app (pid " + std::to_string(pid) + ") owns the services; they stop when it quits.";
}

}  // namespace qs::QSServiceOwner
