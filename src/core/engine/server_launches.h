// The launched process of each project's server: reads its console into the server's record and
// reports its exit there, once the console has been read to its end. A launch that is stopped,
// replaced or forgotten is cancelled: its exit is not reported.
//
// Lives on the service loop, owned by the supervisor. The readers and exit monitors it starts
// may outlive it; they hold only a weak handle to it.
#pragma once

#include "core/engine/server_records.h"
#include "core/platform/unique_fd.h"
#include "core/platform/uuid.h"
#include "core/runtime/server_process_managing.h"

#include <asio/any_io_executor.hpp>

#include <cstdint>
#include <map>
#include <memory>

namespace qs {

class QSServerLaunches : public std::enable_shared_from_this<QSServerLaunches> {
public:
  QSServerLaunches(asio::any_io_executor executor, std::shared_ptr<QSServerRecords> records);
  ~QSServerLaunches();

  // Keeps `pid` as the project's current launch (cancel the previous one first).
  void add(const QSUUID& projectID, std::int32_t pid);
  // Reads the console of the project's current launch as lines and awaits its exit.
  void follow(const QSUUID& projectID, UniqueFd consolePipe, std::shared_ptr<QSTerminationStream> termination);
  // The project's launch is no longer followed: its exit is ignored.
  void cancel(const QSUUID& projectID);
  // cancel() for every launch.
  void cancelAll();
  // The process of each server that is building or running, with its project.
  std::map<std::int32_t, QSUUID> serverProcessIDs() const;

private:
  struct Launch;

  void startConsoleReader(UniqueFd pipe, std::shared_ptr<Launch> launch);
  void startExitMonitor(std::shared_ptr<QSTerminationStream> termination, std::shared_ptr<Launch> launch);
  void handleExit(const QSUUID& projectID, std::int32_t status);

  asio::any_io_executor executor_;
  std::shared_ptr<QSServerRecords> records_;
  // The current launch of each project; its exit is ignored once it is replaced or cancelled.
  std::map<QSUUID, std::shared_ptr<Launch>> launches_;
};

}  // namespace qs
