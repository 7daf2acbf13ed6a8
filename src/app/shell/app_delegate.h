// The app's start-up, service ownership and shutdown: who runs the services (the daemon, or
// this process holding the owner lock), the switch when the daemon goes away, and the orderly
// wind-down when the app quits.
#pragma once

#include "core/daemon/owner_lock.h"
#include "core/platform/settings.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <future>
#include <memory>

namespace qs {

class QSAppViewModel;
class QSDaemonController;
class QSEngineHost;
class QSServiceLoop;

// The waits of the ownership procedures; tests shorten them.
struct QSOwnershipTimings {
  std::chrono::milliseconds lockWait{5000};
  std::chrono::milliseconds lockRetry{100};
  std::chrono::milliseconds reconnectDelay{600};
  // While another process holds the owner lock without serving the socket.
  std::chrono::milliseconds waitingRetry{2000};
};

class QSAppDelegate : public QObject {
  Q_OBJECT
public:
  enum class Mode { starting, daemon, inProcess, waiting, stopped };
  Q_ENUM(Mode)

  using Timings = QSOwnershipTimings;

  QSAppDelegate(QSSettings settings, Timings timings = {}, QObject* parent = nullptr);
  // Runs the wind-down when the app did not.
  ~QSAppDelegate() override;

  // Registers the settings' defaults, then finds or becomes the owner of the services.
  void startUp();
  // Lets go of the services (in-process: stops servers, databases and network services, at
  // most 5 seconds; daemon: disconnects, the daemon keeps running), then runs `done`.
  void shutdown(std::function<void()> done);
  // Replaces a daemon of an older build with the app's own (daemon mode only); running servers
  // restart with it.
  void restartDaemon();

  Mode mode() const { return mode_; }
  bool useDaemon() const { return useDaemon_; }
  // Who holds the owner lock while the app waits for it; 0 when unknown.
  qint64 waitingForPid() const { return waitingForPid_; }
  QSAppViewModel& appViewModel() { return *appVM_; }
  QSDaemonController& daemonController() { return *controller_; }
  QSSettings& settings() { return settings_; }
  QSServiceLoop& loop() { return *loop_; }
  const QSOwnerLock& ownerLock() const { return ownerLock_; }

  // The settings the app registers before anything reads them.
  static void registerDefaults(QSSettings& settings);
  // Writes a log line to standard error ("Quayside: …").
  static void log(const QString& line);

signals:
  void modeChanged();
  // The app holds the owner lock and its engine has begun starting (in-process mode follows
  // once it is up).
  void servicesStarting();

private:
  void ownByDaemon();
  void ownLocally();
  void adoptDaemon();
  void waitForOwnership(std::function<void(bool acquired)> done);
  void startInProcess();
  void connectionLost();
  void waitForServices();
  void setMode(Mode mode);

  QSSettings settings_;
  Timings timings_;
  std::unique_ptr<QSServiceLoop> loop_;
  QSDaemonController* controller_;
  QSAppViewModel* appVM_;
  QSOwnerLock ownerLock_;
  std::shared_ptr<QSEngineHost> host_;  // in-process mode; lives on the loop
  // An engine being started on the loop: its flag asks it not to serve (read on the loop), and
  // the future is ready once its hand-over to this object has been queued.
  bool engineStarting_ = false;
  std::shared_ptr<bool> engineStopRequested_;
  std::shared_future<void> engineHandedOver_;
  std::function<void()> pendingShutdownDone_;  // a shutdown asked for while the engine started
  Mode mode_ = Mode::starting;
  bool useDaemon_ = false;
  bool shuttingDown_ = false;
  qint64 waitingForPid_ = 0;
  int generation_ = 0;  // procedures started before a shutdown or a newer one stop
};

}  // namespace qs
