#include "core/databases/backup_scheduler.h"

#include "core/models/settings_catalogue.h"
#include "core/platform/settings.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>

#include <algorithm>

namespace qs {
namespace {

namespace keys = QSSettingsCatalogue;

double secondsSince1970(QSTimestamp t) {
  return std::chrono::duration<double>(t.time_since_epoch()).count();
}

}  // namespace

std::size_t snapshotAll(QSBackupService& service, const std::vector<QSDatabase>& databases, std::size_t retention,
                        QSTimestamp at, const std::function<void(const std::string&)>& log) {
  std::size_t taken = 0;
  for (const auto& database : databases) {
    if (!QSBackupService::supports(database.type)) continue;
    try {
      service.backup(database, at);
      ++taken;
      service.prune(database, retention);
    } catch (const std::exception& e) {
      if (log) log("quaysided: couldn't back up " + database.name + ": " + e.what());
    }
  }
  return taken;
}

QSBackupScheduler::QSBackupScheduler(asio::any_io_executor loop, QSBackupSchedulerOptions options)
    : options_(std::move(options)), timer_(loop) {}

void QSBackupScheduler::log(const std::string& line) const {
  if (options_.log) options_.log(line);
}

void QSBackupScheduler::start() {
  if (running_) return;
  running_ = true;
  stopped_ = false;
  asio::co_spawn(timer_.get_executor(), [self = shared_from_this()] { return self->loop(); }, asio::detached);
}

void QSBackupScheduler::stop() {
  stopped_ = true;
  timer_.cancel();
}

asio::awaitable<void> QSBackupScheduler::loop() {
  while (!stopped_) {
    timer_.expires_after(options_.tick);
    asio::error_code error;
    co_await timer_.async_wait(asio::redirect_error(asio::use_awaitable, error));
    if (error || stopped_) break;
    try {
      co_await runIfDue();
    } catch (const std::exception& e) {
      log(std::string("quaysided: automatic backups failed: ") + e.what());
    }
  }
  running_ = false;
}

asio::awaitable<bool> QSBackupScheduler::runIfDue() {
  QSSettings settings(options_.settingsFile);
  keys::registerDefaults(settings);
  if (!settings.boolValue(keys::backupEnabled)) co_return false;
  double interval = static_cast<double>(std::max(1LL, settings.intValue(keys::backupIntervalHours))) * 3600.0;
  double lastRun = settings.doubleValue(keys::backupLastRun);
  double now = secondsSince1970(options_.now());
  // A last run "in the future" means the clock was set back: waiting for it would stop
  // snapshots for as long as the clock was wrong.
  if (now - lastRun < interval && lastRun <= now) co_return false;
  auto retention = static_cast<std::size_t>(std::max(1LL, settings.intValue(keys::backupRetention)));
  std::vector<QSDatabase> databases = options_.databases ? options_.databases() : std::vector<QSDatabase>{};
  co_await options_.backupAll(std::move(databases), retention);
  // Read again: another program may have changed a setting while the snapshots ran.
  QSSettings latest(options_.settingsFile);
  latest.set(keys::backupLastRun, secondsSince1970(options_.now()));
  co_return true;
}

}  // namespace qs
