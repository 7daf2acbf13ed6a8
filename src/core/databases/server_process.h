// The server process of an engine that runs as its owner's child (MySQL, Redis): the one this
// instance started, and the one an earlier owner left running that the engine's pid file names
// (adopted instead of started again).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qs {

class QSChildProcess;

class QSServerProcess {
public:
  QSServerProcess();
  ~QSServerProcess();

  // Keeps the server this instance has just started.
  void record(std::shared_ptr<QSChildProcess> process) { process_ = std::move(process); }
  // Forgets the recorded server without ending it (one that has already gone).
  void forget() { process_.reset(); }
  // Whether the recorded server still runs.
  bool isRunning() const;
  // The recorded server's id, whether it still runs or not.
  std::optional<std::int32_t> pid() const;
  // Ends the recorded server and forgets it: SIGTERM first when `politely` (a clean shutdown
  // for both MySQL and Redis), SIGKILL when it has not gone within 30 seconds.
  void end(bool politely);

private:
  std::shared_ptr<QSChildProcess> process_;
};

// The server that `pidFile` names, when a process of this user called one of `names` has that
// id; nothing when there is none.
std::optional<std::int32_t> adoptedServer(const std::filesystem::path& pidFile, const std::vector<std::string>& names);

}  // namespace qs
