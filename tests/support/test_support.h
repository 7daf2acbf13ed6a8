// Shared helpers for the tests: temporary folders and an isolated HOME.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qs::testing {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it when dropped.
class TemporaryFolder {
public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
  std::filesystem::path path_;
};

// Sets environment variables (or, given nothing, removes them) for the lifetime of the object,
// and restores what they were afterwards.
class ScopedEnvironment {
public:
  explicit ScopedEnvironment(const std::map<std::string, std::optional<std::string>>& changes);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Points HOME, XDG_DATA_HOME, XDG_CONFIG_HOME and TMPDIR into a temporary folder for the
// lifetime of the object, and restores them afterwards.
class IsolatedHome {
public:
  IsolatedHome();
  const std::filesystem::path& home() const { return folder_.path(); }

private:
  TemporaryFolder folder_;
  ScopedEnvironment environment_;
};

// Writes a file (creating parent folders).
void writeTextFile(const std::filesystem::path& path, const std::string& text);
std::string readTextFile(const std::filesystem::path& path);
// Every folder and file below `top` by relative path: "/" for a folder, a file's bytes. Two
// snapshots compare equal when nothing below `top` changed.
std::map<std::string, std::string> treeSnapshot(const std::filesystem::path& top);

// Writes a minimal Vapor package named `name` into `folder`, and a .env when `dotenv` is given.
void writeVaporPackage(const std::filesystem::path& folder, const std::string& name, const std::string& dotenv = "");

// Where a test program looks for free ports for the servers it starts. Every band lies below the
// kernel's ephemeral range (32768 and up): a port picked there could be taken by any outgoing
// connection of another test between the check and the server's bind.
enum class PortBand { endToEnd = 10000, engine = 15000, databases = 20000, routing = 25000 };

// A port free now in `band`, not in `excluding`. Concurrent test processes start their search at
// different places of the band (by process id), so they rarely contend for one port.
int freeTestPort(PortBand band, const std::set<int>& excluding = {});

}  // namespace qs::testing
