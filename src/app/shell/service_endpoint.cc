#include "app/shell/service_endpoint.h"

#include "core/daemon/daemon_client.h"
#include "core/daemon/engine_host.h"
#include "core/engine/daemon_service.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/this_coro.hpp>

namespace qs {
namespace {

QSDaemonResult failureFor(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const QSDaemonException& e) {
    return res::Failure{e.error()};
  } catch (const std::exception& e) {
    return res::Failure{daemonError::OperationFailed{e.what()}};
  }
}

class DaemonEndpoint : public QSServiceEndpoint {
public:
  explicit DaemonEndpoint(std::shared_ptr<QSDaemonClient> client) : client_(std::move(client)) {}

  asio::awaitable<QSDaemonResult> call(QSDaemonCommand command) override {
    std::exception_ptr error;
    try {
      co_return co_await client_->call(std::move(command));
    } catch (...) {
      error = std::current_exception();
    }
    co_return failureFor(error);
  }

  // Every kind of event: `all`, mail, which a client asks for on its own, and console lines in
  // batches rather than one event a line. All are asked for before anything else goes out
  // (co_spawn starts the first requests at once, on this thread), so that no event is missed
  // between a status answer and the subscriptions. They share one stream, so that events come in
  // the order the daemon sent them (a console line before the status change it caused).
  asio::awaitable<std::shared_ptr<QSAsyncQueue<QSEvent>>> events() override {
    auto executor = co_await asio::this_coro::executor;
    auto merged = std::make_shared<QSAsyncQueue<QSEvent>>(executor);
    // Without these (an older daemon) the rest still flows.
    for (QSEventKind extra : {QSEventKind::mail, QSEventKind::logBatches})
      asio::co_spawn(executor, client_->events(extra, merged), [](std::exception_ptr) {});
    co_await client_->events(QSEventKind::all, merged);
    co_return merged;
  }

  void close() override { client_->disconnect(); }

private:
  std::shared_ptr<QSDaemonClient> client_;
};

class EngineEndpoint : public QSServiceEndpoint {
public:
  EngineEndpoint(std::shared_ptr<QSEngineHost> host, std::shared_ptr<QSAsyncQueue<QSEvent>> mirror)
      : host_(std::move(host)), mirror_(std::move(mirror)) {}

  asio::awaitable<QSDaemonResult> call(QSDaemonCommand command) override {
    if (closed_) co_return res::Failure{daemonError::NotConnected{}};
    std::exception_ptr error;
    try {
      co_return co_await host_->engine().handle(std::move(command));
    } catch (...) {
      error = std::current_exception();
    }
    co_return failureFor(error);
  }

  asio::awaitable<std::shared_ptr<QSAsyncQueue<QSEvent>>> events() override { co_return mirror_; }

  void close() override {
    closed_ = true;
    mirror_->finish();
  }

private:
  std::shared_ptr<QSEngineHost> host_;
  std::shared_ptr<QSAsyncQueue<QSEvent>> mirror_;
  bool closed_ = false;
};

}  // namespace

std::shared_ptr<QSServiceEndpoint> makeDaemonEndpoint(std::shared_ptr<QSDaemonClient> client) {
  return std::make_shared<DaemonEndpoint>(std::move(client));
}

std::shared_ptr<QSServiceEndpoint> makeEngineEndpoint(std::shared_ptr<QSEngineHost> host,
                                                      std::shared_ptr<QSAsyncQueue<QSEvent>> mirror) {
  return std::make_shared<EngineEndpoint>(std::move(host), std::move(mirror));
}

}  // namespace qs
