// The backup scheduler with a clock of the test's own and real PostgreSQL snapshots: one run per
// due period, none after a restart before the interval has passed, the settings' floors.
#include "core/databases/backup_scheduler.h"
#include "core/databases/database_service.h"
#include "core/models/settings_catalogue.h"
#include "core/platform/settings.h"
#include "support/async_helpers.h"
#include "support/test_support.h"
#include "support/thrown_message.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
namespace keys = QSSettingsCatalogue;

class BackupSchedulerTest : public ::testing::Test {
protected:
  testing::IsolatedHome home;
  fs::path dataRoot = home.home() / "data";
  fs::path settingsFile = home.home() / "settings.json";
  QSDatabaseService databases{dataRoot};
  QSBackupService backups{QSServiceRegistry(dataRoot / "services.json"), home.home() / "Backups"};
  asio::io_context io;
  QSTimestamp clock = QSTimestamp(std::chrono::seconds(1'800'000'000));
  std::vector<QSDatabase> known;
  std::vector<std::string> logged;
  int runs = 0;

  void TearDown() override {
    testing::thrownMessage([&] { databases.stop(QSDatabaseType::postgresql); });  // not running: nothing to stop
  }

  QSBackupSchedulerOptions options() {
    QSBackupSchedulerOptions o;
    o.settingsFile = settingsFile;
    o.databases = [this] { return known; };
    o.backupAll = [this](std::vector<QSDatabase> list, std::size_t retention) -> asio::awaitable<void> {
      ++runs;
      snapshotAll(backups, list, retention, clock, [this](const std::string& line) { logged.push_back(line); });
      co_return;
    };
    o.now = [this] { return clock; };
    return o;
  }

  std::shared_ptr<QSBackupScheduler> scheduler() { return std::make_shared<QSBackupScheduler>(io.get_executor(), options()); }
  bool check(QSBackupScheduler& s) { return testing::runUntilDone(io, s.runIfDue()); }
  void set(const std::string& key, QSSettingValue value) { QSSettings(settingsFile).set(key, value); }
  std::size_t snapshots() { return known.empty() ? 0 : backups.backups(known.front()).size(); }
};

TEST_F(BackupSchedulerTest, OneSnapshotPerDuePeriodAndNoneAfterARestart) {
  if (!QSSystemEngines().isPresent(QSDatabaseType::postgresql)) GTEST_SKIP() << "PostgreSQL is not installed";
  QSDatabase db = QSDatabase::make("blog", QSDatabaseType::postgresql);
  db.username = "blog";
  db.password = "secret";
  known = {databases.provision(db).database, QSDatabase::make("notes", QSDatabaseType::sqlite)};
  auto first = scheduler();

  EXPECT_FALSE(check(*first));  // off by default
  set(keys::backupEnabled, true);
  set(keys::backupIntervalHours, 0LL);  // counts as one hour
  EXPECT_TRUE(check(*first));
  EXPECT_EQ(snapshots(), 1u);
  EXPECT_EQ(QSSettings(settingsFile).doubleValue(keys::backupLastRun), 1'800'000'000.0);

  clock += 59min;
  EXPECT_FALSE(check(*first));
  clock += 1min;  // the snapshot names hold seconds: each run needs a time of its own
  EXPECT_TRUE(check(*first));
  EXPECT_EQ(snapshots(), 2u);

  // A restart before the interval has passed takes nothing; after it, one.
  auto restarted = scheduler();
  clock += 30min;
  EXPECT_FALSE(check(*restarted));
  clock += 30min;
  EXPECT_TRUE(check(*restarted));
  EXPECT_EQ(snapshots(), 3u);

  // Retention applies at each run (values below 1 count as 1); a set-back clock is due at once.
  set(keys::backupRetention, -4LL);
  clock -= 24h;
  EXPECT_TRUE(check(*restarted));
  EXPECT_EQ(snapshots(), 1u);
  EXPECT_TRUE(logged.empty()) << logged.front();
}

TEST_F(BackupSchedulerTest, TheLoopChecksAtEachTickAndStops) {
  set(keys::backupEnabled, true);
  set(keys::backupIntervalHours, 2LL);
  auto o = options();
  o.tick = 1ms;
  // Every reading of the clock is an hour later: checks alternate between due and not due, and
  // the third run stops the loop.
  std::shared_ptr<QSBackupScheduler> s;
  o.now = [this] { return clock += 1h; };
  o.backupAll = [this, &s](std::vector<QSDatabase>, std::size_t retention) -> asio::awaitable<void> {
    EXPECT_EQ(retention, 7u);
    if (++runs == 3) s->stop();
    co_return;
  };
  s = std::make_shared<QSBackupScheduler>(io.get_executor(), o);
  s->start();
  s->start();  // a second start does not start a second loop
  EXPECT_TRUE(testing::runUntil(io, [&] { return !s->isRunning(); }));
  EXPECT_EQ(runs, 3);
}

}  // namespace
}  // namespace qs
