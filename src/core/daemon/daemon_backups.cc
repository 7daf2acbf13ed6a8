#include "core/daemon/daemon_backups.h"

#include "core/databases/backup_service.h"
#include "core/engine/off_loop.h"
#include "core/platform/paths.h"

#include <map>

namespace qs {
namespace {
struct Done {};
}  // namespace

QSDaemonBackups::QSDaemonBackups(asio::any_io_executor loop, std::shared_ptr<QSDaemonService> engine,
                                 std::shared_ptr<QSDatabaseServiceAdapter> databases,
                                 std::function<void(const std::string&)> log) {
  QSBackupSchedulerOptions options;
  options.settingsFile = QSPaths::configFolder() / "settings.json";
  options.log = log;
  options.databases = [engine] { return engine->configuration().databases; };
  options.backupAll = [this, loop, databases, log](std::vector<QSDatabase> list,
                                                   std::size_t retention) -> asio::awaitable<void> {
    // Where each engine listens, asked of the instance that runs them (another would not know
    // a MySQL it did not start is running).
    std::map<QSDatabaseType, int> ports;
    for (auto type : {QSDatabaseType::postgresql, QSDatabaseType::mysql}) ports[type] = co_await databases->clusterPort(type);
    auto work = [list, retention, ports, log] {
      QSBackupService service(QSServiceRegistry(QSServiceRegistry::defaultFile()), QSBackupService::rootDirectory(),
                              [ports](QSDatabaseType type) { return ports.at(type); });
      snapshotAll(service, list, retention, QSTime::now(), log);
      return Done{};
    };
    co_await runOffLoop(worker_, loop, work);
  };
  scheduler_ = std::make_shared<QSBackupScheduler>(loop, std::move(options));
}

QSDaemonBackups::~QSDaemonBackups() {
  scheduler_->stop();
  worker_.join();
}

}  // namespace qs
