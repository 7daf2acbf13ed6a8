// Tests that run the machine's real Swift toolchain. Without one they are skipped and say why,
// so a machine without Swift still passes.
#pragma once

#include "core/platform/file_status.h"
#include "core/platform/process_runner.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qs::testing {

// The real `swift`: /opt/swift/usr/bin/swift, else the first on PATH.
inline std::optional<std::filesystem::path> realSwift() {
  if (isExecutableFile("/opt/swift/usr/bin/swift")) return std::filesystem::path("/opt/swift/usr/bin/swift");
  return findExecutable("swift");
}

#define QS_REQUIRE_SWIFT()                                                                          \
  do {                                                                                              \
    if (!::qs::testing::realSwift())                                                                \
      GTEST_SKIP() << "no Swift toolchain on this machine (looked for /opt/swift/usr/bin/swift and " \
                      "swift on PATH); install one to run the real-toolchain tests";                \
  } while (0)

// `swiftc -parse` over `files` (syntax only: no module is imported). The compiler's complaints,
// empty when every file parses.
inline std::string swiftParseErrors(const std::vector<std::filesystem::path>& files) {
  auto swiftc = realSwift()->parent_path() / "swiftc";
  std::vector<std::string> command{swiftc.string(), "-parse"};
  for (const auto& file : files) command.push_back(file.string());
  QSProcessOptions options;
  options.mergeErrorIntoOutput = true;
  auto result = runProcess(command, options);
  return result.exitStatus == 0 ? std::string() : "exit " + std::to_string(result.exitStatus) + ":\n" + result.output;
}

// Every .swift file under `folder`, in a stable order.
inline std::vector<std::filesystem::path> swiftFilesUnder(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    if (entry.is_regular_file() && entry.path().extension() == ".swift") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace qs::testing
