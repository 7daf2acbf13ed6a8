#include "core/routing/system_root.h"

#include "core/platform/file_status.h"
#include "core/platform/files.h"
#include "core/platform/process_environment.h"

namespace qs {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> splitSearchPath(std::string_view text) {
  std::vector<fs::path> folders;
  while (!text.empty()) {
    auto colon = text.find(':');
    auto entry = text.substr(0, colon);
    if (!entry.empty()) folders.emplace_back(entry);
    if (colon == std::string_view::npos) break;
    text.remove_prefix(colon + 1);
  }
  return folders;
}

}  // namespace

QSSystemRoot::QSSystemRoot() : QSSystemRoot("/", splitSearchPath(defaultToolPath)) {}

QSSystemRoot::QSSystemRoot(fs::path root, std::vector<fs::path> toolPath)
    : root_(std::move(root)), toolPath_(std::move(toolPath)) {}

QSSystemRoot QSSystemRoot::fromEnvironment() {
  fs::path root = environmentValue("QS_SYSTEM_ROOT").value_or("/");
  std::string toolPath = environmentValue("QS_SYSTEM_TOOL_PATH").value_or(std::string(defaultToolPath));
  return QSSystemRoot(root, splitSearchPath(toolPath));
}

fs::path QSSystemRoot::path(std::string_view absolute) const {
  while (!absolute.empty() && absolute.front() == '/') absolute.remove_prefix(1);
  if (root_ == "/") return fs::path("/") / absolute;
  return root_ / absolute;
}

std::optional<fs::path> QSSystemRoot::tool(std::string_view name) const {
  for (const auto& folder : toolPath_) {
    auto candidate = folder / name;
    if (isExecutableFile(candidate)) return candidate;
  }
  return std::nullopt;
}

bool QSSystemRoot::isSystemdRunning() const { return isDirectory(path("/run/systemd/system")); }

}  // namespace qs
