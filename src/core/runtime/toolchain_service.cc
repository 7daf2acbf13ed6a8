#include "core/runtime/toolchain_service.h"

#include "core/models/swift_version_file.h"
#include "core/platform/child_process.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/process_environment.h"
#include "core/platform/process_runner.h"
#include "core/platform/regex.h"
#include "core/platform/system_error.h"

#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <mutex>

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
  std::string value = environmentValue("QS_TOOLCHAIN_DIRS").value_or("");
  std::string_view rest = value;
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

// What identifies the build of a compiler on disk: its program and, beside it, the frontend
// that prints the version (following links, so a link moved to another toolchain is noticed).
// Installing or replacing either changes the inode, size or change time.
struct CompilerIdentity {
  struct File {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modified = 0, changed = 0;  // nanoseconds
    bool operator==(const File&) const = default;
  };
  File compiler, frontend;
  bool operator==(const CompilerIdentity&) const = default;
};

std::optional<CompilerIdentity::File> fileIdentity(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  auto nanoseconds = [](const timespec& t) { return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; };
  return CompilerIdentity::File{info.st_dev, info.st_ino, info.st_size, nanoseconds(info.st_mtim),
                                nanoseconds(info.st_ctim)};
}

std::optional<CompilerIdentity> compilerIdentity(const std::filesystem::path& compiler) {
  auto program = fileIdentity(compiler);
  if (!program) return std::nullopt;
  auto frontend = fileIdentity(compiler.parent_path() / "swift-frontend");
  return CompilerIdentity{*program, frontend.value_or(CompilerIdentity::File{})};
}

bool settled(const CompilerIdentity::File& file) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::int64_t nanoseconds = std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
  return nanoseconds - file.modified > 2'000'000'000;
}

// The versions compilers reported, by path, with the identity of the files that reported them:
// `swift --version` takes tens of milliseconds and is asked at every server start.
class CompilerVersions {
public:
  std::optional<std::string> find(const std::filesystem::path& compiler, const CompilerIdentity& identity) {
    std::lock_guard lock(mutex_);
    auto found = known_.find(compiler);
    if (found == known_.end() || !(found->second.identity == identity)) return std::nullopt;
    return found->second.version;
  }
  void remember(const std::filesystem::path& compiler, const CompilerIdentity& identity, const std::string& version) {
    std::lock_guard lock(mutex_);
    known_[compiler] = {identity, version};
  }

private:
  struct Known {
    CompilerIdentity identity;
    std::string version;
  };
  std::mutex mutex_;
  std::map<std::filesystem::path, Known> known_;
};

CompilerVersions& compilerVersions() {
  static CompilerVersions versions;
  return versions;
}

}  // namespace

std::vector<QSToolchainService::Root> QSToolchainService::toolchainRoots() {
  std::vector<Root> roots{{QSPaths::dataHome() / "swiftly" / "toolchains", "swiftly"}, {"/opt/swift", "/opt/swift"}};
  for (auto& folder : extraRoots()) {
    // The same root named twice would list every toolchain twice.
    auto same = [&](const Root& root) { return root.folder == folder; };
    if (std::none_of(roots.begin(), roots.end(), same)) roots.push_back({std::move(folder), "QS_TOOLCHAIN_DIRS"});
  }
  return roots;
}

std::optional<QSToolchain> QSToolchainService::toolchainInFolder(const std::filesystem::path& folder,
                                                                 const std::string& source) {
  static const QSRegex versionPattern(R"((\d+\.\d+(?:\.\d+)?))");
  auto compiler = folder / "usr" / "bin" / "swift";
  // A dangling link or a compiler we may not run is no usable toolchain.
  if (!isExecutableFile(compiler)) return std::nullopt;
  std::string id = folder.filename().string();
  auto version = firstCapture(versionPattern, id);
  if (!version) version = compilerVersion(compiler);
  if (!version) return std::nullopt;
  QSToolchain toolchain{id, *version, folder, false};
  if (!source.empty()) toolchain.source = source;
  return toolchain;
}

std::vector<QSToolchain> QSToolchainService::installedToolchains() const {
  std::vector<QSToolchain> toolchains;
  for (const auto& root : toolchainRoots()) {
    // A root that is itself a toolchain (/opt/swift/usr/bin/swift) has no toolchains inside.
    if (auto itself = toolchainInFolder(root.folder, root.source)) {
      toolchains.push_back(std::move(*itself));
      continue;
    }
    for (const auto& name : entriesOf(root.folder)) {
      if (auto toolchain = toolchainInFolder(root.folder / name, root.source))
        toolchains.push_back(std::move(*toolchain));
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

std::optional<std::string> QSToolchainService::defaultVersion() { return compilerVersion(defaultCompilerPath()); }

std::optional<std::string> QSToolchainService::compilerVersion(const std::filesystem::path& compiler) {
  static const QSRegex versionLine(R"(Swift version (\d+\.\d+(?:\.\d+)?))");
  if (!isExecutableFile(compiler)) return std::nullopt;
  // Asked again only when the files on disk are not the ones that answered before.
  auto identity = compilerIdentity(compiler);
  if (identity)
    if (auto known = compilerVersions().find(compiler, *identity)) return known;
  QSProcessOptions options;
  options.mergeErrorIntoOutput = true;
  std::optional<std::string> version;
  try {
    version = firstCapture(versionLine, runProcess({compiler.string(), "--version"}, options).output);
  } catch (const QSSystemError&) {
    return std::nullopt;
  }
  // A compiler that could not say its version is asked again next time, and so is one written
  // a moment ago: a second write within the file system's clock tick would leave it looking
  // the same.
  if (version && identity && compilerIdentity(compiler) == identity && settled(identity->compiler))
    compilerVersions().remember(compiler, *identity, *version);
  return version;
}

std::vector<QSToolchain> QSToolchainService::discoverToolchains() const {
  std::vector<QSToolchain> toolchains;
  auto compiler = defaultCompilerPath();
  if (auto version = compilerVersion(compiler)) {
    // Where a daemon started by the service manager found it tells whether its PATH was set up.
    std::string source = compiler == kSystemCompiler ? kSystemCompiler.string() : "PATH";
    toolchains.push_back({"default", *version, compiler.parent_path(), true, source});
  }
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

namespace qs {

std::optional<std::string> QSToolchainService::missingPinNote(const std::optional<std::string>& version) const {
  if (!version) return std::nullopt;
  auto installed = installedToolchains();
  if (selectToolchain(version, installed)) return std::nullopt;
  std::string list;
  for (const auto& toolchain : installed)
    list += (list.empty() ? "" : ", ") + toolchain.version + " (" + toolchain.path.string() + ")";
  std::string text = "Swift " + *version + " is pinned but not installed; installed: " +
                     (list.empty() ? std::string("none") : list) + ".";
  auto fallback = defaultVersion();
  return text + (fallback ? " Building with the default compiler, Swift " + *fallback + "."
                          : " Install it (with swiftly, or unpacked into /opt/swift) or pin an installed one.");
}

}  // namespace qs
