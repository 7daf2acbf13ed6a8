#include "core/daemon/engine_host.h"

#include "core/daemon/daemon_backups.h"
#include "core/daemon/daemon_server.h"
#include "core/daemon/network_options.h"
#include "core/engine/daemon_service.h"
#include "core/engine/database_service_adapter.h"
#include "core/platform/paths.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>

namespace qs {

// Hands the engine's one event stream to the daemon server and to every mirror: the engine has a
// single consumer, so the copies are made here, in arrival order, without dropping any.
class QSEventTee : public QSDaemonBackend, public std::enable_shared_from_this<QSEventTee> {
public:
  QSEventTee(asio::any_io_executor executor, std::shared_ptr<QSDaemonService> engine)
      : engine_(std::move(engine)), forServer_(executor) {}

  asio::awaitable<QSDaemonResult> handle(QSDaemonCommand command) override {
    co_return co_await engine_->handle(std::move(command));
  }
  asio::awaitable<std::optional<std::string>> encodedResult(const QSDaemonCommand& command) override {
    co_return co_await engine_->encodedResult(command);
  }
  QSAsyncQueue<QSEvent>& eventStream() override { return forServer_; }

  void addMirror(std::shared_ptr<QSAsyncQueue<QSEvent>> mirror) { mirrors_.push_back(std::move(mirror)); }

  static asio::awaitable<void> pump(std::shared_ptr<QSEventTee> self) {
    for (;;) {
      std::optional<QSEvent> event = co_await self->engine_->eventStream().next();
      if (!event) break;
      for (auto& mirror : self->mirrors_) mirror->push(*event);
      self->forServer_.push(std::move(*event));
    }
    self->finish();
  }

  void finish() {
    for (auto& mirror : mirrors_) mirror->finish();
    forServer_.finish();
  }

private:
  std::shared_ptr<QSDaemonService> engine_;
  QSAsyncQueue<QSEvent> forServer_;
  std::vector<std::shared_ptr<QSAsyncQueue<QSEvent>>> mirrors_;
};

QSEngineHost::QSEngineHost(asio::any_io_executor executor, QSEngineHostOptions options)
    : executor_(executor), options_(std::move(options)) {
  databases_ = std::make_shared<QSDatabaseServiceAdapter>(executor_, QSPaths::dataFolder());
  engine_ = QSDaemonService::make(executor_, {.databases = databases_,
                                              .log = options_.log,
                                              .network = networkOptionsFromEnvironment(options_.log),
                                              .runMailCatcher = true});
  backups_ = std::make_unique<QSDaemonBackups>(executor_, engine_, databases_, options_.log);
  tee_ = std::make_shared<QSEventTee>(executor_, engine_);
  server_ = std::make_shared<QSDaemonServer>(executor_, tee_, options_.socketPath, options_.version, options_.build);
}

QSEngineHost::~QSEngineHost() {
  server_->stop();
  tee_->finish();
}

std::shared_ptr<QSAsyncQueue<QSEvent>> QSEngineHost::mirrorEvents() {
  auto mirror = std::make_shared<QSAsyncQueue<QSEvent>>(executor_);
  tee_->addMirror(mirror);
  return mirror;
}

asio::awaitable<void> QSEngineHost::start(const bool& stopRequested) {
  asio::co_spawn(executor_, QSEventTee::pump(tee_), asio::detached);
  backups_->start();
  co_await engine_->bootstrap();
  if (!stopRequested) co_await server_->start();
}

void QSEngineHost::waitForBlockingWork() {
  backups_->waitForBlockingWork();
  engine_->waitForBlockingWork();
  databases_->waitForBlockingWork();
}

asio::awaitable<void> QSEngineHost::shutdown() {
  if (shutDown_) co_return;
  shutDown_ = true;
  server_->stop();
  backups_->stop();
  co_await engine_->shutdown();
}

}  // namespace qs
