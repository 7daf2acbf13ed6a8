// The watches of the projects whose servers run in watch mode, one per project at most (see
// QSProjectWatch): started with an active server, ended when it stops, and forgotten when one
// ends by itself. While a watch builds, the server's record says so (its activity); a watch
// that is over leaves that cleared.
//
// Lives on the service loop, owned by the supervisor, which lends each watch its operations.
#pragma once

#include "core/engine/project_watch.h"
#include "core/engine/server_records.h"
#include "core/models/project.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include <map>
#include <memory>

namespace qs {

class QSServerWatches {
public:
  QSServerWatches(asio::any_io_executor executor, QSWatchOptions options, std::shared_ptr<QSServerRecords> records);
  ~QSServerWatches();

  // Begins watching the project's sources; a watch that cannot begin is not kept (it said why).
  void start(const QSProject& project, QSProjectWatch::Hooks hooks);
  // Ends the project's watch, waits until a build under way has exited, and clears the activity.
  asio::awaitable<void> stop(QSUUID projectID);
  // stop() for every watch.
  asio::awaitable<void> stopAll();
  // Ends the project's watch at once, without waiting for its build; false when there was none.
  bool end(const QSUUID& projectID);
  // The project's watch ended by itself: it is forgotten and the activity cleared.
  void ended(const QSUUID& projectID);
  bool isWatched(const QSUUID& projectID) const;

private:
  asio::any_io_executor executor_;
  QSWatchOptions options_;
  std::shared_ptr<QSServerRecords> records_;
  std::map<QSUUID, std::shared_ptr<QSProjectWatch>> watches_;
};

}  // namespace qs
