#include "core/engine/daemon_service.h"
#include "core/runtime/log_parser.h"

#include "core/engine/off_loop.h"
#include "core/platform/paths.h"
#include "core/routing/certificate_service.h"
#include "core/routing/dns_server.h"
#include "core/routing/domain_service.h"
#include "core/runtime/process_manager.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>

#include <cstdio>

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

}  // namespace

QSDaemonService::QSDaemonService(asio::any_io_executor executor, QSDaemonServiceOptions options)
    : executor_(executor),
      version_(std::move(options.version)),
      persistence_(choosePersistence(options)),
      databases_(std::move(options.databases)),
      log_(std::move(options.log)),
      reconciliationInterval_(options.reconciliationInterval),
      runMailCatcher_(options.runMailCatcher),
      events_(executor),
      network_(options.network) {
  auto processManager = options.processManager ? options.processManager : std::make_shared<QSProcessManager>(executor);
  QSServerSupervisor::Hooks hooks{
      .findProject = [this](const QSUUID& id) -> const QSProject* { return project(id); },
      .emit =
          [this](QSEvent event) {
            // Only a line that may be a request is kept for the request log: no copy of the rest.
            const auto* line = event.get<evt::LogLine>();
            std::optional<evt::LogLine> console = line && QSLogParser::mayBeRequest(line->line)
                                                      ? std::optional<evt::LogLine>(*line)
                                                      : std::nullopt;
            emit(std::move(event));
            if (console) recordConsoleRequest(*console);
          },
      .mailPorts = [this] { return mail_ ? mail_->ports() : std::nullopt; },
  };
  servers_ = std::make_shared<QSServerSupervisor>(executor, workers_, std::move(processManager), std::move(hooks),
                                                  options.watch);
  makeNetworkServices(network_);
  if (options.configuration)
    config_ = std::move(*options.configuration);
  else
    config_ = persistence_.loadForOwner("", [this](const std::string& line) {
      log(logPrefix + line);
      stateLoadWarning_ = line;
    });
  // Whether an engine runs is known only by asking it (bootstrap does): a status saved by an
  // earlier daemon says nothing about now.
  if (!options.configuration)
    for (auto& db : config_.databases)
      if (db.status == QSDatabaseStatus::running) db.status = QSDatabaseStatus::stopped;
}

std::shared_ptr<QSDaemonService> QSDaemonService::make(asio::any_io_executor executor, QSDaemonServiceOptions options) {
  return std::shared_ptr<QSDaemonService>(new QSDaemonService(executor, std::move(options)));
}

QSDaemonService::~QSDaemonService() {
  if (statusReconciliationTask_) statusReconciliationTask_->cancel();
  workers_.join();
}

void QSDaemonService::log(const std::string& line) const {
  if (log_)
    log_(line);
  else
    std::fprintf(stderr, "%s\n", line.c_str());
}

asio::awaitable<void> QSDaemonService::bootstrap() {
  // .test names first: database engines and servers that are slow to start never delay them.
  co_await startNetworkServices();
  if (databases_) co_await databases_->reapOrphanedProcesses();
  co_await startLinkedDatabases();
  // A daemon that crashed left its servers running with the ports they hold.
  std::vector<QSProject> projects = config_.projects;
  co_await servers_->stopLeftovers(projects);
  if (runMailCatcher_) co_await startMailCatcher();
  co_await autoStartProjects();
  if (!statusReconciliationTask_) startStatusReconciliation();
}

asio::awaitable<void> QSDaemonService::shutdown() {
  shuttingDown_ = true;
  stopNetworkServices();
  if (statusReconciliationTask_) {
    statusReconciliationTask_->cancel();
    statusReconciliationTask_.reset();
  }
  if (mail_) mail_->stop();
  if (databases_) co_await databases_->stopAll();
  co_await servers_->stopAll();
}

