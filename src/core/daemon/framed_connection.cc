#include "core/daemon/framed_connection.h"

#include "core/protocol/daemon_error.h"
#include "core/protocol/daemon_framing.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/read.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include <system_error>

namespace qs {

struct QSFramedConnection::Private {};

namespace {

std::exception_ptr notConnected() { return std::make_exception_ptr(QSDaemonException(derr::NotConnected{})); }

std::exception_ptr readFailure(const asio::error_code& error, bool closedHere) {
  // An orderly close by the peer (EOF) and our own close() both mean "no longer connected";
  // anything else (a reset, for one) is reported as the socket said it.
  if (closedHere || error == asio::error::eof) return notConnected();
  return std::make_exception_ptr(std::system_error(error, "read"));
}

}  // namespace

QSFramedConnection::QSFramedConnection(const Private&, Socket socket, std::size_t maxQueuedBytes)
    : socket_(std::move(socket)), maxQueuedBytes_(maxQueuedBytes) {}

std::shared_ptr<QSFramedConnection> QSFramedConnection::make(Socket socket, std::size_t maxQueuedBytes) {
  return std::make_shared<QSFramedConnection>(Private{}, std::move(socket), maxQueuedBytes);
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
  if (error) throw std::system_error(error, "connect " + path);
  co_return make(std::move(socket), maxQueuedBytes);
}

asio::awaitable<std::optional<QSBytes>> QSFramedConnection::readExactly(std::size_t count,
                                                                        std::exception_ptr& failure) {
  // async_read keeps asking for the bytes still missing, so a frame split into many pieces is
  // reassembled and the start of the next frame is left in the socket for the next receive.
  QSBytes bytes(count);
  asio::error_code error;
  if (open_)
    co_await asio::async_read(socket_, asio::buffer(bytes), asio::redirect_error(asio::use_awaitable, error));
  if (error || !open_) {
    failure = readFailure(error, !open_);
    co_return std::nullopt;
  }
  co_return bytes;
}

asio::awaitable<QSFrameRead> QSFramedConnection::receive() {
  QSFrameRead read;
  std::optional<QSBytes> header = co_await readExactly(QSDaemonFraming::headerByteCount, read.error);
  if (!header) co_return read;
  std::uint32_t length = 0;
  try {
    length = QSDaemonFraming::bodyLength(*header);
  } catch (const QSDaemonException&) {
    read.error = std::current_exception();
    co_return read;
  }
  read.body = co_await readExactly(length, read.error);
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
  // The frame being written leaves the queue first, so close() cannot free its bytes under the
  // write; its size still counts against the limit until it is out.
  while (self->open_ && !self->outgoing_.empty()) {
    Outgoing item = std::move(self->outgoing_.front());
    self->outgoing_.pop_front();
    asio::error_code error;
    co_await asio::async_write(self->socket_, asio::buffer(item.frame),
                               asio::redirect_error(asio::use_awaitable, error));
    if (self->open_) self->queuedBytes_ -= item.frame.size();
    if (item.written) item.written->succeed(error);
    if (error) self->close();
  }
  self->writing_ = false;
}

void QSFramedConnection::close() {
  if (!open_) return;
  open_ = false;
  asio::error_code ignored;
  socket_.close(ignored);
  std::deque<Outgoing> dropped = std::move(outgoing_);
  outgoing_.clear();
  queuedBytes_ = 0;
  for (Outgoing& item : dropped)
    if (item.written) item.written->succeed(asio::error::operation_aborted);
}

}  // namespace qs
