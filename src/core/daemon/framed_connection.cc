#include "core/daemon/framed_connection.h"

#include "core/platform/system_error.h"
#include "core/protocol/daemon_error.h"
#include "core/protocol/daemon_framing.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/experimental/awaitable_operators.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include <algorithm>
#include <memory>
#include <span>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

namespace qs {

struct QSFramedConnection::Private {};

namespace {

// Room for one read: many short frames, or the first part of a long one.
constexpr std::size_t readChunkBytes = 64 * 1024;
// What one write takes from the queue at most (one frame even when it is longer): enough to
// make a burst of events cheap, little enough that an answer queued behind it is not held up.
constexpr std::size_t maxBytesPerWrite = 256 * 1024;

std::exception_ptr notConnected() { return std::make_exception_ptr(QSDaemonException(daemonError::NotConnected{})); }

std::exception_ptr readFailure(const asio::error_code& error, bool closedHere) {
  // An orderly close by the peer (EOF) and our own close() both mean "no longer connected";
  // anything else (a reset, for one) is reported as the socket said it.
  if (closedHere || error == asio::error::eof) return notConnected();
  return std::make_exception_ptr(QSSystemError("read", error));
}

}  // namespace

QSFramedConnection::QSFramedConnection(const Private&, Socket socket, std::size_t maxQueuedBytes,
                                       std::optional<std::chrono::milliseconds> stallLimit)
    : socket_(std::move(socket)), maxQueuedBytes_(maxQueuedBytes), stallLimit_(stallLimit) {}

std::shared_ptr<QSFramedConnection> QSFramedConnection::make(Socket socket, std::size_t maxQueuedBytes,
                                                             std::optional<std::chrono::milliseconds> stallLimit) {
  return std::make_shared<QSFramedConnection>(Private{}, std::move(socket), maxQueuedBytes, stallLimit);
}

asio::awaitable<std::shared_ptr<QSFramedConnection>> QSFramedConnection::connect(asio::any_io_executor executor,
                                                                                 const std::string& path,
                                                                                 std::size_t maxQueuedBytes) {
  Socket socket(executor);
  asio::error_code error;
  asio::local::stream_protocol::endpoint endpoint;
  try {
    endpoint.path(path);
  } catch (const std::system_error& e) {
    error = e.code();  // longer than a socket address holds
  }
  if (!error) co_await socket.async_connect(endpoint, asio::redirect_error(asio::use_awaitable, error));
  if (error) throwSystemError("connect " + path, error);
  co_return make(std::move(socket), maxQueuedBytes);
}

asio::awaitable<bool> QSFramedConnection::fillInbox(std::size_t count, std::exception_ptr& failure) {
  while (open_ && inboxEnd_ - inboxStart_ < count) {
    if (inboxEnd_ == inbox_.size()) makeRoom(count);
    // Between frames a peer may be silent as long as it likes; within one it must keep coming.
    bool withinFrame = inboxEnd_ > inboxStart_;
    asio::error_code error;
    std::size_t read = co_await readSome(withinFrame && stallLimit_, error);
    if (error || !open_) {
      failure = error == asio::error::timed_out ? std::make_exception_ptr(QSSystemError("read", error))
                                                : readFailure(error, !open_);
      if (error == asio::error::timed_out) close();  // the stream position means nothing now
      co_return false;
    }
    inboxEnd_ += read;
  }
  if (!open_) {
    failure = notConnected();
    co_return false;
  }
  co_return true;
}

void QSFramedConnection::makeRoom(std::size_t count) {
  if (inboxStart_ > 0) {
    std::copy(inbox_.begin() + inboxStart_, inbox_.begin() + inboxEnd_, inbox_.begin());
    inboxEnd_ -= inboxStart_;
    inboxStart_ = 0;
  }
  if (inboxEnd_ < inbox_.size()) return;
  // Grown as the bytes come, doubling, never past what the frame needs: a header that
  // announces 4 MiB costs nothing until the bytes are really sent.
  inbox_.resize(std::max(readChunkBytes, std::min(count, 2 * inbox_.size())));
}

asio::awaitable<std::size_t> QSFramedConnection::readSome(bool limited, asio::error_code& error) {
  auto room = asio::buffer(inbox_.data() + inboxEnd_, inbox_.size() - inboxEnd_);
  if (!limited) co_return co_await socket_.async_read_some(room, asio::redirect_error(asio::use_awaitable, error));
  using namespace asio::experimental::awaitable_operators;
  asio::steady_timer stall(socket_.get_executor(), *stallLimit_);
  asio::error_code stallError;
  auto outcome = co_await (socket_.async_read_some(room, asio::redirect_error(asio::use_awaitable, error)) ||
                           stall.async_wait(asio::redirect_error(asio::use_awaitable, stallError)));
  if (outcome.index() == 1) {
    error = asio::error::timed_out;
    co_return 0;
  }
  co_return std::get<0>(outcome);
}

QSBytes QSFramedConnection::takeFromInbox(std::size_t count) {
  QSBytes bytes(inbox_.begin() + inboxStart_, inbox_.begin() + inboxStart_ + count);
  inboxStart_ += count;
  if (inboxStart_ == inboxEnd_) {
    inboxStart_ = inboxEnd_ = 0;
    // One large frame should not pin megabytes to an idle connection.
    if (inbox_.size() > readChunkBytes) QSBytes(readChunkBytes).swap(inbox_);
  }
  return bytes;
}

asio::awaitable<QSFrameRead> QSFramedConnection::receive() {
  QSFrameRead read;
  if (!co_await fillInbox(QSDaemonFraming::headerByteCount, read.error)) co_return read;
  std::uint32_t length = 0;
  try {
    length = QSDaemonFraming::bodyLength(
        std::span<const std::uint8_t>(inbox_.data() + inboxStart_, QSDaemonFraming::headerByteCount));
  } catch (const QSDaemonException&) {
    read.error = std::current_exception();
    co_return read;
  }
  if (!co_await fillInbox(QSDaemonFraming::headerByteCount + length, read.error)) co_return read;
  inboxStart_ += QSDaemonFraming::headerByteCount;
  read.body = takeFromInbox(length);
  co_return read;
}

bool QSFramedConnection::post(QSBytes frame) { return enqueue({std::move(frame), nullptr}); }

asio::awaitable<asio::error_code> QSFramedConnection::write(QSBytes frame) {
  if (!open_) co_return asio::error::not_connected;
  auto written = std::make_shared<QSOneShot<asio::error_code>>(socket_.get_executor());
  if (!enqueue({std::move(frame), written})) co_return asio::error::no_buffer_space;
  co_return co_await written->wait();
}

bool QSFramedConnection::enqueue(Outgoing item) {
  if (!open_) return false;
  if (item.frame.size() > maxQueuedBytes_ - queuedBytes_) {
    // The peer has stopped reading (or reads far slower than it is sent to): holding on would
    // only grow the daemon's memory. It can reconnect and ask for a fresh status.
    close();
    return false;
  }
  queuedBytes_ += item.frame.size();
  outgoing_.push_back(std::move(item));
  if (!writing_) {
    writing_ = true;
    asio::co_spawn(socket_.get_executor(), writeQueued(shared_from_this()), asio::detached);
  }
  return true;
}

asio::awaitable<void> QSFramedConnection::writeQueued(std::shared_ptr<QSFramedConnection> self) {
  // Queued frames are copied into one buffer and leave the queue first, so close() cannot free
  // their bytes under the write; their sizes still count against the limit until they are out.
  // One write per turn of the loop then carries a whole burst of events, not a frame.
  QSBytes batch;
  std::vector<std::shared_ptr<QSOneShot<asio::error_code>>> waiting;
  while (self->open_) {
    if (self->outgoing_.empty() && self->refill_) {
      auto refill = self->refill_;  // it may close the connection, which lets go of refill_
      refill();
    }
    if (self->open_ && self->outgoing_.empty() && self->drained_) std::exchange(self->drained_, nullptr)();
    if (!self->open_ || self->outgoing_.empty()) break;
    batch.clear();
    waiting.clear();
    auto& queue = self->outgoing_;
    while (!queue.empty() && (batch.empty() || batch.size() + queue.front().frame.size() <= maxBytesPerWrite)) {
      if (batch.empty() && queue.front().frame.size() >= maxBytesPerWrite && !queue.front().written) {
        batch.swap(queue.front().frame);  // one large frame: no copy
      } else {
        batch.insert(batch.end(), queue.front().frame.begin(), queue.front().frame.end());
      }
      if (queue.front().written) waiting.push_back(std::move(queue.front().written));
      queue.pop_front();
    }
    asio::error_code error;
    co_await asio::async_write(self->socket_, asio::buffer(batch), asio::redirect_error(asio::use_awaitable, error));
    if (self->open_) self->queuedBytes_ -= batch.size();
    for (auto& written : waiting) written->succeed(error);
    if (error) self->close();
  }
  self->writing_ = false;
}

void QSFramedConnection::requestWrite() {
  if (!open_ || writing_) return;
  writing_ = true;
  asio::co_spawn(socket_.get_executor(), writeQueued(shared_from_this()), asio::detached);
}

void QSFramedConnection::whenDrained(std::function<void()> handler) {
  if (!open_) return;
  if (queuedBytes_ == 0) {
    handler();
    return;
  }
  drained_ = std::move(handler);
}

void QSFramedConnection::close() {
  if (!open_) return;
  open_ = false;
  asio::error_code ignored;
  socket_.close(ignored);
  drained_ = nullptr;
  refill_ = nullptr;
  std::deque<Outgoing> dropped = std::move(outgoing_);
  outgoing_.clear();
  queuedBytes_ = 0;
  for (Outgoing& item : dropped)
    if (item.written) item.written->succeed(asio::error::operation_aborted);
}

}  // namespace qs