asio::awaitable<void> QSDaemonService::startMailCatcher() {
  QSMailCatcher::Hooks hooks{
      .emit = [this](QSEvent event) { emit(std::move(event)); },
      .log = [this](const std::string& line) { log(line); },
      .serverPIDs = [this] { return servers_->serverProcessIDs(); },
      .projectName = [this](const QSUUID& id) -> std::optional<std::string> {
        const QSProject* p = project(id);
        return p ? std::optional<std::string>(p->name) : std::nullopt;
      },
  };
  mail_ = std::make_shared<QSMailCatcher>(executor_, workers_, QSMailStore::standard(), std::move(hooks));
  co_await mail_->start(QSMailSettings::read(QSSettings::standard()));
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
      co_return R"({"projects":{"_0":)" + projectTexts_.text(config_.projects) + "}}";
    co_return co_await statusText();
  } catch (const std::exception&) {
    co_return std::nullopt;
  }
}

asio::awaitable<QSDaemonResult> QSDaemonService::route(const QSDaemonCommand& command) {
  co_return co_await command.visit([this](const auto& c) { return perform(c); });
}

void QSDaemonService::save() {
  try {
    persistence_.save(config_);
  } catch (const std::exception& e) {
    // The in-memory state stays authoritative; the next successful save writes all of it.
    log(std::string(logPrefix) + "couldn't save config.json: " + e.what());
  }
}

void QSDaemonService::emit(QSEvent event) { events_.push(std::move(event)); }

void QSDaemonService::emitProjectsChanged() { emit(evt::ProjectsChanged{config_.projects}); }

// Database status reconciliation: a database recorded as running whose engine has gone is
// reported stopped. Nothing is saved: the status is run-time knowledge.
void QSDaemonService::startStatusReconciliation() {
  auto timer = std::make_shared<asio::steady_timer>(executor_);
  statusReconciliationTask_ = timer;
  std::weak_ptr<QSDaemonService> weak = weak_from_this();
  auto interval = reconciliationInterval_;
  asio::co_spawn(
      executor_,
      [weak, timer, interval]() -> asio::awaitable<void> {
        for (;;) {
          timer->expires_after(interval);
          asio::error_code ec;
          co_await timer->async_wait(asio::redirect_error(asio::use_awaitable, ec));
          if (ec) co_return;  // cancelled
          auto self = weak.lock();
          if (!self) co_return;
          co_await self->reconcileDatabaseStatuses();
        }
      },
      asio::detached);
}

asio::awaitable<void> QSDaemonService::reconcileDatabaseStatuses() {
  if (!databases_) co_return;
  std::vector<QSUUID> candidates;
  for (const auto& db : config_.databases)
    if (db.type != QSDatabaseType::sqlite && db.status == QSDatabaseStatus::running) candidates.push_back(db.id);
  for (const auto& id : candidates) {
    QSDatabaseType type{};
    for (const auto& db : config_.databases)
      if (db.id == id) type = db.type;
    auto live = co_await databases_->status(type);
    if (live == QSDatabaseStatus::running) continue;
    for (auto& db : config_.databases) {
      if (db.id == id && db.status == QSDatabaseStatus::running) {
        db.status = QSDatabaseStatus::stopped;
        emit(evt::DatabaseChanged{db});
      }
    }
  }
}

asio::awaitable<QSFullStatus> QSDaemonService::fullStatus() {
  QSNetworkStatus network = co_await networkStatus();
  QSFullStatus status;
  status.projects = config_.projects;
  status.databases = config_.databases;
  status.servers = servers_->servers();
  status.network = std::move(network);
  status.daemonVersion = version_;
  status.stateLoadWarning = stateLoadWarning_;
  if (mail_) status.mail = mail_->status();
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
  QSNetworkStatus network = co_await networkStatus();
  QSFullStatus rest;
  rest.network = std::move(network);
  rest.daemonVersion = version_;
  rest.stateLoadWarning = stateLoadWarning_;
  if (mail_) rest.mail = mail_->status();
  std::string skeleton = QSDaemonFraming::text(QSDaemonResult(res::Status{std::move(rest)}));
  co_return withLists(skeleton, {{"databases", &databaseTexts_.text(config_.databases)},
                                 {"projects", &projectTexts_.text(config_.projects)},
                                 {"servers", &serverTexts_.text(servers_->servers())}});
}

}  // namespace qs
