// Starting a long-lived background process that outlives its launcher and is nobody's zombie.
#pragma once

#include "core/platform/unique_fd.h"

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qs {

struct QSDetachedProcessOptions {
  std::filesystem::path executable;
  std::vector<std::string> arguments;  // after the program name, which is the executable's absolute path
  // Variables set on top of this process's environment (an existing key takes the new value).
  std::map<std::string, std::string> environment;
  // Standard output and standard error are appended to this file (created with mode 0644 when
  // missing; its folder must exist). When absent or it cannot be opened, they go to /dev/null.
  std::optional<std::filesystem::path> outputFile;
};

// A process started by spawnDetached. This process is not its parent, so it never becomes a
// zombie here; it is watched through a pidfd.
class QSDetachedProcess {
public:
  QSDetachedProcess(pid_t pid, UniqueFd pidfd) : pid_(pid), pidfd_(std::move(pidfd)) {}

  pid_t pid() const { return pid_; }
  // True once the process has ended. Does not wait.
  bool hasExited() const;

private:
  pid_t pid_;
  UniqueFd pidfd_;
};

// Runs `options.executable` in a session of its own, with standard input from /dev/null, its
// working folder at "/", default signal dispositions and an empty signal mask, and no
// descriptor of ours beyond 0-2. The process is started through a short-lived intermediate that
// this call reaps, so init (or the nearest subreaper) adopts it. Returns once the program has
// been executed. Throws QSSystemError ("spawn <path>: <reason>") when it cannot be started,
// including when the program itself cannot be executed.
QSDetachedProcess spawnDetached(const QSDetachedProcessOptions& options);

}  // namespace qs
