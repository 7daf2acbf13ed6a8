#include "support/test_support.h"

#include "core/runtime/port_scanner.h"

#include <cstdlib>
#include <unistd.h>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qs::testing {

TemporaryFolder::TemporaryFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/qs-test-XXXXXX";
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ScopedEnvironment::ScopedEnvironment(const std::map<std::string, std::optional<std::string>>& changes) {
  for (const auto& [name, value] : changes) {
    const char* old = std::getenv(name.c_str());
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value)
      ::setenv(name.c_str(), value->c_str(), 1);
    else
      ::unsetenv(name.c_str());
  }
}

ScopedEnvironment::~ScopedEnvironment() {
  for (const auto& [name, value] : saved_) {
    if (value)
      ::setenv(name.c_str(), value->c_str(), 1);
    else
      ::unsetenv(name.c_str());
  }
}

IsolatedHome::IsolatedHome()
    : environment_({{"HOME", folder_.path().string()},
                    {"XDG_DATA_HOME", (folder_ / ".local/share").string()},
                    {"XDG_CONFIG_HOME", (folder_ / ".config").string()},
                    {"TMPDIR", (folder_ / "tmp").string()}}) {
  std::filesystem::create_directories(folder_ / "tmp");
}

void writeTextFile(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::string readTextFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::map<std::string, std::string> treeSnapshot(const std::filesystem::path& top) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(top))
    tree[entry.path().lexically_relative(top).string()] = entry.is_directory() ? "/" : readTextFile(entry.path());
  return tree;
}

void writeVaporPackage(const std::filesystem::path& folder, const std::string& name, const std::string& dotenv) {
  writeTextFile(folder / "Package.swift",
                "// swift-tools-version:5.9\nimport PackageDescription\n\nlet package = Package(\n    name: \"" + name +
                    "\",\n    dependencies: [.package(url: \"https://github.com/vapor/vapor.git\", from: \"4.115.0\")],\n"
                    "    targets: [.executableTarget(name: \"App\", dependencies: [.product(name: \"Vapor\", package: "
                    "\"vapor\")])]\n)\n");
  if (!dotenv.empty()) writeTextFile(folder / ".env", dotenv);
}

int freeTestPort(PortBand band, const std::set<int>& excluding) {
  // 400 starts 10 apart, each search at most 500 long: a band spans 4,500 ports.
  int start = static_cast<int>(band) + static_cast<int>(::getpid() % 400) * 10;
  return QSPortScanner().availablePort(start, excluding, 500);
}

}  // namespace qs::testing
