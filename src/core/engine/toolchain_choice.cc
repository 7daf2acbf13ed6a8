#include "core/engine/toolchain_choice.h"

#include "core/models/swift_version_file.h"
#include "core/platform/file_status.h"
#include "core/runtime/toolchain_service.h"

namespace qs {

namespace {

std::string missingText(const std::optional<std::string>& pin, const std::string& projectName) {
  std::string wanted = pin ? "Swift " + *pin + " (pinned for " + projectName + ") isn't installed and no" : "No";
  return wanted +
         " swift compiler was found on this machine. Install Swift (with swiftly, or unpacked into /opt/swift), or "
         "list a folder of toolchains in QS_TOOLCHAIN_DIRS, then start " +
         projectName + " again.";
}

}  // namespace

QSToolchainChoice chooseToolchainFor(const std::filesystem::path& projectPath, const std::string& projectName,
                                     const std::optional<std::string>& recordedVersion) {
  std::optional<std::string> pin = QSSwiftVersionFile::read(projectPath);
  if (!pin) pin = recordedVersion;
  QSToolchainService service;
  if (pin)
    if (auto path = service.toolchainPath(pin)) return {path, std::nullopt, std::nullopt};
  bool haveDefault = isExecutableFile(QSToolchainService::defaultCompilerPath());
  if (pin) {
    // The default compiler builds it, which may not be what the pin asked for: say so.
    auto note = service.missingPinNote(pin);
    return {std::nullopt, note ? std::optional<std::string>("[" + *note + "]") : std::nullopt,
            haveDefault ? std::nullopt : std::optional<std::string>(missingText(pin, projectName))};
  }
  if (haveDefault) return {};
  auto newest = service.newestInstalledToolchain();
  if (!newest) return {std::nullopt, std::nullopt, missingText(std::nullopt, projectName)};
  return {newest->path,
          "[No swift compiler on PATH: building with " + newest->id + " (Swift " + newest->version +
              "), the newest installed toolchain]",
          std::nullopt};
}

}  // namespace qs
