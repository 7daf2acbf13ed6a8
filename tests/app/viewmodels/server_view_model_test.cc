// The server view model on a clock the test controls: console ingestion, the proxy merge, the daemon's
// disappearance, cold builds and package updates with the test toolchain's `swift package update`.
#include "app/viewmodels/package_updater.h"
#include "app/viewmodels/server_view_model.h"
#include "support/test_locations.h"
#include "support/test_support.h"

#include <QSignalSpy>
#include <QTest>

using namespace qs;
using namespace qs::testing;
using namespace std::chrono_literals;

namespace {

// A clock that stands still until the test moves it, and timers that fire when the test says.
struct TestClock {
  QSTimestamp now = QSTimestamp(std::chrono::milliseconds(1'800'000'000'000));
  std::deque<std::pair<std::chrono::milliseconds, std::function<void()>>> timers;

  QSViewModelClock clock() {
    return {.now = [this] { return now; },
            .after = [this](std::chrono::milliseconds delay, QObject*, std::function<void()> work) {
              timers.emplace_back(delay, std::move(work));
            }};
  }
  void fireTimers() {
    auto due = std::move(timers);
    for (auto& [delay, work] : due) work();
  }
};

QSServer serverWith(QSServerStatus status) {
  QSServer s;
  s.status = status;
  s.port = 8080;
  return s;
}

}  // namespace

class ServerViewModelTest : public QObject {
  Q_OBJECT
private slots:
  void consoleLinesMoveTheServerThroughTheBuild() {
    TestClock clock;
    QSServerViewModel model(QSUUID::random(), clock.clock());
    // A stopped server's console may still print (the daemon's last lines): no state from them.
    model.ingestConsoleLine("[ NOTICE ] Server started on http://0.0.0.0:8080");
    QCOMPARE(model.server().status, QSServerStatus::stopped);
    model.setServer(serverWith(QSServerStatus::starting));
    QSignalSpy changed(&model, &QSServerViewModel::serverChanged);
    model.ingestConsoleLine("Fetching https://github.com/vapor/vapor.git");
    QCOMPARE(model.server().status, QSServerStatus::building);
    QCOMPARE(model.buildProgress(), QString("Fetching dependencies…"));
    QVERIFY(model.isResolvingDependencies());
    model.ingestConsoleLine("[12/340] Compiling Vapor Application.swift");
    QCOMPARE(model.buildProgress(), QString("Compiling [12/340]"));
    model.ingestConsoleLine("[ NOTICE ] Server started on http://0.0.0.0:8080");
    QCOMPARE(model.server().status, QSServerStatus::running);
    QCOMPARE(model.server().startedAt, std::optional(clock.now));
    QCOMPARE(model.buildProgress(), QString());
    QCOMPARE(changed.count(), 2);  // building, running: once each
  }

  void requestLinesMergeWithTheProxysReports() {
    TestClock clock;
    QSUUID project = QSUUID::random();
    QSServerViewModel model(project, clock.clock());
    model.ingestConsoleLine("[ INFO ] GET /hello [request-id: 1]");
    clock.now += 1s;
    QSLogEntry proxied;
    proxied.projectID = project;
    proxied.path = "/hello";
    proxied.statusCode = 200;
    proxied.timestamp = clock.now;
    proxied.source = QSLogSource::proxy;
    model.recordProxyEntry(proxied);
    QCOMPARE(model.logs().size(), 1u);
    QCOMPARE(model.logs()[0].statusCode, 200);
  }

  // The engine's history goes before what came since the ask, each line and request once; older lines first.
  void historyIsRestoredBeforeNewerLines() {
    TestClock clock;
    QSServerViewModel model(QSUUID::random(), clock.clock());
    model.ingestConsoleLine("old");
    std::uint64_t mark = model.consoleLinesReceived();
    model.ingestConsoleLine("b");
    model.ingestConsoleLine("c");
    QSLogEntry seen;
    seen.source = QSLogSource::proxy;
    model.recordProxyEntry(seen);
    QSLogEntry earlier = seen;
    earlier.id = QSUUID::random();
    model.restoreHistory({"a", "b"}, mark, {earlier, seen});
    QCOMPARE(model.consoleOutput(), std::deque<QString>({"old", "a", "b", "c"}));
    QCOMPARE(model.logs().size(), 2u);
    QCOMPARE(model.logs().front().id, earlier.id);
  }

