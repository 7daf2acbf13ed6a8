#include "support/test_support.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qs::testing {
namespace {

constexpr const char* kVariables[4] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "TMPDIR"};

}  // namespace

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

IsolatedHome::IsolatedHome() {
  for (int i = 0; i < 4; ++i) {
    if (const char* v = std::getenv(kVariables[i])) {
      had_[i] = true;
      saved_[i] = v;
    }
  }
  auto base = folder_.path();
  std::filesystem::create_directories(base / "tmp");
  ::setenv("HOME", base.c_str(), 1);
  ::setenv("XDG_DATA_HOME", (base / ".local/share").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (base / ".config").c_str(), 1);
  ::setenv("TMPDIR", (base / "tmp").c_str(), 1);
}

IsolatedHome::~IsolatedHome() {
  for (int i = 0; i < 4; ++i) {
    if (had_[i])
      ::setenv(kVariables[i], saved_[i].c_str(), 1);
    else
      ::unsetenv(kVariables[i]);
  }
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

}  // namespace qs::testing
