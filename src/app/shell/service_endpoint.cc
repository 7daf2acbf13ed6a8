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

// Moves the events of `source` into `merged`, which ends once the last of its `open` sources has.
asio::awaitable<void> forward(std::shared_ptr<QSAsyncQueue<QSEvent>> source,
                              std::shared_ptr<QSAsyncQueue<QSEvent>> merged, std::shared_ptr<int> open) {
  while (auto event = co_await source->next()) merged->push(std::move(*event));
  if (--*open == 0) merged->finish();
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

  // Every kind of event: `all`, and mail, which a client asks for on its own. Both are asked for
  // before anything else goes out (co_spawn starts the mail request at once, on this thread), so
  // that no event is missed between a status answer and the subscriptions.
  asio::awaitable<std::shared_ptr<QSAsyncQueue<QSEvent>>> events() override {
    auto executor = co_await asio::this_coro::executor;
    auto merged = std::make_shared<QSAsyncQueue<QSEvent>>(executor);
    auto open = std::make_shared<int>(2);
    asio::co_spawn(executor, client_->events(QSEventKind::mail),
                   [executor, merged, open](std::exception_ptr error, std::shared_ptr<QSAsyncQueue<QSEvent>> mail) {
                     // Without mail events (an older daemon) the rest still flows.
                     if (error || !mail) {
                       if (--*open == 0) merged->finish();
                       return;
                     }
                     asio::co_spawn(executor, forward(mail, merged, open), asio::detached);
                   });
    auto all = co_await client_->events(QSEventKind::all);
    asio::co_spawn(executor, forward(all, merged, open), asio::detached);
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
