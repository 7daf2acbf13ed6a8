#include "core/engine/daemon_service.h"

#include "core/platform/paths.h"
#include "core/runtime/log_parser.h"
#include "core/runtime/process_manager.h"

namespace qs {
namespace {

QSPersistenceService choosePersistence(const QSDaemonServiceOptions& options) {
  if (options.persistence) return *options.persistence;
  // An engine built over an in-memory state never touches the user's file.
  if (options.configuration)
    return QSPersistenceService(QSPaths::temporaryFolder() / ("qs-daemon-" + QSUUID::random().string()) /
                                "config.json");
  return QSPersistenceService(QSPersistenceService::defaultConfigPath());
}

std::shared_ptr<QSServerProcessManaging> processManager(asio::any_io_executor executor,
                                                       const QSDaemonServiceOptions& options) {
  if (options.processManager) return options.processManager;
  return std::make_shared<QSProcessManager>(executor);
}

// What the servers' supervisor asks of the engine. `mail`, built after the supervisor, is reached
// only once the engine is built.
QSServerSupervisor::Hooks serverHooks(QSEngineState& state, QSRequestLogs& requestLogs, QSMailOperations& mail) {
  return {
      .findProject = [&state](const QSUUID& id) -> const QSProject* { return state.project(id); },
      .emit =
          [&state, &requestLogs](QSEvent event) {
            // Only a line that may be a request is kept for the request log: no copy of the rest.
            const auto* line = event.get<evt::LogLine>();
            std::optional<evt::LogLine> console = line && QSLogParser::mayBeRequest(line->line)
                                                      ? std::optional<evt::LogLine>(*line)
                                                      : std::nullopt;
            state.emit(std::move(event));
            if (console) requestLogs.recordConsoleRequest(*console);
          },
      .mailPorts = [&mail] { return mail.ports(); },
  };
}

}  // namespace

QSDaemonService::QSDaemonService(asio::any_io_executor executor, QSDaemonServiceOptions options)
    : state_(executor, choosePersistence(options), std::move(options.configuration), std::move(options.log)),
      version_(std::move(options.version)),
      requestLogs_(state_),
      servers_(std::make_shared<QSServerSupervisor>(executor, state_.workers, processManager(executor, options),
                                                    serverHooks(state_, requestLogs_, mail_), options.watch)),
      mail_(state_, servers_, options.runMailCatcher),
      network_(state_, requestLogs_, options.network, [this] { return fullStatus(); }),
      environment_(state_, options.databases),
      databases_(state_, environment_, options.databases, options.reconciliationInterval),
      links_(state_, databases_, environment_, options.databases),
      projects_(state_, options.databases, servers_, environment_, links_, network_, requestLogs_, mail_) {}

std::shared_ptr<QSDaemonService> QSDaemonService::make(asio::any_io_executor executor, QSDaemonServiceOptions options) {
  auto engine = std::shared_ptr<QSDaemonService>(new QSDaemonService(executor, std::move(options)));
  engine->state_.owner = engine;
  return engine;
}

QSDaemonService::~QSDaemonService() {
  databases_.stopStatusReconciliation();
  state_.workers.join();
}

asio::awaitable<void> QSDaemonService::bootstrap() {
  // .test names first: database engines and servers that are slow to start never delay them.
  co_await network_.start();
  if (auto* engines = databases_.engines()) co_await engines->reapOrphanedProcesses();
  co_await links_.startLinkedDatabases();
  // A daemon that crashed left its servers running with the ports they hold.
  std::vector<QSProject> projects = state_.config.projects;
  co_await servers_->stopLeftovers(projects);
  co_await mail_.start();
  co_await projects_.autoStartProjects();
  databases_.startStatusReconciliation();
}

asio::awaitable<void> QSDaemonService::shutdown() {
  shuttingDown_ = true;
  network_.stop();
  databases_.stopStatusReconciliation();
  mail_.stop();
  if (auto* engines = databases_.engines()) co_await engines->stopAll();
  co_await servers_->stopAll();
}

asio::awaitable<QSDaemonResult> QSDaemonService::handle(QSDaemonCommand command) {
  if (shuttingDown_ && !command.is<cmd::Ping>())
    co_return res::Failure{QSDaemonError(daemonError::OperationFailed{"quaysided is shutting down."})};
  try {
    co_return co_await route(command);
  } catch (const QSDaemonException& e) {
    co_return res::Failure{e.error()};
  } catch (const std::exception& e) {
    co_return res::Failure{QSDaemonError(daemonError::OperationFailed{e.what()})};
  }
}

asio::awaitable<std::optional<std::string>> QSDaemonService::encodedResult(const QSDaemonCommand& command) {
  // handle() words the refusal while shutting down, and any failure.
  if (shuttingDown_ || !(command.is<cmd::Status>() || command.is<cmd::ListProjects>())) co_return std::nullopt;
  try {
    if (command.is<cmd::ListProjects>())
      co_return R"({"projects":{"_0":)" + state_.projectTexts.text(state_.config.projects) + "}}";
    co_return co_await statusText();
  } catch (const std::exception&) {
    co_return std::nullopt;
  }
}

asio::awaitable<QSDaemonResult> QSDaemonService::route(const QSDaemonCommand& command) {
  co_return co_await command.visit([this](const auto& c) { return perform(c); });
}

asio::awaitable<QSFullStatus> QSDaemonService::fullStatus() {
  QSNetworkStatus network = co_await network_.networkStatus();
  QSFullStatus status;
  status.projects = state_.config.projects;
  status.databases = state_.config.databases;
  status.servers = servers_->records().servers();
  status.network = std::move(network);
  status.daemonVersion = version_;
  status.stateLoadWarning = state_.stateLoadWarning;
  status.mail = mail_.status();
  co_return status;
}

namespace {

// `skeleton` with each list's text in place of its empty stand-in `"key":[]`. The stand-ins are
// found in key order; inside a string a quote is escaped, so no string value can look like one.
using ListText = std::pair<std::string_view, const std::string*>;  // a key and its list's text

std::string withLists(const std::string& skeleton, std::initializer_list<ListText> lists) {
  std::size_t size = skeleton.size();
  for (const auto& [key, text] : lists) size += text->size();
  std::string out;
  out.reserve(size);
  std::size_t from = 0;
  for (const auto& [key, text] : lists) {
    std::string standIn = "\"" + std::string(key) + "\":[]";
    std::size_t at = skeleton.find(standIn, from);
    if (at == std::string::npos) throw std::logic_error("no " + std::string(key) + " in the status text");
    std::size_t list = at + standIn.size() - 2;
    out.append(skeleton, from, list - from).append(*text);
    from = list + 2;
  }
  out.append(skeleton, from, std::string::npos);
  return out;
}

}  // namespace

asio::awaitable<std::string> QSDaemonService::statusText() {
  // As fullStatus(): the network first, then the engine's state as it is once that is known.
  QSNetworkStatus network = co_await network_.networkStatus();
  QSFullStatus rest;
  rest.network = std::move(network);
  rest.daemonVersion = version_;
  rest.stateLoadWarning = state_.stateLoadWarning;
  rest.mail = mail_.status();
  std::string skeleton = QSDaemonFraming::text(QSDaemonResult(res::Status{std::move(rest)}));
  co_return withLists(skeleton, {{"databases", &state_.databaseTexts.text(state_.config.databases)},
                                 {"projects", &state_.projectTexts.text(state_.config.projects)},
                                 {"servers", &state_.serverTexts.text(servers_->records().servers())}});
}

}  // namespace qs
