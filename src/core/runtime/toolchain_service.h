// Installed Swift toolchains and the choice of the one that builds a project.
//
// Toolchains live in folders that hold `usr/bin/swift`: swiftly's `$XDG_DATA_HOME/swiftly/toolchains`,
// `/opt/swift`, and every folder listed in the colon-separated `QS_TOOLCHAIN_DIRS` are search roots.
// A root that holds `usr/bin/swift` itself is one toolchain (a tarball unpacked into /opt/swift);
// otherwise each of its subfolders that does is one. A folder's name is its id and usually carries
// its version ("swift-6.0.3-RELEASE-ubuntu22.04" is 6.0.3); when it does not, the version is what
// its `swift --version` says. The default compiler is `/usr/bin/swift`, else the first `swift` on
// PATH; it is used whenever no installed toolchain matches a project's pin.
//
// Discovery reads folders and may run the default compiler: it blocks. Callers on the service loop
// run it on a worker thread, or accept a short stall (it is a few directory listings and, for
// discoverToolchains() only, one `swift --version`).
#pragma once

#include "core/models/project.h"
#include "core/models/toolchain.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qs {

class QSToolchainService {
public:
  // Every toolchain: the default one first (id "default", path = the default compiler's folder,
  // isDefault) when the default compiler reports a version, then the installed ones, root by root
  // in the order above, each root's folders in the order the system lists them.
  std::vector<QSToolchain> discoverToolchains() const;

  // The installed toolchains only (never the default entry). Runs a compiler only for a folder
  // whose name carries no version.
  std::vector<QSToolchain> installedToolchains() const;

  // The installed toolchain with the highest version (compared number by number, so 6.10 is
  // newer than 6.9); the first found among equals; nothing when none is installed.
  std::optional<QSToolchain> newestInstalledToolchain() const;

  // The root folder of the installed toolchain whose version is exactly `version`; nothing when
  // there is no version or no such toolchain (the default compiler is then used).
  std::optional<std::filesystem::path> toolchainPath(const std::optional<std::string>& version) const;

  // As above for the project's pin: its `.swift-version` file first, else its stored swiftVersion.
  std::optional<std::filesystem::path> toolchainPath(const QSProject& project) const;

  // The first toolchain in `toolchains` that is not the default one and whose version equals
  // `version` exactly ("6.0" does not pick 6.0.3); nothing without a version.
  static std::optional<QSToolchain> selectToolchain(const std::optional<std::string>& version,
                                                    const std::vector<QSToolchain>& toolchains);

  // The compiler used when a project has no toolchain of its own: /usr/bin/swift when it is
  // executable, else the first `swift` on PATH, else /usr/bin/swift (whose launch then fails
  // with a message naming it).
  static std::filesystem::path defaultCompilerPath();

  // The version that `<default compiler> --version` reports ("Swift version 6.0.3 (…)"); nothing
  // when it cannot be run or says no version.
  static std::optional<std::string> defaultVersion();
  // The version `COMPILER --version` reports; nothing when it cannot be run or says none. A
  // compiler is run once: its answer is kept until its program or its `swift-frontend` is
  // changed or replaced (one written in the last two seconds is asked every time).
  static std::optional<std::string> compilerVersion(const std::filesystem::path& compiler);

  struct Root {
    std::filesystem::path folder;
    std::string source;  // what QSToolchain::source says of the toolchains found here
  };
  // The folders searched for toolchains, in search order (they need not exist).
  static std::vector<Root> toolchainRoots();

  // The toolchain in `folder`: nothing when it holds no executable usr/bin/swift, or neither its
  // name nor its compiler's --version gives a version.
  static std::optional<QSToolchain> toolchainInFolder(const std::filesystem::path& folder,
                                                      const std::string& source = {});

  // What a project pinned to `version` is told when no installed toolchain has it: the versions
  // that are installed and what builds it instead. Nothing when the pin is installed (or absent).
  std::optional<std::string> missingPinNote(const std::optional<std::string>& version) const;
};

}  // namespace qs
