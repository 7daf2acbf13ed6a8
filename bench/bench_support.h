// What the benchmark programs share: a scratch home of their own, the real quaysided started on
// it, timing and medians, and a process's resident memory.
#pragma once

#include "core/platform/child_process.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace qs::bench {

using Clock = std::chrono::steady_clock;

inline double millisecondsOf(const std::function<void()>& work) {
  auto start = Clock::now();
  work();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A new private folder "<TMPDIR, else /tmp>/<prefix>-XXXXXX".
inline std::filesystem::path scratchFolder(const std::string& prefix) {
  const char* temporary = std::getenv("TMPDIR");
  std::string pattern = std::string(temporary && *temporary ? temporary : "/tmp") + "/" + prefix + "-XXXXXX";
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp " + pattern + " failed");
  return pattern;
}

// The variables that point Quayside (the daemon, qs, and this program) at `home` alone: its data
// in home/data, its settings in home/config.
inline std::map<std::string, std::string> homeEnvironment(const std::filesystem::path& home) {
  return {{"HOME", home.string()},
          {"XDG_DATA_HOME", (home / "data").string()},
          {"XDG_CONFIG_HOME", (home / "config").string()}};
}

// Sets homeEnvironment(home) in this process, so that what it starts inherits it.
inline void useHome(const std::filesystem::path& home) {
  for (const auto& [name, value] : homeEnvironment(home)) ::setenv(name.c_str(), value.c_str(), 1);
}

// The quaysided built beside this program, started on `home` with its socket and lock there.
inline std::shared_ptr<QSChildProcess> startDaemon(const std::filesystem::path& home) {
  std::filesystem::create_directories(home / "config/Quayside");
  auto daemon = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "quaysided";
  auto environment = homeEnvironment(home);
  environment["QS_DAEMON_SOCKET"] = (home / "daemon.sock").string();
  environment["QS_DAEMON_LOCK"] = (home / "owner.lock").string();
  return QSChildProcess::spawn({daemon, {}, home, environment});
}

// SIGTERM to the process group, SIGKILL when it is still there after 10 seconds.
inline void stopProcess(const std::shared_ptr<QSChildProcess>& process) {
  process->signalGroup(SIGTERM);
  for (int i = 0; i < 500 && !process->reap(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (process->isRunning()) process->signalGroup(SIGKILL), process->reap();
}

// VmRSS of the process in KB; 0 when unknown.
inline long residentKB(std::int32_t pid) {
  std::ifstream status(fmt::format("/proc/{}/status", pid));
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("VmRSS:")) return std::atol(line.c_str() + 6);
  return 0;
}

// CPU time the process has used so far (user and system, all its threads), in seconds; 0 when
// unknown.
inline double cpuSeconds(std::int32_t pid) {
  std::ifstream stat(fmt::format("/proc/{}/stat", pid));
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // The fields after the command name (which may hold spaces), from field 3 on.
  auto close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  unsigned long long user = 0, system = 0;
  for (int index = 3; fields >> field; ++index) {
    if (index == 14) user = std::stoull(field);
    if (index == 15) {
      system = std::stoull(field);
      break;
    }
  }
  return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

}  // namespace qs::bench
