#include "core/platform/paths.h"

#include "core/platform/files.h"
#include "core/platform/system_error.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace qs::QSPaths {

namespace fs = std::filesystem;
namespace {

fs::path fromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  // The XDG rules ignore relative paths.
  if (value && value[0] == '/') return value;
  return {};
}

}  // namespace

fs::path home() {
  if (const char* value = std::getenv("HOME"); value && *value) return value;
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

fs::path dataHome() {
  auto path = fromEnvironment("XDG_DATA_HOME");
  return path.empty() ? home() / ".local" / "share" : path;
}

fs::path configHome() {
  auto path = fromEnvironment("XDG_CONFIG_HOME");
  return path.empty() ? home() / ".config" : path;
}

fs::path temporaryFolder() {
  auto path = fromEnvironment("TMPDIR");
  return path.empty() ? fs::path("/tmp") : path;
}

fs::path dataFolderPath() { return dataHome() / "Quayside"; }

fs::path dataFolder() {
  fs::path folder = dataFolderPath();
  createDirectories(folder, 0700);
  // It holds the control socket, which runs code on the owner's behalf: nobody else may enter.
  if (::chmod(folder.c_str(), 0700) != 0) throwSystemError("chmod " + folder.string());
  return folder;
}

fs::path configFolder() { return configHome() / "Quayside"; }

fs::path projectsFolder() { return home() / "Quayside"; }

fs::path daemonLogFile() { return dataFolderPath() / "logs" / "daemon.log"; }

}  // namespace qs::QSPaths
