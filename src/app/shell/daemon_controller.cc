#include "app/shell/daemon_controller.h"

#include "app/shell/gui_thread.h"
#include "app/shell/service_loop.h"
#include "core/daemon/daemon_build.h"
#include "core/daemon/daemon_client.h"
#include "core/daemon/daemon_installer.h"
#include "core/daemon/daemon_launcher.h"
#include "core/daemon/service_owner.h"
#include "core/daemon/with_timeout.h"
#include "core/platform/file_status.h"
#include "core/platform/paths.h"
#include "core/platform/system_error.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <asio/co_spawn.hpp>

#include <cstdlib>

namespace qs {
namespace {

namespace fs = std::filesystem;

constexpr std::chrono::seconds kStartLimit{10};
constexpr double kPingLimitSeconds = 5;
constexpr double kShutdownLimitSeconds = 3;

struct Outcome {
  std::shared_ptr<QSDaemonClient> client;
  std::string build;
  std::string error;
};

asio::awaitable<Outcome> launch(fs::path executable, std::string socketPath, std::string lockPath) {
  QSDaemonLauncher launcher(executable, socketPath, lockPath);
  auto client = co_await launcher.ensureRunning(kStartLimit);
  co_return Outcome{client, QSDaemonBuild::fingerprint(executable), ""};
}

asio::awaitable<QSDaemonResult> ping(std::shared_ptr<QSDaemonClient> client) {
  co_return co_await client->call(cmd::Ping{});
}

asio::awaitable<Outcome> connectAndPing(asio::any_io_executor executor, std::string socketPath) {
  auto client = QSDaemonClient::make(executor, socketPath);
  try {
    co_await client->connect();
    QSDaemonResult answer = co_await withTimeout(executor, kPingLimitSeconds, ping(client));
    if (const auto* pong = answer.get<res::Pong>()) co_return Outcome{client, pong->build, ""};
  } catch (const std::exception&) {
  }
  client->disconnect();
  co_return Outcome{};
}

asio::awaitable<void> askToShutDown(asio::any_io_executor executor, std::shared_ptr<QSDaemonClient> client) {
  try {
    QSDaemonCommand command = cmd::ShutdownDaemon{};
    auto call = [](std::shared_ptr<QSDaemonClient> c, QSDaemonCommand cmd) -> asio::awaitable<QSDaemonResult> {
      co_return co_await c->call(std::move(cmd));
    };
    co_await withTimeout(executor, kShutdownLimitSeconds, call(client, command));
  } catch (const std::exception&) {
  }
  client->disconnect();
}

}  // namespace

QSDaemonController::QSDaemonController(QSServiceLoop& loop, std::string socketPath, std::string lockPath,
                                       QObject* parent)
    : QObject(parent), loop_(loop), socketPath_(std::move(socketPath)), lockPath_(std::move(lockPath)) {}

QSDaemonController::~QSDaemonController() {
  if (client_) loop_.post([client = std::move(client_)] { client->disconnect(); });
}

void QSDaemonController::start(Done done) {
  std::optional<fs::path> executable = locateBundledExecutable("quaysided", "QS_DAEMON_EXECUTABLE");
  if (!executable) {
    setLastError(missingExecutableText);
    done(false);
    return;
  }
  QPointer<QSDaemonController> self(this);
  loop_.post([this, self, executable = *executable, done = std::move(done)]() mutable {
    auto work = launch(executable, socketPath_, lockPath_);
    asio::co_spawn(loop_.executor(), std::move(work),
                   [self, done = std::move(done)](std::exception_ptr error, Outcome outcome) mutable {
                     if (error) outcome.error = describeError(error);
                     backOnGui(self, [outcome, done = std::move(done)](QSDaemonController& c) {
                       if (!outcome.client) {
                         c.setLastError(QString::fromStdString(outcome.error));
                         done(false);
                         return;
                       }
                       c.adopt(outcome.client, outcome.build);
                       done(true);
                     });
                   });
  });
}

void QSDaemonController::connectIfRunning(Done done) {
  if (client_) {
    done(true);
    return;
  }
  QPointer<QSDaemonController> self(this);
  loop_.post([this, self, done = std::move(done)]() mutable {
    asio::co_spawn(loop_.executor(), connectAndPing(loop_.executor(), socketPath_),
                   [self, done = std::move(done)](std::exception_ptr, Outcome outcome) mutable {
                     backOnGui(self, [outcome, done = std::move(done)](QSDaemonController& c) {
                       if (outcome.client && !c.client_) c.adopt(outcome.client, outcome.build);
                       done(outcome.client != nullptr);
                     });
                   });
  });
}

void QSDaemonController::disconnect() {
  if (willDisconnect) willDisconnect();
  if (!client_) return;
  loop_.post([client = std::move(client_)] { client->disconnect(); });
  client_.reset();
  emit stateChanged();
}

void QSDaemonController::shutdownDaemon(std::function<void()> done) {
  if (!client_) {
    done();
    return;
  }
  QPointer<QSDaemonController> self(this);
  auto client = client_;
  loop_.post([this, self, client, done = std::move(done)]() mutable {
    asio::co_spawn(loop_.executor(), askToShutDown(loop_.executor(), client),
                   [self, done = std::move(done)](std::exception_ptr) mutable {
                     backOnGui(self, [done = std::move(done)](QSDaemonController& c) {
                       c.disconnect();
                       done();
                     });
                   });
  });
}

bool QSDaemonController::isDaemonOutdated() const {
  if (!client_) return false;
  // Another copy of the app that owns the services answers with its own build: it is no daemon
  // that a restart could replace.
  if (QSServiceOwner::desktopApp(lockPath_)) return false;
  std::optional<fs::path> own = locateBundledExecutable("quaysided", "QS_DAEMON_EXECUTABLE");
  if (!own) return false;
  return QString::fromStdString(QSDaemonBuild::fingerprint(*own)) != connectedDaemonBuild_;
}

void QSDaemonController::refreshOutdatedNotice() {
  bool outdated = isDaemonOutdated();
  if (outdated == showsOutdatedNotice_) return;
  showsOutdatedNotice_ = outdated;
  emit stateChanged();
}

void QSDaemonController::adopt(std::shared_ptr<QSDaemonClient> client, const std::string& build) {
  client_ = std::move(client);
  connectedDaemonBuild_ = QString::fromStdString(build);
  showsOutdatedNotice_ = isDaemonOutdated();
  lastError_.clear();
  ensureCLIInstalled();
  emit stateChanged();
}

void QSDaemonController::setLastError(const QString& text) {
  lastError_ = text;
  emit stateChanged();
}

std::optional<fs::path> QSDaemonController::locateBundledExecutable(const std::string& name,
                                                                    const char* overrideVariable) {
  if (const char* value = std::getenv(overrideVariable); value && *value) return fs::path(value);
  fs::path beside = fs::path(QCoreApplication::applicationDirPath().toStdString()) / name;
  if (isExecutableFile(beside)) return beside;
  fs::path local = QSPaths::home() / ".local" / "bin" / name;
  if (isExecutableFile(local)) return local;
  return std::nullopt;
}

void QSDaemonController::ensureCLIInstalled() {
  std::optional<fs::path> cli = locateBundledExecutable("qs", "QS_CLI_EXECUTABLE");
  std::optional<fs::path> daemon = locateBundledExecutable("quaysided", "QS_DAEMON_EXECUTABLE");
  if (!cli || !daemon) return;
  // Links that already point at these programs are left alone (a second app must not churn them).
  fs::path bin = QSDaemonInstaller::defaultBinDirectory();
  std::error_code error;
  if (fs::read_symlink(bin / "qs", error) == *cli && fs::read_symlink(bin / "quaysided", error) == *daemon) return;
  try {
    QSDaemonInstaller().install(*cli, *daemon, bin, false);
  } catch (const std::exception&) {
  }
}

}  // namespace qs
