// The app's single source of truth for what the windows and the tray show: projects,
// databases, one server view model per project and the network state. It mirrors whoever owns
// the services (the daemon, or the engine of this process) from a full status and the event
// stream, and turns every user operation into one command.
#pragma once

#include "app/viewmodels/view_model_clock.h"
#include "core/models/database.h"
#include "core/models/project.h"
#include "core/models/toolchain.h"
#include "core/protocol/status.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace qs {

class QSMailBoxModel;
class QSServerViewModel;
class QSServiceChannel;
struct QSDaemonCommand;
struct QSDaemonResult;
struct QSEvent;

class QSAppViewModel : public QObject {
  Q_OBJECT
public:
  // Runs when an operation ends: an empty text for success, else the engine's message for the
  // view that started it.
  using Done = std::function<void(const QString& error)>;

  static constexpr const char* notConnectedText =
      "Quayside isn't connected to its services right now; it reconnects by itself. Try again in a moment.";

  explicit QSAppViewModel(QSViewModelClock clock = QSViewModelClock::system(), QObject* parent = nullptr);
  ~QSAppViewModel() override;

  // Mirrors the services behind `channel` (taken over; the daemon or the app's own engine):
  // loads the full status, then applies every event in arrival order.
  void connectToServices(QSServiceChannel* channel);
  // Stops mirroring without the connection-lost procedure (a normal disconnect).
  void disconnectFromServices();
  bool isConnected() const { return channel_ != nullptr; }
  // Sends `status` and applies the answer; anything else leaves the state as it is.
  void refresh(Done done = {});

  // State.
  const std::vector<QSProject>& projects() const { return projects_; }
  const QSProject* project(const QSUUID& id) const;
  const std::vector<QSDatabase>& databases() const { return databases_; }
  const QSDatabase* database(const std::optional<QSUUID>& id) const;
  const QSNetworkStatus& network() const { return network_; }
  const std::optional<QSMailStatus>& mail() const { return mail_; }
  // The caught mail, fed by the services' mail events (made on first use, on the standard folder).
  QSMailBoxModel& mailBox();
  QString daemonVersion() const { return daemonVersion_; }
  // The project's server view model, made on first use.
  QSServerViewModel* serverViewModel(const QSUUID& projectID);
  // Reads the engine's recent console and request log into the project's server view model,
  // once a connection (again after a reconnect); for a view that shows them.
  void loadHistory(const QSUUID& projectID);
  bool isStartupComplete() const { return startupComplete_; }
  void setStartupComplete(bool complete);
  // The project's address: its .test name through the proxy when it has one, else localhost.
  QString projectURL(const QSProject& project) const;

  // The mirror.
  void applyStatus(const QSFullStatus& status);
  void apply(const QSEvent& event);
  // The daemon went away: servers and databases show as stopped, network services as down,
  // then onConnectionLost runs. Nothing happens when not connected.
  void handleConnectionLost();
  std::function<void()> onConnectionLost;

  // Operations. Each sends one command; `done` gets the outcome. A failure changes nothing.
  void perform(const QSDaemonCommand& command, Done done, std::function<void(const QSDaemonResult&)> onSuccess = {});
  void addProject(const QString& folder, Done done);
  void removeProject(const QSUUID& id, bool dropDatabase, bool trashFolder, Done done);
  void startServer(const QSUUID& id, Done done);
  void stopServer(const QSUUID& id, Done done);
  void restartServer(const QSUUID& id, Done done);
  void setEnvVar(const QSUUID& id, const QString& key, const QString& value, Done done);
  void unsetEnvVar(const QSUUID& id, const QString& key, Done done);
  // Writes the project with one variable's enabled flag changed.
  void setEnvVarEnabled(const QSUUID& id, const QString& key, bool enabled, Done done);
  void listToolchains(std::function<void(std::vector<QSToolchain>)> done);

signals:
  void projectsChanged();
  void databasesChanged();
  void networkChanged();
  void connectionChanged();
  void startupCompleteChanged();

private:
  void takeEvents();
  void applyServer(const QSServer& server);
  void applyNetwork(const QSNetworkStatus& network);
  void setProjects(std::vector<QSProject> projects);
  void setDatabases(std::vector<QSDatabase> databases);
  void upsertProject(const QSProject& project);
  void upsertDatabase(const QSDatabase& database);

  QSViewModelClock clock_;
  std::vector<QSProject> projects_;
  std::vector<QSDatabase> databases_;
  std::map<QSUUID, QSServerViewModel*> serverViewModels_;
  std::map<QSUUID, QSServer> daemonServers_;
  QSNetworkStatus network_;
  std::optional<QSMailStatus> mail_;
  QSMailBoxModel* mailBox_ = nullptr;  // a child of this model
  QString daemonVersion_;
  bool startupComplete_ = false;
  std::set<QSUUID> historyWanted_;  // projects whose history is read on every connection
  std::set<QSUUID> historyLoaded_;  // ... and asked for on this one
  QSServiceChannel* channel_ = nullptr;  // a child of this model while connected
};

}  // namespace qs
