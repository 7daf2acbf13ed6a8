#include "app/shell/service_channel.h"

#include "app/shell/service_endpoint.h"
#include "app/shell/service_loop.h"

#include <QMetaObject>
#include <QPointer>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>

#include <atomic>
#include <mutex>

namespace qs {

// What the loop thread and the GUI thread share: the batch of events not yet taken.
struct QSServiceChannel::Shared {
  std::mutex mutex;
  std::vector<QSEvent> batch;
  bool deliveryQueued = false;
  std::atomic<bool> closed{false};
};

namespace {

// Runs `work` on the GUI thread (the thread of `target`) unless `target` is gone by then.
template <class F>
void onGuiThread(QPointer<QSServiceChannel> target, F work) {
  QSServiceChannel* raw = target.data();
  if (!raw) return;
  QMetaObject::invokeMethod(
      raw, [target, work = std::move(work)]() mutable {
        if (target) work(*target);
      },
      Qt::QueuedConnection);
}

asio::awaitable<void> pumpEvents(std::shared_ptr<QSServiceEndpoint> endpoint,
                                 std::shared_ptr<QSServiceChannel::Shared> shared,
                                 QPointer<QSServiceChannel> channel) {
  std::shared_ptr<QSAsyncQueue<QSEvent>> stream;
  try {
    stream = co_await endpoint->events();
  } catch (const std::exception&) {
  }
  while (stream) {
    std::optional<QSEvent> event = co_await stream->next();
    if (!event) break;
    std::lock_guard lock(shared->mutex);
    shared->batch.push_back(std::move(*event));
    if (shared->deliveryQueued) continue;
    shared->deliveryQueued = true;
    onGuiThread(channel, [](QSServiceChannel& c) { emit c.eventsAvailable(); });
  }
  if (shared->closed) co_return;
  onGuiThread(channel, [shared](QSServiceChannel& c) {
    // Deliver what came before the end first, so that the mirror is complete when it is told.
    emit c.eventsAvailable();
    if (!shared->closed) emit c.ended();
  });
}

}  // namespace

QSServiceChannel::QSServiceChannel(QSServiceLoop& loop, std::shared_ptr<QSServiceEndpoint> endpoint, QObject* parent)
    : QObject(parent), loop_(loop), endpoint_(std::move(endpoint)), shared_(std::make_shared<Shared>()) {}

QSServiceChannel::~QSServiceChannel() {
  close();
  // The endpoint (a daemon client) belongs to the loop: it is released there.
  loop_.post([endpoint = std::move(endpoint_)] {});
}

void QSServiceChannel::send(const QSDaemonCommand& command, Reply reply) {
  if (shared_->closed) {
    reply(res::Failure{daemonError::NotConnected{}});
    return;
  }
  QPointer<QSServiceChannel> self(this);
  auto shared = shared_;
  auto endpoint = endpoint_;
  loop_.post([endpoint, command, reply = std::move(reply), self, shared, &loop = loop_]() mutable {
    asio::co_spawn(loop.executor(), endpoint->call(std::move(command)),
                   [reply = std::move(reply), self, shared](std::exception_ptr, QSDaemonResult result) mutable {
                     if (shared->closed) return;
                     onGuiThread(self, [reply = std::move(reply), result = std::move(result)](QSServiceChannel&) {
                       reply(result);
                     });
                   });
  });
}

void QSServiceChannel::subscribe() {
  if (subscribed_ || shared_->closed) return;
  subscribed_ = true;
  QPointer<QSServiceChannel> self(this);
  auto shared = shared_;
  auto endpoint = endpoint_;
  loop_.post([endpoint, shared, self, &loop = loop_] {
    asio::co_spawn(loop.executor(), pumpEvents(endpoint, shared, self), asio::detached);
  });
}

void QSServiceChannel::close() {
  if (shared_->closed.exchange(true)) return;
  auto endpoint = endpoint_;
  loop_.post([endpoint] { endpoint->close(); });
}

bool QSServiceChannel::isClosed() const { return shared_->closed; }

std::vector<QSEvent> QSServiceChannel::takeEvents() {
  std::lock_guard lock(shared_->mutex);
  shared_->deliveryQueued = false;
  return std::exchange(shared_->batch, {});
}

}  // namespace qs
