// Helpers for tests that run real child processes: reading their pipes, forking a child that
// reports through one, starting the listener helper under a chosen name, and waiting for a
// process to be gone.
#pragma once

#include "core/platform/child_process.h"
#include "support/test_support.h"
#include "support/test_locations.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace qs::testing {

// Reads a non-blocking descriptor until end of file, or until `stopAtNewline` and a line has
// come. Gives up (throwing) after 30 seconds of silence so a broken test cannot hang.
inline std::string readFromPipe(int fd, bool stopAtNewline = false) {
  std::string out;
  for (;;) {
    pollfd entry{fd, POLLIN, 0};
    int ready = ::poll(&entry, 1, 30000);
    if (ready == 0) throw std::runtime_error("no output within 30 s: " + out);
    if (ready < 0) continue;
    char buffer[4096];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) return out;
    if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
    if (stopAtNewline && out.find('\n') != std::string::npos) return out;
  }
}

// Runs `body` in a forked child whose standard output is a pipe, and returns what the child wrote
// there once it has ended. The child ends when `body` returns or throws, never going on with the
// test program; `body` may end it earlier with _exit, as a crash would.
inline std::string outputOfForkedChild(const std::function<void()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
  pid_t child = ::fork();
  if (child == 0) {
    ::dup2(fds[1], STDOUT_FILENO);
    try {
      body();
    } catch (...) {
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string out = readFromPipe(fds[0]);
  ::close(fds[0]);
  ::waitpid(child, nullptr, 0);
  return out;
}

// A copy of the listener helper named `name` in `folder`: its process carries that name.
inline std::filesystem::path listenerNamed(const std::filesystem::path& folder, const std::string& name) {
  auto copy = folder / name;
  std::filesystem::copy_file(std::filesystem::path(qs::testing::binFolder()) / "qs_test_listener", copy,
                             std::filesystem::copy_options::overwrite_existing);
  return copy;
}

struct RunningListener {
  std::shared_ptr<QSChildProcess> process;
  int port = 0;
};

// Starts a listener copy on `port` (0: any free port) and returns once it listens.
inline RunningListener startListener(const std::filesystem::path& program, int port,
                                     std::vector<std::string> flags = {}) {
  std::vector<std::string> arguments{std::to_string(port)};
  arguments.insert(arguments.end(), flags.begin(), flags.end());
  auto process = QSChildProcess::spawn({program, arguments, program.parent_path(), {}});
  auto output = process->takeStandardOutput();
  std::string line = readFromPipe(output.get(), true);
  if (line.rfind("listening ", 0) != 0) throw std::runtime_error("listener did not start: " + line);
  return {process, std::stoi(line.substr(10))};
}

// True when the process has no /proc entry or is a zombie (ended, not yet collected).
inline bool isGone(std::int32_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(stat, text)) return true;
  auto close = text.rfind(')');
  return close == std::string::npos || text.substr(close + 2, 1) == "Z";
}

// Checks `done` every 10 ms until it holds; false when it still does not after `patience`.
inline bool pollUntil(const std::function<bool()>& done, std::chrono::seconds patience) {
  auto deadline = std::chrono::steady_clock::now() + patience;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Polls until the process is gone; false when it still exists after `patience`.
inline bool waitUntilGone(std::int32_t pid, std::chrono::seconds patience = std::chrono::seconds(10)) {
  return pollUntil([pid] { return isGone(pid); }, patience);
}

// Polls until `process` has ended and reaps it; its exit status, or nothing when it still runs
// after `patience`.
inline std::optional<std::int32_t> reapWithin(QSChildProcess& process, std::chrono::seconds patience) {
  if (!pollUntil([&] { return process.reap().has_value(); }, patience)) return std::nullopt;
  return process.exitStatus();
}

}  // namespace qs::testing
