#include "app/shell/app_delegate.h"

#include "app/shell/daemon_controller.h"
#include "app/shell/gui_thread.h"
#include "app/shell/service_channel.h"
#include "app/shell/service_endpoint.h"
#include "app/shell/service_loop.h"
#include "app/viewmodels/app_view_model.h"
#include "core/daemon/daemon_build.h"
#include "core/daemon/daemon_paths.h"
#include "core/daemon/daemon_server.h"
#include "core/daemon/engine_host.h"
#include "core/daemon/service_owner.h"
#include "core/daemon/with_timeout.h"
#include "core/platform/file_lock.h"
#include "core/platform/paths.h"
#include "core/platform/system_error.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include <asio/co_spawn.hpp>

#include <cstdio>
#include <filesystem>
#include <future>
#include <utility>

namespace qs {
namespace {

constexpr double kInProcessShutdownLimit = 5;

// The engine's own lines say "quaysided: "; in the app they are the app's.
void engineLog(const std::string& line) {
  std::string text = line;
  constexpr std::string_view daemonPrefix = "quaysided: ";
  if (text.starts_with(daemonPrefix)) text = "Quayside: " + text.substr(daemonPrefix.size());
  std::fputs((text + "\n").c_str(), stderr);
}

asio::awaitable<void> startHost(std::shared_ptr<QSEngineHost> host, std::shared_ptr<bool> stopRequested) {
  co_await host->start(*stopRequested);
}

}  // namespace

QSAppDelegate::QSAppDelegate(QSSettings settings, Timings timings, QObject* parent)
    : QObject(parent),
      settings_(std::move(settings)),
      timings_(timings),
      loop_(std::make_unique<QSServiceLoop>()),
      controller_(new QSDaemonController(*loop_, QSDaemonPaths::socketPath(), QSDaemonPaths::lockPath(), this)),
      appVM_(new QSAppViewModel(QSViewModelClock::system(), this)),
      ownerLock_(QSDaemonPaths::lockPath()) {}

QSAppDelegate::~QSAppDelegate() {
  shuttingDown_ = true;
  ++generation_;
  pendingShutdownDone_ = nullptr;
  if (engineStarting_) {
    // An engine still starting (the app took the services over just now) is taken in and shut
    // down below like any other, rather than left running with nobody to stop it.
    loop_->post([stop = engineStopRequested_] { *stop = true; });
    engineHandedOver_.wait();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
  }
  if (host_) {
    // The app did not wind down (a test, an early exit): stop the services before the loop goes.
    auto host = std::move(host_);
    std::promise<void> finished;
    loop_->post([this, &host, &finished] {
      asio::co_spawn(loop_->executor(), withTimeout(loop_->executor(), kInProcessShutdownLimit, host->shutdown()),
                     [&host, &finished](std::exception_ptr) {
                       host.reset();
                       finished.set_value();
                     });
    });
    finished.get_future().wait();
  }
  // The loop thread ends first, so that nothing its handlers use goes away under it; what the
  // objects below release on their way out (daemon clients, endpoints, results queued for this
  // object that hold them) is then run and destroyed here while the loop's services still exist.
  loop_->stop();
  delete appVM_;
  delete controller_;
  QCoreApplication::removePostedEvents(this);
  loop_->stop();
}

void QSAppDelegate::registerDefaults(QSSettings& settings) {
  settings.registerDefaults({{"qs.autoStartDatabases", true},
                             {"qs.autoStartServers", false},
                             {"qs.mailEnabled", true},
                             {"qs.mailSMTPPort", std::string("1025")},
                             {"qs.useDaemon", false}});
}

void QSAppDelegate::log(const QString& line) {
  std::fputs((line.toStdString() + "\n").c_str(), stderr);
  std::fflush(stderr);
}

void QSAppDelegate::startUp() {
  registerDefaults(settings_);
  useDaemon_ = settings_.boolValue("qs.useDaemon");
  appVM_->onConnectionLost = [this] { connectionLost(); };
  if (!settings_.boolValue("qs.projectsFolderCreated")) {
    std::error_code ignored;
    std::filesystem::create_directories(QSPaths::projectsFolder(), ignored);
    try {
      settings_.set("qs.projectsFolderCreated", true);
    } catch (const std::exception&) {
    }
  }
  if (useDaemon_)
    ownByDaemon();
  else
    ownLocally();
}

void QSAppDelegate::ownByDaemon() {
  controller_->start([this](bool connected) {
    if (connected) return adoptDaemon();
    log("Quayside: daemon start failed — " + controller_->lastError());
    // Someone may serve the socket all the same (the desktop app that owns the services).
    controller_->connectIfRunning([this](bool found) {
      if (found) return adoptDaemon();
      log("Quayside: daemon unavailable — falling back to in-process");
      useDaemon_ = false;
      waitForOwnership([this](bool acquired) { acquired ? startInProcess() : waitForServices(); });
    });
  });
}

void QSAppDelegate::ownLocally() {
  controller_->connectIfRunning([this](bool found) {
    if (found) return adoptDaemon();
    if (ownerLock_.tryAcquire()) return startInProcess();
    // A daemon that is starting holds the lock before it serves: give it the usual wait.
    waitForOwnership([this](bool acquired) { acquired ? startInProcess() : waitForServices(); });
  });
}

void QSAppDelegate::adoptDaemon() {
  if (shuttingDown_) return;
  useDaemon_ = true;
  auto* channel = new QSServiceChannel(*loop_, makeDaemonEndpoint(controller_->client()));
  appVM_->connectToServices(channel);
  appVM_->setStartupComplete(true);
  setMode(Mode::daemon);
}

void QSAppDelegate::waitForOwnership(std::function<void(bool acquired)> done) {
  auto deadline = std::chrono::steady_clock::now() + timings_.lockWait;
  auto attempt = std::make_shared<std::function<void()>>();
  int generation = generation_;
  // Only the pending retry holds the procedure: it is freed once it stops.
  *attempt = [this, deadline, weakAttempt = std::weak_ptr(attempt), done, generation] {
    if (generation != generation_) return;
    if (ownerLock_.tryAcquire()) return done(true);
    if (std::chrono::steady_clock::now() >= deadline) return done(false);
    QTimer::singleShot(timings_.lockRetry, this, [attempt = weakAttempt.lock()] { (*attempt)(); });
  };
  (*attempt)();
}

void QSAppDelegate::startInProcess() {
  if (shuttingDown_) {
    ownerLock_.release();
    return;
  }
  useDaemon_ = false;
  waitingForPid_ = 0;
  QPointer<QSAppDelegate> self(this);
  QSEngineHostOptions options{.socketPath = QSDaemonPaths::socketPath(),
                              .log = engineLog,
                              .version = QS_VERSION,
                              .build = QSDaemonBuild::current()};
  std::string refusal = QSServiceOwner::ownedByAppLine(static_cast<pid_t>(QCoreApplication::applicationPid())) +
                        " Quit the app to stop them.";
  QSServiceLoop& loop = *loop_;
  auto stopRequested = std::make_shared<bool>(false);
  auto handedOver = std::make_shared<std::promise<void>>();
  engineStarting_ = true;
  engineStopRequested_ = stopRequested;
  engineHandedOver_ = handedOver->get_future().share();
  loop.post([self, options, refusal, &loop, stopRequested, handedOver] {
    auto host = std::make_shared<QSEngineHost>(loop.executor(), options);
    host->server().refuseShutdown(refusal);
    auto mirror = host->mirrorEvents();
    asio::co_spawn(loop.executor(), startHost(host, stopRequested),
                   [self, host, mirror, handedOver](std::exception_ptr error) {
                     std::string failure = describeError(error);
                     backOnGui(self, [host, mirror, failure](QSAppDelegate& d) {
                       if (!failure.empty())
                         log("Quayside: couldn't serve the control socket: " + QString::fromStdString(failure));
                       d.engineStarting_ = false;
                       d.host_ = host;
                       if (d.shuttingDown_) {
                         // Quit while it started: it is shut down now (or by the destructor).
                         if (d.pendingShutdownDone_) d.shutdown(std::exchange(d.pendingShutdownDone_, nullptr));
                         return;
                       }
                       d.appVM_->connectToServices(new QSServiceChannel(*d.loop_, makeEngineEndpoint(host, mirror)));
                       d.appVM_->setStartupComplete(true);
                       d.setMode(Mode::inProcess);
                     });
                     handedOver->set_value();
                   });
  });
  emit servicesStarting();
}

void QSAppDelegate::connectionLost() {
  if (shuttingDown_) return;
  controller_->disconnect();
  setMode(Mode::starting);
  int generation = generation_;
  QTimer::singleShot(timings_.reconnectDelay, this, [this, generation] {
    if (generation != generation_) return;
    controller_->connectIfRunning([this](bool found) {
      if (found) return adoptDaemon();
      waitForOwnership([this](bool acquired) {
        if (acquired) return startInProcess();
        controller_->connectIfRunning([this](bool again) {
          if (again) return adoptDaemon();
          // The lock's holder is alive (the kernel ends a lock with its process) yet serves
          // nobody: running the services here too would make two owners. Keep asking.
          waitForServices();
        });
      });
    });
  });
}

void QSAppDelegate::waitForServices() {
  if (shuttingDown_) return;
  std::optional<pid_t> holder = lockHolder(ownerLock_.path());
  waitingForPid_ = holder ? *holder : 0;
  log(QString("Quayside: another process%1 holds the owner lock %2 without serving; waiting for it")
          .arg(holder ? QString(" (pid %1)").arg(*holder) : QString(),
               QString::fromStdString(ownerLock_.path().string())));
  if (mode_ == Mode::waiting) emit modeChanged();  // the holder may be another process now
  setMode(Mode::waiting);
  int generation = generation_;
  QTimer::singleShot(timings_.waitingRetry, this, [this, generation] {
    if (generation != generation_) return;
    controller_->connectIfRunning([this](bool found) {
      if (found) return adoptDaemon();
      if (ownerLock_.tryAcquire()) return startInProcess();
      waitForServices();
    });
  });
}

void QSAppDelegate::shutdown(std::function<void()> done) {
  shuttingDown_ = true;
  ++generation_;
  appVM_->disconnectFromServices();
  if (engineStarting_) {
    // The engine being started is shut down once it is handed over; the lock is kept till then.
    pendingShutdownDone_ = std::move(done);
    return;
  }
  if (!host_) {
    controller_->disconnect();
    ownerLock_.release();
    setMode(Mode::stopped);
    done();
    return;
  }
  auto host = std::move(host_);
  QPointer<QSAppDelegate> self(this);
  QSServiceLoop& loop = *loop_;
  loop.post([host, self, done, &loop]() mutable {
    auto bounded = withTimeout(loop.executor(), kInProcessShutdownLimit, host->shutdown());
    asio::co_spawn(loop.executor(), std::move(bounded), [host, self, done](std::exception_ptr) mutable {
      host.reset();  // on the loop, where it lives
      backOnGui(self, [done](QSAppDelegate& d) {
        d.ownerLock_.release();
        d.setMode(Mode::stopped);
        done();
      });
    });
  });
}

void QSAppDelegate::restartDaemon() {
  if (mode_ != Mode::daemon || shuttingDown_) return;
  // Leaving on purpose is not a lost connection: no takeover.
  appVM_->disconnectFromServices();
  controller_->disconnect();
  setMode(Mode::starting);
  ownByDaemon();
}

void QSAppDelegate::setMode(Mode mode) {
  if (mode == mode_) return;
  mode_ = mode;
  emit modeChanged();
}

}  // namespace qs
