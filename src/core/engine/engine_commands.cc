// The dispatcher's branches: each command mapped to its operation, result and events.
#include "core/engine/daemon_service.h"

#include "core/engine/off_loop.h"

#include "core/runtime/project_scaffold.h"

namespace qs {
namespace {

QSDaemonResult ok() { return res::Ok{}; }

[[noreturn]] void unavailable(const std::string& sentence) {
  throw QSDaemonException(QSDaemonError(derr::OperationFailed{sentence}));
}

const char* const kNoDatabases =
    "Managing databases (PostgreSQL, MySQL, Redis) isn't available in this build of quaysided yet.";
const char* const kNoRouting =
    "The .test routing services (DNS server, reverse proxy, certificates) aren't available in this build of quaysided yet.";

}  // namespace

// Projects.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::ListProjects&) {
  co_return res::Projects{config_.projects};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::GetProject& c) {
  co_return res::Project{requireProject(c.id)};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::AddProject& c) {
  QSProject added = co_await addProject(c.path);  // g++ 12: no co_await inside braces
  co_return res::Project{added};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::CreateProject& c) {
  QSProjectScaffold::Options options = c.value;
  auto scaffold = [options] { return QSProjectScaffold::create(options); };
  auto folder = co_await runOffLoop(workers_, executor_, scaffold);
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
  co_return res::Databases{config_.databases};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::CreateDatabase&) { unavailable(kNoDatabases); }

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StartDatabase&) { unavailable(kNoDatabases); }

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StopDatabase&) { unavailable(kNoDatabases); }

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::RemoveDatabase&) { unavailable(kNoDatabases); }

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::UpdateDatabase&) { unavailable(kNoDatabases); }

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::ProvisionDatabase&) { unavailable(kNoDatabases); }

// Servers.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StartServer& c) {
  co_await startServer(c.id);
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StopServer& c) {
  co_await stopServer(c.id);
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::RestartServer& c) {
  cancelServerExitMonitor(c.id);
  co_await processManager_->stopServer(c.id);
  co_await startServer(c.id);
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::GetServerStatus& c) {
  co_return res::Server{serverStatus(c.id)};
}

// Network services and domains.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StartDNS&) { unavailable(kNoRouting); }
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StopDNS&) { unavailable(kNoRouting); }
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StartProxy&) { unavailable(kNoRouting); }
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StopProxy&) { unavailable(kNoRouting); }
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::EnableTestRouting&) { unavailable(kNoRouting); }
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::DisableTestRouting&) { unavailable(kNoRouting); }
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::AddDomain& c) {
  requireProject(c.projectID);
  unavailable(kNoRouting);
}
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::RemoveDomain& c) {
  requireProject(c.id);
  unavailable(kNoRouting);
}

// Environment.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::GetEnvVars& c) {
  co_return res::EnvVars{requireProject(c.id).environmentVariables};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::SetEnvVar& c) {
  setEnvVar(c.projectID, c.key, c.value);
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::UnsetEnvVar& c) {
  unsetEnvVar(c.projectID, c.key);
  co_return ok();
}

// Status, health and logs.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::Status&) {
  QSFullStatus status = co_await fullStatus();
  co_return res::Status{status};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::Health&) {
  QSHealthReport report;  // nothing of the routing layer runs in this build
  report.stateLoadWarning = stateLoadWarning_;
  co_return res::Health{report};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::Logs& c) {
  const auto* server = c.service.get<svc::Server>();
  if (!server) unavailable("Logs are only available for project servers.");
  co_return res::LogLines{logLines(server->id, c.lines)};
}

// Answered by the daemon server itself; reaching the engine changes nothing.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::Subscribe&) { co_return ok(); }
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::Unsubscribe&) { co_return ok(); }
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::Ping&) { co_return ok(); }
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::ShutdownDaemon&) { co_return ok(); }

}  // namespace qs
