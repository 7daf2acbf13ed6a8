// The dispatcher's branches: each command mapped to its operation, result and events.
#include "core/engine/daemon_service.h"

#include "core/engine/mail_catcher.h"
#include "core/engine/off_loop.h"

#include "core/platform/regex.h"
#include "core/runtime/project_scaffold.h"
#include "core/runtime/toolchain_service.h"

namespace qs {
namespace {

QSDaemonResult ok() { return res::Ok{}; }

[[noreturn]] void failWith(const std::string& sentence) {
  throw QSDaemonException(QSDaemonError(daemonError::OperationFailed{sentence}));
}

}  // namespace

// Projects.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::ListProjects&) {
  co_return res::Projects{state_.config.projects};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::GetProject& c) {
  co_return res::Project{state_.requireProject(c.id)};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::AddProject& c) {
  QSProject added = co_await addProject(c.path);  // g++ 12: no co_await inside braces
  co_return res::Project{added};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::CreateProject& c) {
  QSProjectScaffold::Options options = c.value;
  // The .env sends mail where the catcher really listens, which is not 1025 when another
  // program holds that port.
  int mailPort = mail_.projectPort();
  auto scaffold = [options, mailPort] { return QSProjectScaffold::create(options, mailPort); };
  auto folder = co_await runOffLoop(state_.workers, state_.executor, scaffold);
  QSProject added = co_await addProject(folder.string());
  co_return res::Project{added};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::UpdateProject& c) {
  co_return res::Project{updateProject(c.value)};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::RemoveProject& c) {
  co_await removeProject(c.id, c.dropDatabase, c.trashFolder);
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::RenameProject& c) {
  QSProject renamed = co_await renameProject(c.id, c.newName);
  co_return res::Project{renamed};
}

// Databases: the list is the engine's own; everything else needs the database engines.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::ListDatabases&) {
  co_return res::Databases{state_.config.databases};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::CreateDatabase& c) {
  QSDatabase created = co_await databases_.createDatabase(c);
  co_return res::Database{created};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StartDatabase& c) {
  co_await databases_.startDatabase(c.id);
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StopDatabase& c) {
  co_await databases_.stopDatabase(c.id);
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::RemoveDatabase& c) {
  co_await databases_.removeDatabase(c.id);
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::UpdateDatabase& c) {
  QSDatabase updated = co_await databases_.updateDatabase(c.value);
  co_return res::Database{updated};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::ProvisionDatabase& c) {
  QSProject linked = co_await databases_.provisionDatabase(c);
  co_return res::Project{linked};
}

// Servers.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StartServer& c) {
  co_await startServerWithDatabases(c.id);
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StopServer& c) {
  co_await servers_->stop(c.id);
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::RestartServer& c) {
  co_await links_.reconcileLinkedDatabases(c.id);
  co_await servers_->restart(c.id);
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::GetServerStatus& c) {
  co_return res::Server{servers_->status(c.id)};
}

// Environment.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::GetEnvVars& c) {
  co_return res::EnvVars{state_.requireProject(c.id).environmentVariables};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::SetEnvVar& c) {
  environment_.setEnvVar(c.projectID, c.key, c.value);
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::UnsetEnvVar& c) {
  environment_.unsetEnvVar(c.projectID, c.key);
  co_return ok();
}

// Status, health and logs.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::Status&) {
  QSFullStatus status = co_await fullStatus();
  co_return res::Status{status};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::Health&) {
  co_return res::Health{healthReport()};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::Logs& c) {
  const auto* server = c.service.get<svc::Server>();
  if (!server) failWith("Logs are only available for project servers.");
  co_return res::LogLines{servers_->logLines(server->id, c.lines)};
}

// Answered by the daemon server itself; reaching the engine changes nothing.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::Subscribe&) { co_return ok(); }
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::Unsubscribe&) { co_return ok(); }
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::Ping&) { co_return ok(); }
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::ShutdownDaemon&) { co_return ok(); }

// Single-field project changes: the engine's own record is changed, never a client's copy.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::PinSwiftVersion& c) {
  // Toolchains are chosen by their dotted version number, so nothing else could ever match.
  static const QSRegex dottedVersion(R"(\d+\.\d+(\.\d+)?)");
  QSProject& p = state_.requireProject(c.projectID);
  if (c.version && !dottedVersion.fullMatch(*c.version))
    failWith("'" + *c.version + "' isn't a Swift version; give one like 6.0 or 6.0.3.");
  p.swiftVersion = c.version;
  QSProject changed = p;
  state_.save();  // also writes or removes .swift-version
  state_.emitProjectsChanged();
  co_return res::Project{changed};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::SetAutoStart& c) {
  QSProject& p = state_.requireProject(c.projectID);
  p.autoStartServerAtLogin = c.enabled;
  QSProject changed = p;
  state_.save();
  state_.emitProjectsChanged();
  co_return res::Project{changed};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::SetWatch& c) {
  QSProject& p = state_.requireProject(c.projectID);
  p.watchMode = c.enabled;
  QSProject changed = p;
  state_.save();
  state_.emitProjectsChanged();
  servers_->watchSettingChanged(c.projectID);  // a running server is watched (or no more) at once
  co_return res::Project{changed};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::ListToolchains&) {
  // Discovery runs the default compiler's --version: not on the loop.
  auto discover = [] { return QSToolchainService().discoverToolchains(); };
  auto toolchains = co_await runOffLoop(state_.workers, state_.executor, discover);
  co_return res::Toolchains{toolchains};
}

}  // namespace qs
