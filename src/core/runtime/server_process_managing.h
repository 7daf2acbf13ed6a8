// The seam through which the engine launches and stops project servers, and what a launch hands
// back: the server's output pipes and a stream that delivers its exit status.
#pragma once

#include "core/platform/unique_fd.h"
#include "core/platform/uuid.h"

#include <asio/awaitable.hpp>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace qs {

// Delivers one process's exit status exactly once, then ends. One consumer; producer and
// consumer run on the same executor (the service loop).
class QSTerminationStream {
public:
  explicit QSTerminationStream(asio::any_io_executor executor);
  ~QSTerminationStream();
  QSTerminationStream(const QSTerminationStream&) = delete;
  QSTerminationStream& operator=(const QSTerminationStream&) = delete;

  // Waits for the status and returns it the first time; returns nothing on every later call,
  // and when the stream was closed without a status. The status is the exit code, or 128 + the
  // signal number when a signal ended the process.
  asio::awaitable<std::optional<std::int32_t>> next();

  // Producer side: delivers the status and ends the stream. Only the first call counts.
  void deliver(std::int32_t status);
  // Producer side: ends the stream without a status (the wait for the process was abandoned).
  void finish();

private:
  struct State;
  std::unique_ptr<State> state_;
};

// What a launch hands to the caller, who reads the pipes and consumes the stream.
struct QSLaunchedServer {
  // The read end (close-on-exec, non-blocking) of the one pipe that carries both standard output
  // and standard error, in the order the server wrote them.
  UniqueFd consolePipe;
  std::int32_t pid = 0;
  std::shared_ptr<QSTerminationStream> termination;
};

class QSServerProcessManaging {
public:
  virtual ~QSServerProcessManaging() = default;

  // Starts the project's server (`swift run TARGET serve --hostname 0.0.0.0 --port PORT` in the
  // project folder, with `environment` set on top of the owner's environment), first stopping a
  // server of the same project that still runs. With `skipBuild`, the product a separate
  // `swift build` made is run as it is: the built program itself when it is there, else
  // `swift run --skip-build …`. Throws QSSystemError when it cannot be started.
  virtual asio::awaitable<QSLaunchedServer> launchServer(QSUUID projectID, std::filesystem::path projectPath,
                                                         std::string executableTarget, int port,
                                                         std::optional<std::filesystem::path> toolchainPath,
                                                         std::map<std::string, std::string> environment,
                                                         bool skipBuild) = 0;

  // Stops the project's server (gently, then forcibly) and anything left listening on its port
  // under its executable's name. Does nothing for an unknown project. Never throws.
  virtual asio::awaitable<void> stopServer(QSUUID projectID) = 0;

  // Stops every server started here, all at once; for shutdown. Never throws.
  virtual asio::awaitable<void> stopAll() = 0;

  // Stops servers of the project at `projectPath` that an earlier owner left running on `port`
  // (it crashed). Never throws.
  virtual asio::awaitable<void> stopLeftovers(std::filesystem::path projectPath, int port) = 0;
};

}  // namespace qs
