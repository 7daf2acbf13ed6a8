// The one way this system starts a program: posix_spawn with the child's descriptors, signals
// and group set up the same way for servers, tools and detached daemons.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <spawn.h>
#include <string>
#include <vector>

namespace qs {

struct QSSpawnPlan {
  std::filesystem::path program;        // absolute path of the program to execute
  std::vector<std::string> arguments;   // the whole argument vector, program name first
  std::vector<std::string> environment; // "KEY=value" entries, the child's entire environment
  // This process's descriptors that become the child's standard input, output and error (the
  // same descriptor may serve two of them).
  int input = -1;
  int output = -1;
  int error = -1;
  std::optional<std::filesystem::path> workingDirectory;
  bool newProcessGroup = false;  // the child leads a process group of its own
  bool newSession = false;       // the child leads a session of its own (no controlling terminal)
};

// A start prepared in full, so that starting allocates nothing. Every child starts with default
// dispositions for every signal and an empty signal mask (whatever this process ignores or
// blocks, such as SIGPIPE, or a worker thread's mask), and with no descriptor of ours beyond its
// standard three, even ones opened without close-on-exec.
class QSPreparedSpawn {
public:
  explicit QSPreparedSpawn(QSSpawnPlan plan);
  ~QSPreparedSpawn();
  QSPreparedSpawn(const QSPreparedSpawn&) = delete;
  QSPreparedSpawn& operator=(const QSPreparedSpawn&) = delete;

  // Starts the program; 0 with `pid` set, or the error number (a program that cannot be executed
  // gives its exec error). Allocates nothing, so a forked child of this multi-threaded process
  // may call it.
  int start(pid_t& pid) const noexcept;

  // start(), throwing QSSystemError "spawn PROGRAM: reason" on failure.
  pid_t startOrThrow() const;

  const QSSpawnPlan& plan() const { return plan_; }

private:
  QSSpawnPlan plan_;
  std::vector<char*> argv_;
  std::vector<char*> envp_;
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
};

}  // namespace qs
