#include "core/runtime/toolchain_service.h"

#include "core/models/swift_version_file.h"
#include "core/platform/child_process.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/process_runner.h"
#include "core/platform/regex.h"
#include "core/platform/system_error.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace qs {
namespace {

const std::filesystem::path kSystemCompiler = "/usr/bin/swift";

std::optional<std::string> firstCapture(const QSRegex& pattern, std::string_view text) {
  auto groups = pattern.firstMatch(text);
  if (!groups) return std::nullopt;
  return (*groups)[0];
}

std::vector<std::filesystem::path> extraRoots() {
  std::vector<std::filesystem::path> roots;
  const char* value = std::getenv("QS_TOOLCHAIN_DIRS");
  std::string_view rest = value ? value : "";
  while (!rest.empty()) {
    auto colon = rest.find(':');
    std::string_view entry = rest.substr(0, colon);
    if (!entry.empty()) roots.emplace_back(entry);
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
  }
  return roots;
}

// A root that cannot be listed (missing, no permission) simply has no toolchains.
std::vector<std::string> entriesOf(const std::filesystem::path& root) {
  try {
    return listDirectory(root);
  } catch (const QSSystemError&) {
    return {};
  }
}

}  // namespace

std::vector<std::filesystem::path> QSToolchainService::toolchainRoots() {
  std::vector<std::filesystem::path> roots{QSPaths::dataHome() / "swiftly" / "toolchains", "/opt/swift"};
  for (auto& root : extraRoots()) {
    // The same root named twice would list every toolchain twice.
    if (std::find(roots.begin(), roots.end(), root) == roots.end()) roots.push_back(std::move(root));
  }
  return roots;
}

std::optional<QSToolchain> QSToolchainService::toolchainInFolder(const std::filesystem::path& folder) {
  static const QSRegex versionPattern(R"((\d+\.\d+(?:\.\d+)?))");
  // A dangling link or a compiler we may not run is no usable toolchain.
  if (!isExecutableFile(folder / "usr" / "bin" / "swift")) return std::nullopt;
  std::string id = folder.filename().string();
  auto version = firstCapture(versionPattern, id);
  if (!version) return std::nullopt;
  return QSToolchain{id, *version, folder, false};
}

std::vector<QSToolchain> QSToolchainService::installedToolchains() const {
  std::vector<QSToolchain> toolchains;
  for (const auto& root : toolchainRoots()) {
    for (const auto& name : entriesOf(root)) {
      if (auto toolchain = toolchainInFolder(root / name)) toolchains.push_back(std::move(*toolchain));
    }
  }
  return toolchains;
}

namespace {

std::vector<int> versionNumbers(std::string_view version) {
  std::vector<int> numbers;
  while (!version.empty()) {
    auto dot = version.find('.');
    int value = 0;
    std::from_chars(version.data(), version.data() + std::min(dot, version.size()), value);
    numbers.push_back(value);
    version = dot == std::string_view::npos ? std::string_view{} : version.substr(dot + 1);
  }
  return numbers;
}

}  // namespace

std::optional<QSToolchain> QSToolchainService::newestInstalledToolchain() const {
  std::optional<QSToolchain> newest;
  for (auto& toolchain : installedToolchains()) {
    if (!newest || versionNumbers(toolchain.version) > versionNumbers(newest->version)) newest = std::move(toolchain);
  }
  return newest;
}

std::filesystem::path QSToolchainService::defaultCompilerPath() {
  if (isExecutableFile(kSystemCompiler)) return kSystemCompiler;
  return findExecutable("swift").value_or(kSystemCompiler);
}

std::optional<std::string> QSToolchainService::defaultVersion() {
  static const QSRegex versionLine(R"(Swift version (\d+\.\d+(?:\.\d+)?))");
  auto compiler = defaultCompilerPath();
  if (!isExecutableFile(compiler)) return std::nullopt;
  QSProcessOptions options;
  options.mergeErrorIntoOutput = true;
  try {
    return firstCapture(versionLine, runProcess({compiler.string(), "--version"}, options).output);
  } catch (const QSSystemError&) {
    return std::nullopt;
  }
}

std::vector<QSToolchain> QSToolchainService::discoverToolchains() const {
  std::vector<QSToolchain> toolchains;
  if (auto version = defaultVersion())
    toolchains.push_back({"default", *version, defaultCompilerPath().parent_path(), true});
  auto installed = installedToolchains();
  toolchains.insert(toolchains.end(), installed.begin(), installed.end());
  return toolchains;
}

std::optional<QSToolchain> QSToolchainService::selectToolchain(const std::optional<std::string>& version,
                                                               const std::vector<QSToolchain>& toolchains) {
  if (!version) return std::nullopt;
  for (const auto& toolchain : toolchains) {
    if (!toolchain.isDefault && toolchain.version == *version) return toolchain;
  }
  return std::nullopt;
}

std::optional<std::filesystem::path> QSToolchainService::toolchainPath(const std::optional<std::string>& version) const {
  if (!version) return std::nullopt;
  // The default entry is never selected, so there is no need to run the default compiler here.
  auto selected = selectToolchain(version, installedToolchains());
  if (!selected) return std::nullopt;
  return selected->path;
}

std::optional<std::filesystem::path> QSToolchainService::toolchainPath(const QSProject& project) const {
  auto pinned = QSSwiftVersionFile::read(project.path);
  return toolchainPath(pinned ? pinned : project.swiftVersion);
}

}  // namespace qs
