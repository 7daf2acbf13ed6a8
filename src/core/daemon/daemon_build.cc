#include "core/daemon/daemon_build.h"

#include "core/platform/file_status.h"

#include <fmt/format.h>

namespace qs::QSDaemonBuild {

std::string fingerprint(const std::filesystem::path& executable) {
  QSFileAttributes attributes = fileAttributes(executable).value_or(QSFileAttributes{});
  return fmt::format("{}-{}", attributes.modificationSeconds, attributes.size);
}

const std::string& current() {
  static const std::string value = fingerprint("/proc/self/exe");
  return value;
}

namespace {
// Taken during static initialisation, before main: /proc/self/exe names the running image's
// inode, and an in-place touch of that file would otherwise change the answer mid-run.
[[maybe_unused]] const bool takenAtStartup = !current().empty();
}  // namespace

}  // namespace qs::QSDaemonBuild
