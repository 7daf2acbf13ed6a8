// Long-running child processes (servers, database engines): started with posix_spawn, output on
// two pipes, exit awaited on the service loop through a pidfd.
#pragma once

#include "core/platform/file_status.h"  // isExecutableFile

#include "core/platform/unique_fd.h"

#include <asio/awaitable.hpp>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qs {

struct QSChildLaunch {
  std::filesystem::path executable;       // absolute path; also the child's argv[0]
  std::vector<std::string> arguments;     // the arguments after argv[0]
  std::filesystem::path workingDirectory;
  // Set on top of this process's whole environment (an existing key takes the new value).
  std::map<std::string, std::string> environment;
  // When set, standard output and standard error are appended to this file (created with mode
  // 0600) instead of going to pipes, and the take… functions return empty descriptors: for
  // engines that nobody reads from, whose full pipe would otherwise stall them.
  std::optional<std::filesystem::path> outputFile;
  // When set, standard error shares standard output's pipe, so a reader sees the lines in the
  // order the child wrote them (two pipes ready at once are read in no particular order), and
  // takeStandardError() returns an empty descriptor.
  bool combineOutput = false;
};

// One child process. The child runs with standard input from /dev/null (a server has no use for
// the daemon's input), standard output and standard error on two new pipes, in a process group
// of its own (so that a stop reaches the helpers it starts), with default signal dispositions
// and an empty signal mask (the daemon ignores SIGPIPE; its children must not), and without any
// of this process's other descriptors.
//
// Exit status, everywhere below: the exit code, or 128 + the signal number when a signal ended
// the child (143 for SIGTERM, 137 for SIGKILL); -1 when it could not be learned (someone else
// reaped the child).
class QSChildProcess {
public:
  // Starts the child. Throws QSSystemError naming the folder when the working directory is
  // missing ("chdir /path: No such file or directory"), and naming the executable when it
  // cannot be run ("spawn /path/usr/bin/swift: No such file or directory").
  static std::shared_ptr<QSChildProcess> spawn(const QSChildLaunch& launch);

  ~QSChildProcess();
  QSChildProcess(const QSChildProcess&) = delete;
  QSChildProcess& operator=(const QSChildProcess&) = delete;

  std::int32_t pid() const { return pid_; }

  // The parent's ends of the output pipes (close-on-exec, non-blocking). Each can be taken
  // once; later calls return an empty descriptor.
  UniqueFd takeStandardOutput() { return std::move(stdout_); }
  UniqueFd takeStandardError() { return std::move(stderr_); }

  // True until the child has ended (an ended but not yet reaped child counts as ended).
  bool isRunning() const;

  // Sends `sig` to the child alone, through its pidfd, so it can never reach a process that
  // later reuses the id. False when the child has gone.
  bool signal(int sig) const;

  // Sends `sig` to the child's process group (the child and everything it started that stayed
  // in the group). False when the group has no members left.
  bool signalGroup(int sig) const;

  // Reaps the child when it has ended and returns its exit status; nothing while it runs.
  // After the first success the status is remembered and returned again.
  std::optional<std::int32_t> reap();

  // The status once reaped.
  std::optional<std::int32_t> exitStatus() const { return status_; }

  // Waits on the caller's executor until the child ends (the pidfd turns readable), reaps it
  // and returns its status. Never blocks the loop. Keep the object alive while waiting.
  asio::awaitable<std::int32_t> waitForExit();

private:
  QSChildProcess(std::int32_t pid, UniqueFd pidfd, UniqueFd out, UniqueFd err);

  std::int32_t pid_;
  UniqueFd pidfd_;
  UniqueFd stdout_;
  UniqueFd stderr_;
  std::optional<std::int32_t> status_;
};

// A handle on any process (not only our children), through which signals can never reach a
// process that later reuses the id. Empty when the process has already gone.
UniqueFd openProcessHandle(std::int32_t pid);

// Sends `sig` through a handle from openProcessHandle; signal 0 only probes. True when the
// process still existed.
bool signalProcessHandle(const UniqueFd& handle, int sig);

// Sends `sig` to every member of process group `groupID`; signal 0 only probes. True when the
// group still had members. Refuses (false) group ids below 2 and this process's own group.
bool signalProcessGroup(std::int32_t groupID, int sig);

}  // namespace qs
