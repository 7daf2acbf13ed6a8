// Automatic snapshots: every few minutes the scheduler reads the backup settings and, when
// snapshots are on and the interval has passed since the last run, snapshots every PostgreSQL
// and MySQL database and prunes each to the retention count. The last run's time is kept in the
// settings, so a restart does not bring an extra run before the interval has passed.
#pragma once

#include "core/databases/backup_service.h"
#include "core/models/database.h"
#include "core/platform/timestamp.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qs {

// Takes a snapshot of each supported database in `databases` and prunes its snapshots to
// `retention`, the snapshots named after `at`; a failing database is logged ("couldn't back up
// NAME: why") and the others still run. Returns how many snapshots were taken. Blocks while the
// tools run.
std::size_t snapshotAll(QSBackupService& service, const std::vector<QSDatabase>& databases, std::size_t retention,
                        QSTimestamp at, const std::function<void(const std::string&)>& log);

struct QSBackupSchedulerOptions {
  // The settings file holding qs.backupEnabled, qs.backupIntervalHours, qs.backupRetention and
  // qs.backupLastRun; read afresh at every check, so changes by other programs count.
  std::filesystem::path settingsFile;
  // The databases known now (called on the loop).
  std::function<std::vector<QSDatabase>()> databases;
  // Snapshots and prunes the databases with the given retention (snapshotAll, off the loop).
  std::function<asio::awaitable<void>(std::vector<QSDatabase>, std::size_t)> backupAll;
  std::function<void(const std::string&)> log;
  // Between checks.
  std::chrono::steady_clock::duration tick = std::chrono::minutes(5);
  std::function<QSTimestamp()> now = [] { return QSTime::now(); };
};

class QSBackupScheduler : public std::enable_shared_from_this<QSBackupScheduler> {
public:
  QSBackupScheduler(asio::any_io_executor loop, QSBackupSchedulerOptions options);

  // Starts the checking loop unless it runs already: wait one tick, check, repeat.
  void start();
  // Ends the loop at its next wait (a run under way finishes first).
  void stop();
  bool isRunning() const { return running_; }

  // One check: when snapshots are on and now - qs.backupLastRun is at least the interval
  // (qs.backupIntervalHours hours, at least 1, 24 when absent), runs backupAll with the
  // retention (qs.backupRetention, at least 1, 7 when absent) and then stores the time in
  // qs.backupLastRun. A last run stored in the future (the clock was set back) counts as due.
  // True when it ran.
  asio::awaitable<bool> runIfDue();

private:
  asio::awaitable<void> loop();
  void log(const std::string& line) const;

  QSBackupSchedulerOptions options_;
  asio::steady_timer timer_;
  bool running_ = false;
  bool stopped_ = false;
};

}  // namespace qs
