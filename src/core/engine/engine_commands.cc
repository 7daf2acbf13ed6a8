// The dispatcher's branches: each command mapped to its operation and its result.
#include "core/engine/daemon_service.h"

#include "core/engine/off_loop.h"
#include "core/engine/privileged_routing.h"
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
  QSProject added = co_await projects_.addProject(c.path);  // g++ 12: no co_await inside braces
  co_return res::Project{added};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::CreateProject& c) {
  QSProject added = co_await projects_.createProject(c);
  co_return res::Project{added};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::UpdateProject& c) {
  co_return res::Project{projects_.updateProject(c.value)};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::RemoveProject& c) {
  co_await projects_.removeProject(c.id, c.dropDatabase, c.trashFolder);
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::RenameProject& c) {
  QSProject renamed = co_await projects_.renameProject(c.id, c.newName);
  co_return res::Project{renamed};
}

// Single-field project changes.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::PinSwiftVersion& c) {
  co_return res::Project{projects_.pinSwiftVersion(c)};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::SetAutoStart& c) {
  co_return res::Project{projects_.setAutoStart(c)};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::SetWatch& c) {
  co_return res::Project{projects_.setWatch(c)};
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
  co_await projects_.startServerWithDatabases(c.id);
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
  co_return res::Server{servers_->records().status(c.id)};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::ListToolchains&) {
  // Discovery runs the default compiler's --version: not on the loop.
  auto discover = [] { return QSToolchainService().discoverToolchains(); };
  auto toolchains = co_await runOffLoop(state_.workers, state_.executor, discover);
  co_return res::Toolchains{toolchains};
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

// The .test services, domains and the request log.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StartDNS&) {
  co_await network_.startDNS();
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StopDNS&) {
  co_await network_.stopDNS();
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StartProxy&) {
  co_await network_.startProxy();
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::StopProxy&) {
  co_await network_.stopProxy();
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::AddDomain& c) {
  QSDomain domain = co_await network_.addDomain(c.projectID, c.hostname, c.ssl);
  co_return res::Domain{domain};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::RemoveDomain& c) {
  co_await network_.removeDomain(c.id);
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::GetRequestLog& c) {
  state_.requireProject(c.projectID);
  co_return res::LogEntries{requestLogs_.entries(c.projectID, c.count)};
}

// .test routing's system-wide half and certificate trust.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::EnableTestRouting&) {
  co_await network_.privileged().enableTestRouting();
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::DisableTestRouting&) {
  co_await network_.privileged().disableTestRouting();
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::TrustCA&) {
  co_await network_.privileged().trustCA();
  co_return ok();
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::UntrustCA&) {
  co_await network_.privileged().untrustCA();
  co_return ok();
}

// Status, health and logs.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::Status&) {
  QSFullStatus status = co_await fullStatus();
  co_return res::Status{status};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::Health&) {
  co_return res::Health{network_.healthReport()};
}

asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::Logs& c) {
  const auto* server = c.service.get<svc::Server>();
  if (!server) failWith("Logs are only available for project servers.");
  co_return res::LogLines{servers_->records().logLines(server->id, c.lines)};
}

// Answered by the daemon server itself; reaching the engine changes nothing.
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::Subscribe&) { co_return ok(); }
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::Unsubscribe&) { co_return ok(); }
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::Ping&) { co_return ok(); }
asio::awaitable<QSDaemonResult> QSDaemonService::perform(const cmd::ShutdownDaemon&) { co_return ok(); }

}  // namespace qs
