// Who owns the services, with the real quaysided, qs and desktop app: adopting, falling back, taking
// over, waiting on the owner lock (never a second owner), mirroring, serving qs and a second launch.
#include "app/shell/app_delegate.h"
#include "app/shell/daemon_controller.h"
#include "app/shell/instance_channel.h"
#include "app/viewmodels/app_view_model.h"
#include "app/viewmodels/server_view_model.h"
#include "core/daemon/desktop_entry.h"
#include "core/daemon/owner_lock.h"
#include "core/daemon/service_owner.h"
#include "core/platform/file_lock.h"
#include "core/platform/files.h"
#include "support/child_programs.h"

#include <QSignalSpy>
#include <QTest>

#include <unistd.h>

using namespace qs;
using namespace qs::testing;
using namespace std::chrono_literals;

namespace {

using Mode = QSAppDelegate::Mode;

QSAppDelegate::Timings quick() {
  return {.lockWait = 300ms, .lockRetry = 20ms, .reconnectDelay = 50ms, .waitingRetry = 50ms};
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

class OwnershipTest : public QObject {
  Q_OBJECT
private slots:
  // useDaemon on and no daemon executable: the failure is kept for Settings, the services run in the app.
  void fallsBackToInProcessWhenTheDaemonCannotStart() {
    AppTestHome home;
    ScopedEnvironment missing(
        std::map<std::string, std::optional<std::string>>{{"QS_DAEMON_EXECUTABLE", "/nonexistent/quaysided"}});
    QSSettings::standard().set("qs.useDaemon", true);
    QSAppDelegate app(QSSettings::standard(), quick());
    app.startUp();
    QTRY_COMPARE_WITH_TIMEOUT(app.mode(), Mode::inProcess, kLong);
    QVERIFY(app.ownerLock().isHeld());
    QVERIFY(!app.useDaemon());
    QCOMPARE(app.daemonController().lastError(),
             QString("The quaysided executable wasn't found at /nonexistent/quaysided."));
  }

  // useDaemon off and a daemon running: the app adopts it. When it dies with a server running, the
  // console says so, the state shows stopped, and the app takes the services over, holding the lock.
  void adoptsADaemonAndTakesOverWhenItIsKilled() {
    AppTestHome home;
    auto daemon = spawnProgram(home, "quaysided");
    QVERIFY(socketServed(home));
    QSAppDelegate app(QSSettings::standard(), quick());
    app.startUp();
    QTRY_COMPARE_WITH_TIMEOUT(app.mode(), Mode::daemon, kLong);
    QVERIFY(!app.ownerLock().isHeld());
    QSAppViewModel& model = app.appViewModel();
    // A project qs adds reaches the window through the event stream.
    auto added = runQs(home, {"add", home.vaporProject("blog").string()});
    QVERIFY2(added.exitStatus == 0, added.output.c_str());
    QTRY_COMPARE_WITH_TIMEOUT(model.projects().size(), 1u, kLong);
    QCOMPARE(model.projects()[0].name, std::string("blog"));
    QSServerViewModel* server = model.serverViewModel(model.projects()[0].id);
    model.startServer(server->projectID(), {});
    QTRY_COMPARE_WITH_TIMEOUT(server->server().status, QSServerStatus::running, kLong);
    QSignalSpy modes(&app, &QSAppDelegate::modeChanged);

    daemon->signal(SIGKILL);
    QTRY_VERIFY_WITH_TIMEOUT(!server->consoleOutput().empty() &&
                                 server->consoleOutput().back() == QSServerViewModel::daemonStoppedLine,
                             kLong);
    QCOMPARE(server->server().status, QSServerStatus::stopped);
    QTRY_COMPARE_WITH_TIMEOUT(app.mode(), Mode::inProcess, kLong);
    QVERIFY(app.ownerLock().isHeld());
    QCOMPARE(lockHolder(home.lockPath()), std::optional<pid_t>(getpid()));
    QTRY_COMPARE_WITH_TIMEOUT(model.projects().size(), 1u, kLong);  // the state file, reloaded
    auto ping = runQs(home, {"ping"});
    QVERIFY2(ping.exitStatus == 0, ping.output.c_str());
    exitOf(*daemon);
  }

  // Another process holds the lock without serving: the app waits, naming it, until the lock is free.
  void waitsWhileAnotherProcessHoldsTheLock() {
    AppTestHome home;
    auto holder = std::make_unique<QSOwnerLock>(home.lockPath());
    QVERIFY(holder->tryAcquire());
    QSAppDelegate app(QSSettings::standard(), quick());
    app.startUp();
    QTRY_COMPARE_WITH_TIMEOUT(app.mode(), Mode::waiting, kLong);
    QCOMPARE(app.waitingForPid(), qint64(getpid()));
    QVERIFY(!app.ownerLock().isHeld());
    QVERIFY(!isListenedOn(home.socketPath()));
    holder.reset();
    QTRY_COMPARE_WITH_TIMEOUT(app.mode(), Mode::inProcess, kLong);
    QVERIFY(app.ownerLock().isHeld());
  }

  // A second copy of the app finds the first one's socket and mirrors it. Quitting in in-process
  // mode stops the servers the app ran and frees the lock.
  void aSecondAppMirrorsTheFirstWhichStopsTheServicesItRan() {
    AppTestHome home;
    QSAppDelegate app(QSSettings::standard(), quick());
    app.startUp();
    QTRY_COMPARE_WITH_TIMEOUT(app.mode(), Mode::inProcess, kLong);
    QSAppViewModel& model = app.appViewModel();
    {
      QSAppDelegate second(QSSettings::standard(), quick());
      second.startUp();
      QTRY_COMPARE_WITH_TIMEOUT(second.mode(), Mode::daemon, kLong);
      QVERIFY(!second.ownerLock().isHeld());
      model.addProject(qstr(home.vaporProject("blog")), {});
      QTRY_COMPARE_WITH_TIMEOUT(second.appViewModel().projects().size(), 1u, kLong);
    }
    QTRY_COMPARE_WITH_TIMEOUT(model.projects().size(), 1u, kLong);
    QSServerViewModel* server = model.serverViewModel(model.projects()[0].id);
    model.startServer(server->projectID(), {});
    QTRY_COMPARE_WITH_TIMEOUT(server->server().status, QSServerStatus::running, kLong);
    QVERIFY(server->server().pid);
    pid_t pid = *server->server().pid;
    bool done = false;
    app.shutdown([&] { done = true; });
    QTRY_VERIFY_WITH_TIMEOUT(done, kLong);
    QCOMPARE(app.mode(), Mode::stopped);
    QVERIFY(!isLockedElsewhere(home.lockPath()));
    QVERIFY(::kill(pid, 0) != 0);
    QVERIFY(!isListenedOn(home.socketPath()));
  }

  // Quitting, or the app going away, while its engine starts: it is wound down, socket and lock freed.
  void quittingWhileTheEngineStartsWindsItDown() {
    AppTestHome home;
    bool done = false;
    {
      QSAppDelegate app(QSSettings::standard(), quick());
      connect(&app, &QSAppDelegate::servicesStarting, &app, [&] { app.shutdown([&] { done = true; }); });
      app.startUp();
      QTRY_VERIFY_WITH_TIMEOUT(done, kLong);
      QCOMPARE(app.mode(), Mode::stopped);
      QVERIFY(!app.ownerLock().isHeld());
      QVERIFY(!isLockedElsewhere(home.lockPath()));
      QVERIFY(!isListenedOn(home.socketPath()));
    }
    {
      auto app = std::make_unique<QSAppDelegate>(QSSettings::standard(), quick());
      QSignalSpy starting(app.get(), &QSAppDelegate::servicesStarting);
      app->startUp();
      QVERIFY(starting.wait(kLong));  // returns before the engine's hand-over is delivered
      app.reset();
      QVERIFY(!isLockedElsewhere(home.lockPath()));
      QVERIFY(!isListenedOn(home.socketPath()));
    }
  }

  // The real app owning the services: qs says so and refuses to start or stop a daemon behind its back;
  // its menu entry is installed; a second launch (given a folder: added) ends; SIGTERM winds it down.
  void qsAndASecondLaunchReachTheAppThatOwnsTheServices() {
    AppTestHome home;
    QSSettings::standard().set("qs.onboardingCompleted", true);
    auto app = spawnProgram(home, "quayside-app");
    QVERIFY(socketServed(home));
    std::string owned = QSServiceOwner::ownedByAppLine(app->pid());
    auto ping = runQs(home, {"ping"});
    QVERIFY2(ping.exitStatus == 0 && contains(ping.output, "desktop app") && contains(ping.output, owned),
             ping.output.c_str());
    auto status = runQs(home, {"status"});
    QVERIFY2(status.exitStatus == 0 && contains(status.output, owned), status.output.c_str());
    auto start = runQs(home, {"daemon", "start"});
    QVERIFY2(start.exitStatus != 0 && contains(start.output, "desktop app (pid " + std::to_string(app->pid()) + ")"),
             start.output.c_str());
    auto stop = runQs(home, {"daemon", "stop"});
    QVERIFY2(stop.exitStatus != 0 && contains(stop.output, owned), stop.output.c_str());
    QVERIFY(isListenedOn(home.socketPath()));  // still serving after both
    QVERIFY(fileExists(home.home() / ".local/share/applications" / std::string(QSDesktopEntry::fileName)));
    QVERIFY(fileExists(home.home() / ".local/share/icons/hicolor/256x256/apps/app.brindle.Quayside.png"));

    QVERIFY(QTest::qWaitFor([] { return fileExists(QSInstanceChannel::socketPath().toStdString()); }, kLong));
    std::filesystem::path folder = home.vaporProject("blog");
    auto second = runProcess({qs::testing::binFolder() + "/quayside-app", folder.string()},
                             {.environment = home.childEnvironment(), .mergeErrorIntoOutput = true});
    QVERIFY2(second.exitStatus == 0, second.output.c_str());
    QVERIFY(QTest::qWaitFor([&] { return runQs(home, {"projects"}).output.find("blog") != std::string::npos; }, kLong));
    auto plain = runProcess({qs::testing::binFolder() + "/quayside-app"}, {.environment = home.childEnvironment()});
    QCOMPARE(plain.exitStatus, 0);

    app->signal(SIGTERM);
    QCOMPARE(exitOf(*app), std::optional(0));
    QVERIFY(!isLockedElsewhere(home.lockPath()));
    QVERIFY(!fileExists(QSInstanceChannel::socketPath().toStdString()));
  }
};

QTEST_GUILESS_MAIN(OwnershipTest)
#include "ownership_test.moc"
