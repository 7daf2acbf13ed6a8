// What the publishing tests share: running a coroutine to its end, catching the publish error
// it throws, and listing an archive with the real archivers.
#pragma once

#include "core/platform/process_runner.h"
#include "support/async_helpers.h"
#include "support/test_support.h"
#include "support/thrown_message.h"

#include <asio/io_context.hpp>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace qs::publishtest {

template <class T>
T run(asio::awaitable<T> op) {
  asio::io_context io;
  return testing::runUntilDone(io, std::move(op));
}

// The message of the exception `op` throws; "no exception" when it succeeds.
template <class T>
std::string failureOf(asio::awaitable<T> op) {
  return testing::thrownMessage([&] { run(std::move(op)); });
}

// The entry names an archiver lists, one a line, sorted, without "./" and trailing slashes.
inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("./", 0) == 0) line.erase(0, 2);
    if (!line.empty() && line.back() == '/') line.pop_back();
    if (!line.empty()) out.push_back(line);
  }
  std::sort(out.begin(), out.end());
  return out;
}

inline std::vector<std::string> tarEntries(const std::filesystem::path& archive) {
  return lines(runProcess({"/usr/bin/tar", "-tzf", archive.string()}).output);
}

inline std::vector<std::string> zipEntries(const std::filesystem::path& archive) {
  return lines(runProcess({"/usr/bin/zipinfo", "-1", archive.string()}).output);
}

// A Vapor project with build products, version control and a link that points out of it.
inline void writeProjectWithClutter(const std::filesystem::path& folder, const std::filesystem::path& outside) {
  testing::writeVaporPackage(folder, "blog");
  testing::writeTextFile(folder / "Sources/App/configure.swift", "import Vapor\n");
  testing::writeTextFile(folder / ".build/debug/App", "binary");
  testing::writeTextFile(folder / ".git/HEAD", "ref: refs/heads/main\n");
  testing::writeTextFile(folder / ".swiftpm/config", "x");
  testing::writeTextFile(folder / "Modules/Kit/.build/cache", "x");
  testing::writeTextFile(folder / "Modules/Kit/.DS_Store", "x");
  testing::writeTextFile(folder / "Modules/Kit/Package.swift", "// kit\n");
  testing::writeTextFile(outside, "secret");
  std::filesystem::create_directories(folder / "Public");
  std::filesystem::create_symlink(outside, folder / "Public/secret.txt");
}

// What every archive of writeProjectWithClutter holds.
inline const std::vector<std::string> kProjectEntries{
    "Modules", "Modules/Kit", "Modules/Kit/Package.swift", "Package.swift", "Public", "Public/secret.txt",
    "Sources", "Sources/App", "Sources/App/configure.swift"};

}  // namespace qs::publishtest
