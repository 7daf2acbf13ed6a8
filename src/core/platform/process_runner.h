// Running a short-lived tool to completion and collecting what it printed.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qs {

struct QSProcessResult {
  int exitStatus = -1;  // the exit code, or 128 + signal number when a signal ended it
  std::string output;   // standard output (and standard error when merged)
  std::string errorOutput;
  bool succeeded() const { return exitStatus == 0; }
};

struct QSProcessOptions {
  std::optional<std::filesystem::path> workingDirectory;
  // Variables set on top of this process's environment (an existing key takes the new value).
  std::map<std::string, std::string> environment;
  // Variables removed from the inherited environment.
  std::vector<std::string> unsetEnvironment;
  bool mergeErrorIntoOutput = false;
  std::optional<std::string> input;  // written to standard input, which is then closed
  // The file read as standard input instead (for inputs too large to hold in memory). Throws
  // QSSystemError naming the file when it cannot be opened.
  std::optional<std::filesystem::path> inputFile;
  // The existing file standard output is written into, from its start and without truncating it,
  // instead of being captured (a file truncated to empty is flushed to disk when it is closed,
  // which costs a large dump much of its speed). Throws QSSystemError naming the file when it
  // cannot be opened.
  std::optional<std::filesystem::path> outputFile;
};

// Runs `arguments[0]` (an absolute path, or a name looked up on PATH) with the rest as its
// arguments, waits for it and returns its status and output. Blocks the calling thread: use it
// from the command-line tool, from tests, or on a worker thread, never on the service loop.
// Throws QSSystemError when the program cannot be started.
QSProcessResult runProcess(const std::vector<std::string>& arguments, const QSProcessOptions& options = {});

// The environment of this process with `set` applied and `unset` removed, as "KEY=value" entries.
std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& set,
                                           const std::vector<std::string>& unset = {});

// The absolute path of a program found on PATH; nothing when there is none.
std::optional<std::filesystem::path> findExecutable(const std::string& name);

}  // namespace qs
