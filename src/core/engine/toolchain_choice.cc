#include "core/engine/toolchain_choice.h"

#include "core/models/swift_version_file.h"
#include "core/platform/file_status.h"
#include "core/runtime/toolchain_service.h"

namespace qs {

QSToolchainChoice chooseToolchainFor(const std::optional<std::string>& pin) {
  QSToolchainService service;
  if (pin) {
    if (auto path = service.toolchainPath(pin)) return {path, std::nullopt};
    // The default compiler builds it, which may not be what the pin asked for: say so.
    auto note = service.missingPinNote(pin);
    return {std::nullopt, note ? std::optional<std::string>("[" + *note + "]") : std::nullopt};
  }
  if (isExecutableFile(QSToolchainService::defaultCompilerPath())) return {};
  auto newest = service.newestInstalledToolchain();
  if (!newest) return {};
  return {newest->path, "[No swift compiler on PATH: building with " + newest->id + " (Swift " + newest->version +
                            "), the newest installed toolchain]"};
}

std::optional<std::string> missingCompiler(const QSProject& project,
                                           const std::optional<std::filesystem::path>& toolchain) {
  if (toolchain || isExecutableFile(QSToolchainService::defaultCompilerPath())) return std::nullopt;
  std::optional<std::string> pinned = QSSwiftVersionFile::read(project.path);
  if (!pinned) pinned = project.swiftVersion;
  std::string wanted = pinned ? "Swift " + *pinned + " (pinned for " + project.name + ") isn't installed" : "";
  return (pinned ? wanted + " and no" : "No") +
         std::string(" swift compiler was found on this machine. Install Swift (with swiftly, or unpacked into "
                     "/opt/swift), or list a folder of toolchains in QS_TOOLCHAIN_DIRS, then start ") +
         project.name + " again.";
}

}  // namespace qs
