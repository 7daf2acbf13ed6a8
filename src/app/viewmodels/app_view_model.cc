#include "app/viewmodels/app_view_model.h"

#include "app/shell/service_channel.h"
#include "app/viewmodels/mail_box_model.h"
#include "app/viewmodels/server_view_model.h"
#include "core/protocol/daemon_command.h"
#include "core/protocol/daemon_result.h"

#include <algorithm>

namespace qs {
namespace {

template <class T>
bool assign(T& field, const T& value) {
  if (field == value) return false;
  field = value;
  return true;
}

}  // namespace

QSAppViewModel::QSAppViewModel(QSViewModelClock clock, QObject* parent) : QObject(parent), clock_(std::move(clock)) {}

QSAppViewModel::~QSAppViewModel() { disconnectFromServices(); }

void QSAppViewModel::connectToServices(QSServiceChannel* channel) {
  disconnectFromServices();
  channel_ = channel;
  channel->setParent(this);
  connect(channel, &QSServiceChannel::eventsAvailable, this, &QSAppViewModel::takeEvents);
  connect(channel, &QSServiceChannel::ended, this, &QSAppViewModel::handleConnectionLost);
  // Subscribed first, so that no change between the snapshot and the subscription is missed;
  // events that the snapshot already holds apply again without harm.
  channel->subscribe();
  refresh();
  historyLoaded_.clear();
  for (const QSUUID& id : historyWanted_) loadHistory(id);
  emit connectionChanged();
}

void QSAppViewModel::disconnectFromServices() {
  if (!channel_) return;
  QSServiceChannel* channel = channel_;
  channel_ = nullptr;
  channel->disconnect(this);
  channel->close();
  channel->deleteLater();
  emit connectionChanged();
}

void QSAppViewModel::refresh(Done done) {
  perform(cmd::Status{}, std::move(done), [this](const QSDaemonResult& result) {
    if (const auto* status = result.get<res::Status>()) applyStatus(status->value);
  });
}

const QSProject* QSAppViewModel::project(const QSUUID& id) const {
  for (const auto& p : projects_)
    if (p.id == id) return &p;
  return nullptr;
}

const QSDatabase* QSAppViewModel::database(const std::optional<QSUUID>& id) const {
  if (!id) return nullptr;
  for (const auto& d : databases_)
    if (d.id == *id) return &d;
  return nullptr;
}

QSMailBoxModel& QSAppViewModel::mailBox() {
  if (!mailBox_) mailBox_ = new QSMailBoxModel(QSMailStore::standard(), this);
  return *mailBox_;
}

QSServerViewModel* QSAppViewModel::serverViewModel(const QSUUID& projectID) {
  auto found = serverViewModels_.find(projectID);
  if (found != serverViewModels_.end()) return found->second;
  auto* model = new QSServerViewModel(projectID, clock_, this);
  if (const QSProject* p = project(projectID)) model->setProjectFolder(p->path);
  auto known = daemonServers_.find(projectID);
  QSServer initial;
  initial.id = projectID;
  if (const QSProject* p = project(projectID)) initial.port = p->port;
  model->setServer(known != daemonServers_.end() ? known->second : initial);
  serverViewModels_[projectID] = model;
  return model;
}

void QSAppViewModel::loadHistory(const QSUUID& projectID) {
  historyWanted_.insert(projectID);
  if (!channel_ || !historyLoaded_.insert(projectID).second) return;
  QPointer<QSServerViewModel> server = serverViewModel(projectID);
  std::uint64_t receivedBefore = server->consoleLinesReceived();
  QPointer<QSAppViewModel> self(this);
  perform(cmd::Logs{svc::Server{projectID}, static_cast<int>(QSServerViewModel::maxConsoleLines), false}, {},
          [self, server, projectID, receivedBefore](const QSDaemonResult& r) {
            const auto* l = r.get<res::LogLines>();
            if (!self || !server || !l) return;
            self->perform(cmd::GetRequestLog{projectID, static_cast<int>(QSServerViewModel::requestLogCapacity)}, {},
                          [server, lines = l->value, receivedBefore](const QSDaemonResult& r) {
                            const auto* entries = r.get<res::LogEntries>();
                            if (server && entries) server->restoreHistory(lines, receivedBefore, entries->value);
                          });
          });
}

void QSAppViewModel::setStartupComplete(bool complete) {
  if (assign(startupComplete_, complete)) emit startupCompleteChanged();
}

QString QSAppViewModel::projectURL(const QSProject& project) const {
  if (project.domain && network_.proxyRunning) {
    int port = project.domain->sslEnabled ? network_.proxyTLSPort.value_or(7443) : network_.proxyPort.value_or(7080);
    bool routed = network_.testRoutingEnabled;
    QString scheme = project.domain->sslEnabled ? "https" : "http";
    QString host = QString::fromStdString(project.domain->hostname);
    return routed ? scheme + "://" + host : QString("%1://%2:%3").arg(scheme, host).arg(port);
  }
  return QString("http://localhost:%1").arg(project.port);
}

void QSAppViewModel::applyStatus(const QSFullStatus& status) {
  setProjects(status.projects);
  setDatabases(status.databases);
  for (const auto& server : status.servers) applyServer(server);
  applyNetwork(status.network);
  bool changed = assign(mail_, status.mail);
  changed |= assign(daemonVersion_, QString::fromStdString(status.daemonVersion));
  if (changed) emit networkChanged();
}

void QSAppViewModel::apply(const QSEvent& event) {
  event.visit(QSOverloaded{
      [this](const evt::ProjectsChanged& e) { setProjects(e.value); },
      [this](const evt::DatabaseChanged& e) { upsertDatabase(e.value); },
      [this](const evt::DatabasesChanged& e) { setDatabases(e.value); },
      [this](const evt::ServerChanged& e) { applyServer(e.value); },
      [this](const evt::NetworkChanged& e) { applyStatus(e.value); },
      [this](const evt::LogLine& e) {
        if (const auto* server = e.source.get<svc::Server>())
          if (project(server->id)) serverViewModel(server->id)->ingestConsoleLine(e.line);
      },
      [this](const evt::RequestLogged& e) {
        if (project(e.value.projectID)) serverViewModel(e.value.projectID)->recordProxyEntry(e.value);
      },
      [this](const evt::MailReceived& e) { mailBox().ingest(e.value); },
      [this](const evt::LogBatch& e) {
        if (const auto* server = e.source.get<svc::Server>())
          if (project(server->id)) {
            auto* model = serverViewModel(server->id);
            for (const auto& line : e.lines) model->ingestConsoleLine(line);
          }
      },
  });
}

void QSAppViewModel::handleConnectionLost() {
  if (!channel_) return;
  disconnectFromServices();
  for (auto& [id, model] : serverViewModels_) model->daemonDisconnected();
  daemonServers_.clear();
  bool databasesMoved = false;
  for (auto& d : databases_) {
    if (d.status == QSDatabaseStatus::stopped || d.status == QSDatabaseStatus::error) continue;
    d.status = QSDatabaseStatus::stopped;
    databasesMoved = true;
  }
  if (databasesMoved) emit databasesChanged();
  QSNetworkStatus down = network_;
  down.dnsRunning = down.proxyRunning = down.proxyTLSRunning = down.testRoutingEnabled = false;
  applyNetwork(down);
  if (onConnectionLost) onConnectionLost();
}

void QSAppViewModel::perform(const QSDaemonCommand& command, Done done,
                             std::function<void(const QSDaemonResult&)> onSuccess) {
  if (!channel_) {
    if (done) done(notConnectedText);
    return;
  }
  QPointer<QSAppViewModel> self(this);
  channel_->send(command, [self, done = std::move(done), onSuccess = std::move(onSuccess)](const QSDaemonResult& r) {
    if (!self) return;
    if (const auto* failure = r.get<res::Failure>()) {
      if (done) done(QString::fromStdString(failure->value.message()));
      return;
    }
    if (onSuccess) onSuccess(r);
    if (done) done({});
  });
}

void QSAppViewModel::addProject(const QString& folder, Done done) {
  perform(cmd::AddProject{folder.toStdString()}, std::move(done), [this](const QSDaemonResult& r) {
    if (const auto* added = r.get<res::Project>()) upsertProject(added->value);
  });
}

void QSAppViewModel::removeProject(const QSUUID& id, bool dropDatabase, bool trashFolder, Done done) {
  perform(cmd::RemoveProject{id, dropDatabase, trashFolder}, std::move(done));
}

void QSAppViewModel::startServer(const QSUUID& id, Done done) {
  auto apply = [this](const QSDaemonResult& r) {
    if (const auto* s = r.get<res::Server>()) applyServer(s->value);
  };
  perform(cmd::StartServer{id}, std::move(done), apply);
}

void QSAppViewModel::stopServer(const QSUUID& id, Done done) {
  auto apply = [this](const QSDaemonResult& r) {
    if (const auto* s = r.get<res::Server>()) applyServer(s->value);
  };
  perform(cmd::StopServer{id}, std::move(done), apply);
}

void QSAppViewModel::restartServer(const QSUUID& id, Done done) {
  auto apply = [this](const QSDaemonResult& r) {
    if (const auto* s = r.get<res::Server>()) applyServer(s->value);
  };
  perform(cmd::RestartServer{id}, std::move(done), apply);
}

void QSAppViewModel::setEnvVar(const QSUUID& id, const QString& key, const QString& value, Done done) {
  perform(cmd::SetEnvVar{id, key.toStdString(), value.toStdString()}, std::move(done));
}

void QSAppViewModel::unsetEnvVar(const QSUUID& id, const QString& key, Done done) {
  perform(cmd::UnsetEnvVar{id, key.toStdString()}, std::move(done));
}

void QSAppViewModel::setEnvVarEnabled(const QSUUID& id, const QString& key, bool enabled, Done done) {
  const QSProject* current = project(id);
  if (!current) {
    if (done) done("That project is no longer listed.");
    return;
  }
  QSProject changed = *current;
  for (auto& variable : changed.environmentVariables)
    if (variable.key == key.toStdString()) variable.isEnabled = enabled;
  perform(cmd::UpdateProject{changed}, std::move(done), [this](const QSDaemonResult& r) {
    if (const auto* updated = r.get<res::Project>()) upsertProject(updated->value);
  });
}

void QSAppViewModel::listToolchains(std::function<void(std::vector<QSToolchain>)> done) {
  auto list = std::make_shared<std::vector<QSToolchain>>();
  perform(
      cmd::ListToolchains{}, [list, done](const QString&) { done(*list); },
      [list](const QSDaemonResult& r) {
        if (const auto* t = r.get<res::Toolchains>()) *list = t->value;
      });
}

void QSAppViewModel::takeEvents() {
  if (!channel_) return;
  for (const QSEvent& event : channel_->takeEvents()) apply(event);
}

void QSAppViewModel::applyServer(const QSServer& server) {
  daemonServers_[server.id] = server;
  auto found = serverViewModels_.find(server.id);
  if (found != serverViewModels_.end()) found->second->setServer(server);
}

void QSAppViewModel::applyNetwork(const QSNetworkStatus& network) {
  if (assign(network_, network)) emit networkChanged();
}

void QSAppViewModel::setProjects(std::vector<QSProject> projects) {
  if (!assign(projects_, projects)) return;
  for (const auto& p : projects_)
    if (auto found = serverViewModels_.find(p.id); found != serverViewModels_.end())
      found->second->setProjectFolder(p.path);
  emit projectsChanged();
}

void QSAppViewModel::setDatabases(std::vector<QSDatabase> databases) {
  if (assign(databases_, databases)) emit databasesChanged();
}

void QSAppViewModel::upsertProject(const QSProject& project) {
  std::vector<QSProject> next = projects_;
  auto found = std::find_if(next.begin(), next.end(), [&](const QSProject& p) { return p.id == project.id; });
  if (found != next.end())
    *found = project;
  else
    next.push_back(project);
  setProjects(std::move(next));
}

void QSAppViewModel::upsertDatabase(const QSDatabase& database) {
  std::vector<QSDatabase> next = databases_;
  auto found = std::find_if(next.begin(), next.end(), [&](const QSDatabase& d) { return d.id == database.id; });
  if (found != next.end())
    *found = database;
  else
    next.push_back(database);
  setDatabases(std::move(next));
}

}  // namespace qs
