// The service engine: the one owner, at run time, of projects, servers, databases and the network
// services. Requests become operations; every change is saved and published as an event.
//
// The engine keeps the dispatch, the state store and the event stream (QSEngineState); the
// operations live in classes that own their own state, each given the state store and, for the
// calls that cross from one to another, the other operation classes.
//
// Everything here runs on the service loop. Operations are coroutines: at each co_await another
// request may run, so an operation looks its project up again after awaiting another service.
#pragma once

#include "core/engine/database_links.h"
#include "core/engine/database_operations.h"
#include "core/engine/engine_services.h"
#include "core/engine/engine_state.h"
#include "core/engine/environment_operations.h"
#include "core/engine/mail_operations.h"
#include "core/engine/network_operations.h"
#include "core/engine/network_service_options.h"
#include "core/engine/project_operations.h"
#include "core/engine/request_logs.h"
#include "core/engine/server_supervisor.h"
#include "core/models/persistence_service.h"
#include "core/models/project_configuration.h"
#include "core/protocol/daemon_backend.h"
#include "core/runtime/server_process_managing.h"

#include <asio/any_io_executor.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace qs {

struct QSDaemonServiceOptions {
  std::string version = QS_VERSION;
  // An in-memory state to start from; the engine then saves to a throwaway location unless a
  // persistence service is given too.
  std::optional<QSProjectConfiguration> configuration;
  std::optional<QSPersistenceService> persistence;
  // Launches project servers; a QSProcessManager on the same loop when absent.
  std::shared_ptr<QSServerProcessManaging> processManager;
  // The database engines; absent until that layer is present, and then database commands fail
  // with a message that says so.
  std::shared_ptr<QSDatabaseServicing> databases;
  // Receives the engine's log lines (already prefixed "quaysided: ").
  std::function<void(const std::string&)> log;
  std::chrono::milliseconds reconciliationInterval{5000};
  QSNetworkServiceOptions network;
  // Run the SMTP mail catcher (from settings.json, into the data folder's "mail") from bootstrap
  // to shutdown.
  bool runMailCatcher = false;
  // Watch mode's quiet period, build time limit and (tests) watch cap.
  QSWatchOptions watch;
};

class QSDaemonService : public QSDaemonBackend {
public:
  // Builds the engine and loads its state (a fresh state when there is none; a logged line and a
  // fresh state when the file cannot be read, which `status` and `health` then report).
  static std::shared_ptr<QSDaemonService> make(asio::any_io_executor executor, QSDaemonServiceOptions options);
  ~QSDaemonService() override;

  // Run once after construction: orphaned engines and servers left by an earlier daemon stopped,
  // flagged servers started, the database status reconciliation started.
  asio::awaitable<void> bootstrap();
  // Run once before the process ends: new requests refused, reconciliation stopped, databases
  // and servers stopped (also a server that a request under way launches meanwhile).
  asio::awaitable<void> shutdown();
  // Waits for the blocking work under way on the worker threads to end; see
  // QSEngineHost::waitForBlockingWork.
  void waitForBlockingWork() { state_.workers.join(); }

  // Runs one command; once shutdown has begun, every command but ping fails saying so.
  asio::awaitable<QSDaemonResult> handle(QSDaemonCommand command) override;
  // `status` and `listProjects` from the text kept of every project, database and server, each
  // record written again only once it has changed; the network and mail facts are read afresh.
  asio::awaitable<std::optional<std::string>> encodedResult(const QSDaemonCommand& command) override;
  QSAsyncQueue<QSEvent>& eventStream() override { return state_.events; }

  const QSProjectConfiguration& configuration() const { return state_.config; }
  const QSPersistenceService& persistence() const { return state_.persistence; }

private:
  QSDaemonService(asio::any_io_executor executor, QSDaemonServiceOptions options);

  // Dispatch: one overload per command, so a command without a branch does not compile.
  asio::awaitable<QSDaemonResult> route(const QSDaemonCommand& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::ListProjects& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::GetProject& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::AddProject& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::CreateProject& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::UpdateProject& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::RemoveProject& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::RenameProject& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::ListDatabases& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::CreateDatabase& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::StartDatabase& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::StopDatabase& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::RemoveDatabase& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::UpdateDatabase& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::ProvisionDatabase& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::StartServer& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::StopServer& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::RestartServer& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::GetServerStatus& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::StartDNS& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::StopDNS& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::StartProxy& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::StopProxy& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::EnableTestRouting& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::DisableTestRouting& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::AddDomain& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::RemoveDomain& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::GetEnvVars& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::SetEnvVar& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::UnsetEnvVar& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::Status& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::Health& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::Logs& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::Subscribe& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::Unsubscribe& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::Ping& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::ShutdownDaemon& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::PinSwiftVersion& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::SetAutoStart& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::ListToolchains& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::SetWatch& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::GetRequestLog& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::TrustCA& command);
  asio::awaitable<QSDaemonResult> perform(const cmd::UntrustCA& command);


  asio::awaitable<QSFullStatus> fullStatus();
  // The text of fullStatus()'s `status` result.
  asio::awaitable<std::string> statusText();

  QSEngineState state_;
  std::string version_;
  bool shuttingDown_ = false;
  // Declared in the order they are built: each is given those above it (the server supervisor's
  // hooks reach the mail catcher only once it runs).
  QSRequestLogs requestLogs_;
  std::shared_ptr<QSServerSupervisor> servers_;
  QSMailOperations mail_;
  QSNetworkOperations network_;
  QSEnvironmentOperations environment_;
  QSDatabaseOperations databases_;
  QSDatabaseLinks links_;
  QSProjectOperations projects_;
};

}  // namespace qs