  // A building server is stopped visibly (a running one: the ownership test); a failed one is left as it was.
  void daemonGoingAwayStopsABuildingServerVisibly() {
    for (auto [status, told] : {std::pair{QSServerStatus::building, true}, std::pair{QSServerStatus::error, false}}) {
      TestClock clock;
      QSServerViewModel model(QSUUID::random(), clock.clock());
      model.setServer(serverWith(status));
      model.daemonDisconnected();
      QCOMPARE(model.server().status, told ? QSServerStatus::stopped : status);
      QCOMPARE(!model.consoleOutput().empty() && model.consoleOutput().back() == QSServerViewModel::daemonStoppedLine,
               told);
    }
  }

  void coldBuildTexts() {
    TemporaryFolder folder;
    TestClock clock;
    QSServerViewModel model(QSUUID::random(), clock.clock());
    model.setProjectFolder(folder.path());
    writeTextFile(folder / "Package.swift", "// swift-tools-version:5.9\n");
    model.setServer(serverWith(QSServerStatus::building));
    QCOMPARE(model.coldBuildText(), QString(QSServerViewModel::firstBuildText));
    model.setServer(serverWith(QSServerStatus::running));
    QCOMPARE(model.coldBuildText(), QString());

    std::filesystem::create_directories(folder / ".build");
    model.setServer(serverWith(QSServerStatus::stopped));
    model.setServer(serverWith(QSServerStatus::starting));
    QCOMPARE(model.coldBuildText(), QString());  // built since the manifest changed
    auto later = std::filesystem::last_write_time(folder / ".build") + 10s;
    std::filesystem::last_write_time(folder / "Package.swift", later);
    model.setServer(serverWith(QSServerStatus::stopped));
    model.setServer(serverWith(QSServerStatus::starting));
    QCOMPARE(model.coldBuildText(), QString(QSServerViewModel::dependenciesChangedText));
  }

  void packageUpdateOutcomes_data() {
    QTest::addColumn<QString>("switchName");
    QTest::addColumn<QString>("success");
    QTest::addColumn<QString>("error");
    QTest::newRow("updated") << "" << "Packages updated" << "";
    QTest::newRow("up to date") << "FAKE_SWIFT_PACKAGE_UP_TO_DATE" << "Packages already up to date" << "";
    QTest::newRow("failed") << "FAKE_SWIFT_PACKAGE_UPDATE_FAIL" << "" << "swift package update failed (exit 1)";
  }
  void packageUpdateOutcomes() {
    QFETCH(QString, switchName);
    QFETCH(QString, success);
    QFETCH(QString, error);
    TemporaryFolder folder;
    std::optional<ScopedEnvironment> env;
    if (!switchName.isEmpty()) env.emplace(std::map<std::string, std::optional<std::string>>{{switchName.toStdString(), "1"}});
    TestClock clock;
    QSPackageUpdater updater(clock.clock());
    updater.updatePackages(std::filesystem::path(fakeToolchainRoot()) / "usr/bin/swift", folder.path());
    QVERIFY(updater.isUpdatingPackages());
    QVERIFY(updater.packageUpdateStartedAt().has_value());
    QTRY_VERIFY_WITH_TIMEOUT(!updater.isUpdatingPackages(), 20000);
    QCOMPARE(updater.packageUpdateSuccess().value_or(""), success);
    QCOMPARE(updater.packageUpdateError().value_or(""), error);
    if (success == "Packages updated") QCOMPARE(updater.packageUpdateStatus().value_or(""), QString("Updated vapor"));
    // The success text goes when its timer fires, not before.
    QCOMPARE(clock.timers.size(), success.isEmpty() ? 0u : 1u);
    if (!success.isEmpty()) QCOMPARE(clock.timers.front().first, QSPackageUpdater::successShownFor);
    clock.fireTimers();
    QVERIFY(!updater.packageUpdateSuccess());
  }

  // A cancelled update says neither success nor failure.
  void cancelledUpdateReportsNothing() {
    TemporaryFolder folder;
    std::filesystem::path slow = folder / "swift";
    writeTextFile(slow, "#!/bin/sh\nexec sleep 60\n");
    std::filesystem::permissions(slow, std::filesystem::perms::owner_all);
    TestClock clock;
    QSPackageUpdater updater(clock.clock());
    updater.updatePackages(slow, folder.path());
    updater.cancelPackageUpdate();
    QVERIFY(updater.packageUpdateCancelled());
    QTRY_VERIFY_WITH_TIMEOUT(!updater.isUpdatingPackages(), 20000);
    QVERIFY(!updater.packageUpdateSuccess());
    QVERIFY(!updater.packageUpdateError());
  }
};

QTEST_GUILESS_MAIN(ServerViewModelTest)
#include "server_view_model_test.moc"
