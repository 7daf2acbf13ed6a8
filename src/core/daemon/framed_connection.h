// One stream connection on the daemon socket, carrying whole frames in both directions.
#pragma once

#include "core/daemon/one_shot.h"
#include "core/platform/encoding.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/local/stream_protocol.hpp>

#include <chrono>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>

namespace qs {

// What one receive produced: a frame's body, or why the connection is over.
struct QSFrameRead {
  std::optional<QSBytes> body;
  // Set when there is no body: QSDaemonException(notConnected) when either side closed the
  // connection, the QSDaemonException of QSDaemonFraming::bodyLength for a declared length over
  // the limit, else the std::system_error of the failed read.
  std::exception_ptr error;
};

// Reads frames through a small buffer, so that a burst of short frames costs one read rather
// than two per frame, and writes frames from an outgoing queue, several whole frames per write,
// so that answers and events written by different coroutines never interleave. The queue is
// bounded: a peer that stops reading cannot make it grow without limit. Lives on one loop;
// shared with its writer.
class QSFramedConnection : public std::enable_shared_from_this<QSFramedConnection> {
public:
  using Socket = asio::local::stream_protocol::socket;
  static constexpr std::size_t unlimited = std::numeric_limits<std::size_t>::max();

  // Wraps a connected socket. At most `maxQueuedBytes` of frames may wait to be written. With a
  // `stallLimit`, a frame that has begun to arrive must make progress: a read in the middle of
  // a frame that brings nothing for that long ends the receive (a peer may stay silent for as
  // long as it likes between frames).
  static std::shared_ptr<QSFramedConnection> make(Socket socket, std::size_t maxQueuedBytes = unlimited,
                                                  std::optional<std::chrono::milliseconds> stallLimit = std::nullopt);
  // Connects to the Unix-domain socket at `path`. Throws QSSystemError naming the path, e.g.
  // "connect /x/daemon.sock: No such file or directory" or "...: Connection refused".
  static asio::awaitable<std::shared_ptr<QSFramedConnection>> connect(asio::any_io_executor executor,
                                                                      const std::string& path,
                                                                      std::size_t maxQueuedBytes = unlimited);

  // Reads one frame: 4 header bytes, then the declared number of body bytes. A declared length
  // above QSDaemonFraming::maxFrameBytes ends the receive as soon as the header is in, without
  // waiting for (or reading on to) the body. The read buffer grows with the bytes that arrive,
  // not with the length a header declares. A frame that stalls past the stall limit ends the
  // receive with std::system_error(timed_out) and closes the connection.
  // One receive at a time. Never throws: how the connection ended is in the result.
  asio::awaitable<QSFrameRead> receive();

  // Queues a whole frame and returns at once; frames are written in queue order. False when the
  // connection is closed, or when the frame would take the queued bytes over the limit, in which
  // case the connection is closed.
  bool post(QSBytes frame);
  // Queues a frame like post() and waits until it has been written. Returns the write's error:
  // none, the socket's error (e.g. broken_pipe), asio::error::not_connected when the connection
  // was closed already, no_buffer_space over the limit, operation_aborted when closed meanwhile.
  asio::awaitable<asio::error_code> write(QSBytes frame);

  // Calls `handler` once, the next time every queued frame has been written; at once when
  // nothing is queued. A later call replaces a handler that has not run yet; close() drops it.
  void whenDrained(std::function<void()> handler);

  // `refill` is called whenever the queue has been written out and the socket could take more:
  // it may post frames its owner held back meanwhile (the lines that came while a write was in
  // flight, as one frame). close() drops it.
  void setRefill(std::function<void()> refill) { refill_ = std::move(refill); }
  // Gives the refill a turn now when no write is in flight (when one is, it comes once that
  // write is done).
  void requestWrite();

  // Closes the socket: a waiting receive ends, queued frames are dropped. Idempotent.
  void close();
  bool isOpen() const { return open_; }
  // Bytes of frames queued and not yet completely written.
  std::size_t queuedBytes() const { return queuedBytes_; }
  // Bytes held for incoming data (the read buffer's size).
  std::size_t readBufferBytes() const { return inbox_.size(); }

  struct Private;
  QSFramedConnection(const Private&, Socket socket, std::size_t maxQueuedBytes,
                     std::optional<std::chrono::milliseconds> stallLimit);

private:
  struct Outgoing {
    QSBytes frame;
    std::shared_ptr<QSOneShot<asio::error_code>> written;  // absent for post()
  };

  bool enqueue(Outgoing item);
  // Reads until at least `count` unconsumed bytes are buffered; false (with `error` set) when
  // the connection ends first.
  asio::awaitable<bool> fillInbox(std::size_t count, std::exception_ptr& error);
  // Makes room behind the buffered bytes for at least one more, towards `count` in all.
  void makeRoom(std::size_t count);
  // One read into the room behind the buffered bytes; with `limited`, timed_out when nothing
  // comes within the stall limit.
  asio::awaitable<std::size_t> readSome(bool limited, asio::error_code& error);
  // Hands out the next `count` buffered bytes.
  QSBytes takeFromInbox(std::size_t count);
  static asio::awaitable<void> writeQueued(std::shared_ptr<QSFramedConnection> self);

  Socket socket_;
  QSBytes inbox_;  // read buffer: bytes [inboxStart_, inboxEnd_) are read and not yet handed out
  std::size_t inboxStart_ = 0;
  std::size_t inboxEnd_ = 0;
  std::size_t maxQueuedBytes_;
  std::optional<std::chrono::milliseconds> stallLimit_;
  std::deque<Outgoing> outgoing_;
  std::size_t queuedBytes_ = 0;
  std::function<void()> drained_;
  std::function<void()> refill_;
  bool writing_ = false;
  bool open_ = true;
};

}  // namespace qs
