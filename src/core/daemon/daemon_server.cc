#include "core/daemon/daemon_server.h"

#include "core/daemon/server_peer.h"
#include "core/platform/files.h"
#include "core/platform/system_error.h"
#include "core/platform/unix_socket.h"
#include "core/protocol/daemon_framing.h"
#include "core/protocol/daemon_message.h"
#include "core/protocol/json_text_writer.h"

#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/local/stream_protocol.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <system_error>

namespace qs {
namespace {

using Socket = asio::local::stream_protocol::socket;

void prepareSocketLocation(const std::filesystem::path& socketPath) {
  // The socket lets anyone who reaches it run code as this user: a folder made for it is the
  // owner's alone.
  if (socketPath.has_parent_path()) createDirectories(socketPath.parent_path(), 0700);
  // Another daemon (one with an owner lock of its own) would lose its clients to us, and its
  // socket file when we exit.
  if (isListenedOn(socketPath)) throwSystemError("bind " + socketPath.string(), EADDRINUSE);
  try {
    removeFile(socketPath);  // left behind by a daemon that did not stop cleanly
  } catch (const QSSystemError&) {
    // binding reports what is wrong with the path
  }
}

void removeSocketFile(const std::filesystem::path& socketPath) {
  try {
    removeFile(socketPath);
  } catch (const QSSystemError&) {
    // nothing more to do on the way out
  }
}

std::optional<QSDaemonRequest> decodeRequest(const QSBytes& body) {
  try {
    return QSDaemonFraming::decode<QSDaemonRequest>(body);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

QSBytes responseFrame(const QSUUID& id, QSDaemonResult result) {
  try {
    return QSDaemonFraming::encode(QSDaemonResponse{id, std::move(result)});
  } catch (const QSDaemonException& e) {
    // Too large for one frame: the client gets the reason rather than waiting for ever.
    return QSDaemonFraming::encode(QSDaemonResponse{id, res::Failure{e.error()}});
  }
}

// The frame {"id": id, "result": result} around a result that is already compact JSON text: what
// encoding the response gives, without decoding and encoding the result again. The answer to a
// request (id: the request's), or an event for one subscription (id: the subscription's), whose
// text is then encoded once per event, not once per subscriber. Nothing when it is too large for
// a frame (an event that large cannot be sent to anyone).
std::optional<QSBytes> resultTextFrame(const QSUUID& id, const std::string& resultText) {
  std::string body;
  body.reserve(resultText.size() + 64);
  body.append(R"({"id":")").append(id.string()).append(R"(","result":)").append(resultText).append("}");
  try {
    return QSDaemonFraming::frameText(body);
  } catch (const QSDaemonException&) {
    return std::nullopt;
  }
}

}  // namespace

class QSDaemonServer::State : public std::enable_shared_from_this<State> {
public:
  State(asio::any_io_executor executor, std::shared_ptr<QSDaemonBackend> backend, std::string socketPath,
        std::string version, std::string build)
      : executor_(executor),
        backend_(std::move(backend)),
        socketPath_(std::move(socketPath)),
        version_(std::move(version)),
        build_(std::move(build)),
        acceptor_(executor),
        stopWake_(executor, asio::steady_timer::time_point::max()) {}

  void start();
  void stop();
  asio::awaitable<void> waitUntilStopped();
  std::size_t connectionCount() const { return peers_.size(); }
  void refuseShutdown(std::string message) { shutdownRefusal_ = std::move(message); }

private:
  static asio::awaitable<void> acceptClients(std::shared_ptr<State> self);
  static asio::awaitable<void> serve(std::shared_ptr<State> self, std::shared_ptr<QSServerPeer> peer);
  static asio::awaitable<void> forwardEvents(std::shared_ptr<State> self);
  void admit(Socket socket);
  asio::awaitable<bool> dispatch(QSDaemonRequest request, QSServerPeer& peer);
  asio::awaitable<QSDaemonResult> answer(const QSDaemonRequest& request, QSServerPeer& peer);
  asio::awaitable<QSDaemonResult> handleSafely(QSDaemonCommand command);
  asio::awaitable<std::optional<QSBytes>> encodedAnswer(const QSDaemonRequest& request);
  void broadcast(const QSEvent& event);
  // Takes one event of the engine's stream: a console line joins the batch being gathered, any
  // other event sends that batch on its way first.
  void take(const QSEvent& event);
  // Offers the lines gathered so far to the peers that take batches.
  void offerBatch();
  // After the events available now have been taken: each peer holding lines gets them in one
  // frame now if its socket is idle, else when the write in flight is done.
  void finishTurn();
  // Queues the frames of the lines a peer holds; false when they overflow its queue.
  bool postHeldLines(QSServerPeer& peer);
  void drop(QSServerPeer& peer);
  // Queues the "lines not shown" markers of a peer that fell behind on log lines; false when
  // they overflow its queue.
  bool postSkippedLineMarkers(QSServerPeer& peer);
  // Sends those markers once everything queued for the peer has been written.
  void tellSkippedLinesWhenDrained(const std::shared_ptr<QSServerPeer>& peer);

  asio::any_io_executor executor_;
  std::shared_ptr<QSDaemonBackend> backend_;
  std::string socketPath_;
  std::string version_;
  std::string build_;
  std::optional<std::string> shutdownRefusal_;
  asio::local::stream_protocol::acceptor acceptor_;
  std::map<QSUUID, std::shared_ptr<QSServerPeer>> peers_;
  asio::cancellation_signal stopForwarding_;
  // The console lines of one service taken since the last batch was offered, as comma-separated
  // JSON strings: escaped once, whatever the number of peers.
  std::optional<QSServiceRef> batchSource_;
  std::string batchSourceText_;
  QSJsonTextWriter batchLines_{QSCoder::wire()};
  std::size_t batchCount_ = 0;
  asio::steady_timer stopWake_;
  bool started_ = false;
  bool listening_ = false;  // the socket file at socketPath_ is ours
  bool forwarding_ = false;
  bool stopped_ = false;
};

void QSDaemonServer::State::start() {
  if (started_ || stopped_) throw std::logic_error("A daemon server can be started only once.");
  started_ = true;
  prepareSocketLocation(socketPath_);
  UniqueFd listener = listenOnUnixSocket(socketPath_, 0600, asio::socket_base::max_listen_connections);
  asio::error_code error;
  acceptor_.assign(asio::local::stream_protocol(), listener.get(), error);
  if (error) {
    removeSocketFile(socketPath_);
    throwSystemError("listen " + socketPath_, error);
  }
  listener.release();
  listening_ = true;
  forwarding_ = true;
  asio::co_spawn(executor_, acceptClients(shared_from_this()), asio::detached);
  asio::co_spawn(executor_, forwardEvents(shared_from_this()),
                 asio::bind_cancellation_slot(stopForwarding_.slot(), asio::detached));
}

void QSDaemonServer::State::stop() {
  if (stopped_) return;
  stopped_ = true;
  // Ends the forwarder's wait on the engine's stream without taking an event from it.
  if (forwarding_) stopForwarding_.emit(asio::cancellation_type::terminal);
  asio::error_code ignored;
  acceptor_.close(ignored);
  auto peers = std::move(peers_);
  peers_.clear();
  for (auto& [id, peer] : peers) peer->connection().close();
  if (listening_) removeSocketFile(socketPath_);
  stopWake_.cancel();
}

asio::awaitable<void> QSDaemonServer::State::waitUntilStopped() {
  while (!stopped_) {
    asio::error_code ignored;
    co_await stopWake_.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
  }
}

asio::awaitable<void> QSDaemonServer::State::acceptClients(std::shared_ptr<State> self) {
  asio::steady_timer pause(self->executor_);
  while (!self->stopped_) {
    asio::error_code error;
    Socket socket = co_await self->acceptor_.async_accept(asio::redirect_error(asio::use_awaitable, error));
    if (self->stopped_) break;
    if (error) {
      // Out of descriptors, for one: the listener stays readable, so retrying at once would spin.
      pause.expires_after(std::chrono::milliseconds(100));
      co_await pause.async_wait(asio::redirect_error(asio::use_awaitable, error));
      continue;
    }
    self->admit(std::move(socket));
  }
}

void QSDaemonServer::State::admit(Socket socket) {
  auto connection = QSFramedConnection::make(std::move(socket), maxQueuedBytesPerPeer, frameStallLimit);
  auto peer = std::make_shared<QSServerPeer>(QSUUID::random(), connection);
  peers_.emplace(peer->id(), peer);
  std::weak_ptr<State> weakSelf = weak_from_this();
  std::weak_ptr<QSServerPeer> weakPeer = peer;
  connection->setRefill([weakSelf, weakPeer] {
    auto self = weakSelf.lock();
    auto peer = weakPeer.lock();
    if (self && peer && peer->heldBytes() > 0 && !self->postHeldLines(*peer)) self->drop(*peer);
  });
  asio::co_spawn(executor_, serve(shared_from_this(), peer), asio::detached);
}

asio::awaitable<void> QSDaemonServer::State::serve(std::shared_ptr<State> self, std::shared_ptr<QSServerPeer> peer) {
  // One request at a time: the next is read only once the answer to this one is written, so a
  // client sees its answers in the order of its requests.
  for (;;) {
    QSFrameRead read = co_await peer->connection().receive();
    if (!read.body) break;  // closed, broken, or a frame over the limit
    std::optional<QSDaemonRequest> request = decodeRequest(*read.body);
    if (!request) break;  // after a malformed frame the stream position means nothing
    bool keepServing = co_await self->dispatch(std::move(*request), *peer);
    if (!keepServing) break;
  }
  self->drop(*peer);
}

asio::awaitable<bool> QSDaemonServer::State::dispatch(QSDaemonRequest request, QSServerPeer& peer) {
  std::optional<QSBytes> frame = co_await encodedAnswer(request);
  if (!frame) {
    QSDaemonResult result = co_await answer(request, peer);
    frame = responseFrame(request.id, std::move(result));
  }
  asio::error_code error = co_await peer.connection().write(std::move(*frame));
  // The caller gets its `ok` before every connection closes.
  if (request.command.is<cmd::ShutdownDaemon>() && !shutdownRefusal_) stop();
  co_return !error && !stopped_;
}

asio::awaitable<QSDaemonResult> QSDaemonServer::State::answer(const QSDaemonRequest& request, QSServerPeer& peer) {
  const QSDaemonCommand& command = request.command;
  if (auto subscribe = command.get<cmd::Subscribe>()) {
    peer.subscribe(subscribe->value, request.id);
    co_return res::Ok{};
  }
  if (auto unsubscribe = command.get<cmd::Unsubscribe>()) {
    peer.unsubscribe(unsubscribe->value);
    co_return res::Ok{};
  }
  if (command.is<cmd::Ping>()) co_return res::Pong{version_, build_};
  if (command.is<cmd::ShutdownDaemon>()) {
    if (shutdownRefusal_) co_return res::Failure{daemonError::OperationFailed{*shutdownRefusal_}};
    co_return res::Ok{};
  }
  co_return co_await handleSafely(command);
}

// Answers the backend keeps encoded (`status`, `listProjects`) go out as they are.
asio::awaitable<std::optional<QSBytes>> QSDaemonServer::State::encodedAnswer(const QSDaemonRequest& request) {
  std::optional<std::string> text;
  try {
    text = co_await backend_->encodedResult(request.command);
  } catch (const std::exception&) {
    co_return std::nullopt;  // handle() gives the answer, or words the failure
  }
  if (!text) co_return std::nullopt;
  co_return resultTextFrame(request.id, *text);
}

asio::awaitable<QSDaemonResult> QSDaemonServer::State::handleSafely(QSDaemonCommand command) {
  // The engine promises not to throw; should it slip, that costs one answer, not the daemon.
  try {
    co_return co_await backend_->handle(std::move(command));
  } catch (const QSDaemonException& e) {
    co_return res::Failure{e.error()};
  } catch (const std::exception& e) {
    co_return res::Failure{daemonError::OperationFailed{e.what()}};
  }
}

asio::awaitable<void> QSDaemonServer::State::forwardEvents(std::shared_ptr<State> self) {
  QSAsyncQueue<QSEvent>& events = self->backend_->eventStream();
  while (!self->stopped_) {
    std::optional<QSEvent> event = co_await events.next();
    if (!event || self->stopped_) break;
    self->take(*event);
    // What the engine produced meanwhile (the lines of a console read, typically) goes out in
    // the same turn, in as few frames as the peers' sockets allow.
    while (!self->stopped_ && events.size() > 0) {
      event = co_await events.next();
      if (!event) break;
      self->take(*event);
    }
    if (!self->stopped_) self->finishTurn();
  }
  self->forwarding_ = false;
}

namespace {

std::string eventResultText(const QSEvent& event) {
  return QSDaemonFraming::text(QSDaemonResult(res::Event{event}));
}

}  // namespace

void QSDaemonServer::State::broadcast(const QSEvent& event) {
  // Frames are only queued here, never awaited: a client that does not read cannot hold up the
  // others or the engine's stream. A client far behind misses log lines (and is told how many);
  // when even its other events overflow its queue, it is dropped.
  // Encoded when the first subscriber takes it: lines nobody is shown cost no encoding.
  std::optional<std::string> resultText;
  const auto* logLine = event.get<evt::LogLine>();
  std::vector<std::shared_ptr<QSServerPeer>> overflowing;
  for (auto& [id, peer] : peers_) {
    std::optional<QSUUID> subscription = peer->subscriptionFor(event);
    if (!subscription) continue;
    QSFramedConnection& connection = peer->connection();
    // Once behind, a peer misses lines until everything queued for it has been written, so that
    // what it does get comes in long runs between the markers.
    if (logLine && (peer->isSkippingLogLines() || connection.queuedBytes() >= logBacklogBytesPerPeer)) {
      if (peer->skipLogLine(logLine->source)) tellSkippedLinesWhenDrained(peer);
      continue;
    }
    // An event of another kind is never skipped: the lines held and the count of lines missed
    // so far go ahead of it.
    bool fits = postHeldLines(*peer);
    fits = postSkippedLineMarkers(*peer) && fits;
    if (!resultText) resultText = eventResultText(event);
    auto frame = resultTextFrame(*subscription, *resultText);
    if (!frame) break;
    if (!fits || !connection.post(std::move(*frame))) overflowing.push_back(peer);
  }
  for (auto& peer : overflowing) drop(*peer);
}

bool QSDaemonServer::State::postSkippedLineMarkers(QSServerPeer& peer) {
  auto batches = peer.batchSubscription();
  // The lines held came before those that were missed.
  bool fits = !batches || postHeldLines(peer);
  for (const auto& marker : peer.takeSkippedLogMarkers()) {
    std::optional<QSBytes> frame;
    if (batches) {
      QSJsonTextWriter line(QSCoder::wire());
      line.writeString(marker.line);
      frame = logBatchFrame(*batches, QSDaemonFraming::text(marker.source), line.text());
    } else {
      QSEvent event = marker;
      auto subscription = peer.subscriptionFor(event);
      if (subscription) frame = resultTextFrame(*subscription, eventResultText(event));
    }
    if (frame && !peer.connection().post(std::move(*frame))) fits = false;
  }
  return fits;
}

bool QSDaemonServer::State::postHeldLines(QSServerPeer& peer) {
  for (auto& frame : peer.takeHeldFrames(batchFrameBytes))
    if (!peer.connection().post(std::move(frame))) return false;
  return true;
}

void QSDaemonServer::State::take(const QSEvent& event) {
  const auto* logLine = event.get<evt::LogLine>();
  if (!logLine) {
    offerBatch();
    broadcast(event);
    return;
  }
  bool batched = false;
  for (auto& [id, peer] : peers_) batched = batched || peer->batchSubscription().has_value();
  if (batched) {
    if (batchSource_ && (*batchSource_ != logLine->source || batchLines_.text().size() >= batchFrameBytes))
      offerBatch();
    if (!batchSource_) {
      batchSource_ = logLine->source;
      batchSourceText_ = QSDaemonFraming::text(logLine->source);
    }
    std::size_t before = batchLines_.text().size();
    if (batchCount_ > 0) batchLines_.writeRaw(",");
    batchLines_.writeString(logLine->line);
    // A line too long for any frame reaches nobody, as a single event would not.
    if (batchLines_.text().size() - before + batchSourceText_.size() + 256 > QSDaemonFraming::maxFrameBytes)
      batchLines_.truncate(before);
    else
      ++batchCount_;
  }
  broadcast(event);  // to the peers that take one event per line
}

void QSDaemonServer::State::offerBatch() {
  if (!batchSource_) return;
  if (batchCount_ == 0) {
    batchSource_.reset();
    return;
  }
  std::vector<std::shared_ptr<QSServerPeer>> overflowing;
  for (auto& [id, peer] : peers_) {
    if (!peer->batchSubscription()) continue;
    QSFramedConnection& connection = peer->connection();
    // A peer whose socket has not taken what it holds misses this batch and is told how many
    // lines it missed once it has caught up.
    if (peer->isSkippingLogLines() || connection.queuedBytes() + peer->heldBytes() >= logBacklogBytesPerPeer) {
      if (peer->skipLogLine(*batchSource_, batchCount_)) tellSkippedLinesWhenDrained(peer);
      continue;
    }
    peer->holdLines(batchSourceText_, batchLines_.text(), batchCount_);
  }
  batchSource_.reset();
  batchLines_.clear();
  batchCount_ = 0;
}

void QSDaemonServer::State::finishTurn() {
  offerBatch();
  for (auto& [id, peer] : peers_)
    if (peer->heldBytes() > 0) peer->connection().requestWrite();
}

void QSDaemonServer::State::tellSkippedLinesWhenDrained(const std::shared_ptr<QSServerPeer>& peer) {
  std::weak_ptr<State> weakSelf = weak_from_this();
  std::weak_ptr<QSServerPeer> weakPeer = peer;
  peer->connection().whenDrained([weakSelf, weakPeer] {
    auto self = weakSelf.lock();
    auto peer = weakPeer.lock();
    if (self && peer && !self->postSkippedLineMarkers(*peer)) self->drop(*peer);
  });
}

void QSDaemonServer::State::drop(QSServerPeer& peer) {
  peer.connection().close();
  peers_.erase(peer.id());
}

QSDaemonServer::QSDaemonServer(asio::any_io_executor executor, std::shared_ptr<QSDaemonBackend> backend,
                               std::string socketPath, std::string version, std::string build)
    : state_(std::make_shared<State>(executor, std::move(backend), std::move(socketPath), std::move(version),
                                     std::move(build))) {}

QSDaemonServer::~QSDaemonServer() { state_->stop(); }

asio::awaitable<void> QSDaemonServer::start() {
  state_->start();
  co_return;
}

void QSDaemonServer::stop() { state_->stop(); }

asio::awaitable<void> QSDaemonServer::waitUntilStopped() {
  // The state outlives this server object while someone waits on it.
  auto state = state_;
  co_await state->waitUntilStopped();
}

std::size_t QSDaemonServer::connectionCount() const { return state_->connectionCount(); }

void QSDaemonServer::refuseShutdown(std::string message) { state_->refuseShutdown(std::move(message)); }

}  // namespace qs
