// Starts or finds quaysided, connects to it and notices when it runs an older build than the
// one that came with the app.
#pragma once

#include <QObject>
#include <QString>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace qs {

class QSDaemonClient;
class QSServiceLoop;

class QSDaemonController : public QObject {
  Q_OBJECT
public:
  using Done = std::function<void(bool connected)>;

  QSDaemonController(QSServiceLoop& loop, std::string socketPath, std::string lockPath, QObject* parent = nullptr);
  ~QSDaemonController() override;

  // Finds the daemon executable and makes sure a daemon of that build serves the socket (10
  // seconds at most), then connects. On failure lastError says why ("Couldn't locate the
  // quaysided executable. …" when there is none).
  void start(Done done);
  // Connects to a daemon that already serves the socket (answering ping with pong); starts none.
  void connectIfRunning(Done done);
  // Calls willDisconnect, then closes the client and drops it.
  void disconnect();
  // Asks the daemon to shut down, then disconnects; `done` runs once the answer came or the
  // time limit passed.
  void shutdownDaemon(std::function<void()> done);

  // The connected client; null when not connected. It lives on the service loop: use it there.
  std::shared_ptr<QSDaemonClient> client() const { return client_; }
  QString lastError() const { return lastError_; }
  QString connectedDaemonBuild() const { return connectedDaemonBuild_; }
  bool showsOutdatedNotice() const { return showsOutdatedNotice_; }
  // Connected, the app's own quaysided is found, and its fingerprint differs from the daemon's.
  bool isDaemonOutdated() const;
  // Sets showsOutdatedNotice from isDaemonOutdated().
  void refreshOutdatedNotice();

  // Called before the client is dropped.
  std::function<void()> willDisconnect;

  // The override variable's value when set and not empty; else `name` beside this program;
  // else ~/.local/bin/`name` when executable; else nothing.
  static std::optional<std::filesystem::path> locateBundledExecutable(const std::string& name,
                                                                      const char* overrideVariable);
  // Links the app's own qs and quaysided into ~/.local/bin when both are found; failures ignored.
  static void ensureCLIInstalled();

  static constexpr const char* missingExecutableText =
      "Couldn't locate the quaysided executable. Bundle it alongside the app, or set QS_DAEMON_EXECUTABLE to its "
      "path.";

signals:
  void stateChanged();

private:
  void adopt(std::shared_ptr<QSDaemonClient> client, const std::string& build);
  void setLastError(const QString& text);

  QSServiceLoop& loop_;
  std::string socketPath_;
  std::string lockPath_;
  std::shared_ptr<QSDaemonClient> client_;
  QString lastError_;
  QString connectedDaemonBuild_;
  bool showsOutdatedNotice_ = false;
};

}  // namespace qs
