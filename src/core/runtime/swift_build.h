// One `swift build --product TARGET` of a project, run beside its server: output line by line to
// the caller, an exit that is awaited on the service loop, a time limit, and cancellation that
// ends the whole build (the compiler processes it started included).
#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace qs {

struct QSBuildRequest {
  std::filesystem::path swift;  // the toolchain's `swift`
  std::filesystem::path projectPath;
  std::string target;
  std::map<std::string, std::string> environment;  // set on top of this process's environment
  std::chrono::milliseconds limit{std::chrono::seconds(900)};
};

struct QSBuildOutcome {
  enum class Kind { succeeded, failed, timedOut, cancelled };
  Kind kind = Kind::failed;
  std::int32_t exitStatus = -1;  // the exit code (128 + signal for a signal); -1 when killed by us
};

class QSSwiftBuild : public std::enable_shared_from_this<QSSwiftBuild> {
public:
  using LineHandler = std::function<void(std::string)>;

  // Starts the build on `executor` (the service loop). Every line of its standard output and
  // standard error goes to `onLine` on the loop, in arrival order per stream. Throws
  // QSSystemError when the compiler or the folder is missing.
  static std::shared_ptr<QSSwiftBuild> start(asio::any_io_executor executor, const QSBuildRequest& request,
                                             LineHandler onLine);
  ~QSSwiftBuild();

  // Waits until the build has ended and its output has been read (or one second after its end,
  // if a process it left holds the pipes). At the time limit the build is ended (its process
  // group gets SIGTERM, then SIGKILL) and the outcome is timedOut; after cancel() it is cancelled.
  // Await it once.
  asio::awaitable<QSBuildOutcome> finished();

  // Ends the build now; finished() then reports cancelled. Safe to call more than once, and
  // after the build has ended.
  void cancel();

  std::int32_t pid() const;

private:
  struct State;
  explicit QSSwiftBuild(std::unique_ptr<State> state);
  void readPipe(int fd);

  std::unique_ptr<State> state_;
};

}  // namespace qs
