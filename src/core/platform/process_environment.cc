#include "core/platform/process_environment.h"

#include "core/platform/system_error.h"

#include <cstdlib>
#include <system_error>

namespace qs {

std::optional<std::string> environmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) return std::nullopt;
  return std::string(value);
}

std::filesystem::path currentExecutable() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) throwSystemError("readlink /proc/self/exe", error.value());
  return path;
}

}  // namespace qs
