#include "core/daemon/daemon_client.h"

#include "core/platform/system_error.h"
#include "core/protocol/daemon_error.h"
#include "core/protocol/daemon_framing.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>

#include <system_error>
#include <utility>

namespace qs {

struct QSDaemonClient::Private {};

namespace {

std::exception_ptr notConnected() { return std::make_exception_ptr(QSDaemonException(daemonError::NotConnected{})); }

}  // namespace

QSDaemonClient::QSDaemonClient(const Private&, asio::any_io_executor executor, std::string socketPath)
    : executor_(executor),
      socketPath_(std::move(socketPath)),
      connectDone_(executor, asio::steady_timer::time_point::max()) {}

std::shared_ptr<QSDaemonClient> QSDaemonClient::make(asio::any_io_executor executor, std::string socketPath) {
  return std::make_shared<QSDaemonClient>(Private{}, executor, std::move(socketPath));
}

QSDaemonClient::~QSDaemonClient() {
  finishStreams();
  if (connection_) connection_->close();
}

bool QSDaemonClient::isConnected() const { return connection_ && connection_->isOpen(); }

asio::awaitable<void> QSDaemonClient::connect() {
  auto self = shared_from_this();
  // Callers that overlap share one attempt rather than opening a connection each.
  while (connecting_) {
    asio::error_code ignored;
    co_await connectDone_.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
  }
  if (isConnected()) co_return;

  connecting_ = true;
  std::shared_ptr<QSFramedConnection> connection;
  std::exception_ptr failure;
  try {
    connection = co_await QSFramedConnection::connect(executor_, socketPath_);
  } catch (...) {
    failure = std::current_exception();
  }
  connecting_ = false;
  connectDone_.cancel();
  if (failure) std::rethrow_exception(failure);

  connection_ = connection;
  asio::co_spawn(executor_, readResponses(weak_from_this(), connection), asio::detached);
}

asio::awaitable<QSDaemonResult> QSDaemonClient::call(QSDaemonCommand command) {
  auto self = shared_from_this();
  if (!isConnected()) throw QSDaemonException(daemonError::NotConnected{});
  QSDaemonRequest request{QSUUID::random(), std::move(command)};
  QSBytes frame = QSDaemonFraming::encode(request);
  auto answer = std::make_shared<QSOneShot<QSDaemonResult>>(executor_);
  pending_.emplace(request.id, answer);

  // The answer can only come after the write; whoever settles the call first wins.
  auto connection = connection_;
  asio::error_code error = co_await connection->write(std::move(frame));
  if (error && pending_.erase(request.id) > 0)
    answer->fail(std::make_exception_ptr(QSSystemError("write " + socketPath_, error)));
  co_return co_await answer->wait();
}

asio::awaitable<QSDaemonResult> QSDaemonClient::send(QSDaemonCommand command) {
  QSDaemonResult result = co_await call(std::move(command));
  if (auto failure = result.get<res::Failure>()) throw QSDaemonException(failure->value);
  co_return result;
}

asio::awaitable<std::shared_ptr<QSAsyncQueue<QSEvent>>> QSDaemonClient::events(QSEventKind kind) {
  auto stream = std::make_shared<Stream>(executor_);
  std::exception_ptr failure;
  try {
    co_await events(kind, stream);
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure) {
    stream->finish();
    std::rethrow_exception(failure);
  }
  co_return stream;
}

asio::awaitable<void> QSDaemonClient::events(QSEventKind kind, std::shared_ptr<Stream> stream) {
  auto self = shared_from_this();
  // Registered before asking, so that an event the daemon pushes right behind its `ok` is kept.
  std::shared_ptr<Stream> earlier = std::exchange(streams_[kind], stream);
  QSDaemonCommand subscribe = cmd::Subscribe{kind};
  std::exception_ptr failure;
  try {
    co_await send(std::move(subscribe));
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure) {
    withdrawStream(kind, stream, std::move(earlier));
    std::rethrow_exception(failure);
  }
  if (earlier && earlier != stream) earlier->finish();
}

void QSDaemonClient::withdrawStream(QSEventKind kind, const std::shared_ptr<Stream>& stream,
                                    std::shared_ptr<Stream> earlier) {
  auto found = streams_.find(kind);
  if (found == streams_.end() || found->second != stream) return;  // replaced, or the connection ended
  if (earlier && !earlier->isFinished())
    found->second = std::move(earlier);
  else
    streams_.erase(found);
}

void QSDaemonClient::disconnect() {
  auto connection = std::exchange(connection_, nullptr);
  if (connection) connection->close();  // its reader sees it is no longer ours and leaves
  failAllPending(notConnected());
  finishStreams();
}

asio::awaitable<void> QSDaemonClient::readResponses(std::weak_ptr<QSDaemonClient> weakClient,
                                                    std::shared_ptr<QSFramedConnection> connection) {
  std::exception_ptr failure;
  for (;;) {
    QSFrameRead read = co_await connection->receive();
    auto client = weakClient.lock();
    if (!client || client->connection_ != connection) co_return;  // disconnected or replaced
    if (!read.body) {
      failure = read.error;
      break;
    }
    std::optional<QSDaemonResponse> response;
    try {
      response = QSDaemonFraming::decode<QSDaemonResponse>(*read.body);
    } catch (...) {
      failure = std::current_exception();
      break;
    }
    client->deliver(std::move(*response));
  }
  if (auto client = weakClient.lock(); client && client->connection_ == connection) client->connectionEnded(failure);
}

void QSDaemonClient::deliver(QSDaemonResponse response) {
  if (auto event = response.result.get<res::Event>()) {
    for (auto& [kind, stream] : streams_)
      if (matches(kind, event->value)) stream->push(event->value);
    return;
  }
  auto found = pending_.find(response.id);
  if (found == pending_.end()) return;  // its caller has already been failed
  auto answer = std::move(found->second);
  pending_.erase(found);
  answer->succeed(std::move(response.result));
}

void QSDaemonClient::connectionEnded(std::exception_ptr error) {
  // After a failed read the stream position means nothing: the connection is done. It stays in
  // place (closed) so that isConnected() says so and connect() replaces it.
  connection_->close();
  failAllPending(error ? error : notConnected());
  finishStreams();
}

void QSDaemonClient::failAllPending(std::exception_ptr error) {
  auto pending = std::move(pending_);
  pending_.clear();
  for (auto& [id, answer] : pending) answer->fail(error);
}

void QSDaemonClient::finishStreams() {
  auto streams = std::move(streams_);
  streams_.clear();
  for (auto& [kind, stream] : streams) stream->finish();
}

}  // namespace qs
