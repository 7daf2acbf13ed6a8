// The daemon's automatic database snapshots: the scheduler over the engine's databases, with the
// dumps run on a thread of their own so the service loop never waits for them.
#pragma once

#include "core/databases/backup_scheduler.h"
#include "core/engine/daemon_service.h"
#include "core/engine/database_service_adapter.h"

#include <asio/thread_pool.hpp>

#include <functional>
#include <memory>
#include <string>

namespace qs {

class QSDaemonBackups {
public:
  // Snapshots go to the standard backups folder; engine ports come from `databases` (the same
  // instance that runs the engines), the settings from settings.json.
  QSDaemonBackups(asio::any_io_executor loop, std::shared_ptr<QSDaemonService> engine,
                  std::shared_ptr<QSDatabaseServiceAdapter> databases, std::function<void(const std::string&)> log);
  // Waits for a snapshot under way to finish.
  ~QSDaemonBackups();

  void start() { scheduler_->start(); }
  void stop() { scheduler_->stop(); }
  // Waits for a snapshot under way to finish.
  void waitForBlockingWork() { worker_.join(); }

private:
  asio::thread_pool worker_{1};
  std::shared_ptr<QSBackupScheduler> scheduler_;
};

}  // namespace qs
