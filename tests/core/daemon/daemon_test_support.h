// Shared pieces of the daemon socket tests: a small engine stand-in, a fixture serving it on a
// socket, and a raw client that speaks bytes rather than going through QSDaemonClient.
#pragma once

#include "core/daemon/daemon_server.h"
#include "core/daemon/one_shot.h"
#include "core/protocol/daemon_backend.h"
#include "core/protocol/daemon_framing.h"
#include "core/protocol/daemon_message.h"
#include "support/async_helpers.h"
#include "support/sample_records.h"
#include "support/test_support.h"

#include <asio/io_context.hpp>
#include <asio/local/stream_protocol.hpp>
#include <asio/read.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace qs::testing {

// Fails the test from inside a coroutine (where ASSERT_* cannot return).
inline void require(bool condition, const std::string& what) {
  if (!condition) throw std::runtime_error("requirement failed: " + what);
}

// The engine's part as the server sees it: answers a few commands from fixed data, answers
// `logs` with more than a frame holds, throws on `health` (which the real engine never does),
// holds `listDatabases` until the test opens the gate, and lets the test push events.
class FakeBackend : public QSDaemonBackend {
public:
  explicit FakeBackend(const asio::any_io_executor& executor) : events_(executor), gate_(executor), held_(executor) {
    for (int n = 0; n < 3; ++n) {
      QSProject project = sampleProject();
      project.id = QSUUID::random();
      project.name = "project " + std::to_string(n);
      status_.projects.push_back(project);
    }
    status_.daemonVersion = "1.2.3";
  }

  asio::awaitable<QSDaemonResult> handle(QSDaemonCommand command) override {
    if (command.is<cmd::Status>()) co_return res::Status{status_};
    if (command.is<cmd::ListProjects>()) co_return res::Projects{status_.projects};
    if (auto get = command.get<cmd::GetProject>()) co_return res::Failure{daemonError::ProjectNotFound{get->id.string()}};
    if (command.is<cmd::Logs>()) co_return res::LogLines{std::vector<std::string>(5, std::string(1 << 20, 'x'))};
    if (command.is<cmd::Health>()) throw std::runtime_error("the engine slipped");
    if (command.is<cmd::ListDatabases>()) {
      ++gatedCalls_;
      held_.succeed(std::monostate{});
      co_await gate_.wait();
      co_return res::Databases{};
    }
    co_return res::Failure{daemonError::OperationFailed{"unexpected command " + std::string(command.caseName())}};
  }

  QSAsyncQueue<QSEvent>& eventStream() override { return events_; }

  void push(QSEvent event) { events_.push(std::move(event)); }
  // Lets every held `listDatabases` (and later ones) answer.
  void openGate() { gate_.succeed(std::monostate{}); }
  int gatedCalls() const { return gatedCalls_; }
  // Returns once a `listDatabases` is being held (at once if one was). One waiter.
  asio::awaitable<void> untilHeld() { co_await held_.wait(); }

private:
  QSAsyncQueue<QSEvent> events_;
  QSOneShot<std::monostate> gate_;  // every waiter passes once it is settled
  QSOneShot<std::monostate> held_;
  QSFullStatus status_;
  int gatedCalls_ = 0;
};

// A server answering from a FakeBackend on a socket in a scratch folder, as version "1.2.3" of
// build "build-7".
class DaemonServerFixture : public ::testing::Test {
protected:
  std::unique_ptr<QSDaemonServer> makeServer() {
    return std::make_unique<QSDaemonServer>(loop.get_executor(), backend, socketPath, "1.2.3", "build-7");
  }

  // Starts the server, runs `body`, stops the server.
  void serve(std::function<asio::awaitable<void>()> body) {
    runUntilDone(loop, [&]() -> asio::awaitable<void> {
      co_await server->start();
      co_await body();
      server->stop();
    });
  }

  static void expectPong(const QSDaemonResult& result) {
    QSDaemonResult pong = res::Pong{"1.2.3", "build-7"};
    EXPECT_EQ(result, pong);
  }

  asio::io_context loop;
  TemporaryFolder folder;
  std::string socketPath = (folder / "run" / "daemon.sock").string();
  std::shared_ptr<FakeBackend> backend = std::make_shared<FakeBackend>(loop.get_executor());
  std::unique_ptr<QSDaemonServer> server = makeServer();
};

inline QSBytes frameHeader(std::uint32_t length) {
  return {std::uint8_t(length >> 24), std::uint8_t(length >> 16), std::uint8_t(length >> 8), std::uint8_t(length)};
}

// A frame whose body is `text`, whatever it holds.
inline QSBytes textFrame(const std::string& text) {
  QSBytes frame = frameHeader(static_cast<std::uint32_t>(text.size()));
  frame.insert(frame.end(), text.begin(), text.end());
  return frame;
}

inline QSBytes requestFrame(const QSUUID& id, QSDaemonCommand command) {
  return QSDaemonFraming::encode(QSDaemonRequest{id, std::move(command)});
}

inline QSEvent logLine(std::string line) { return evt::LogLine{svc::Daemon{}, std::move(line)}; }
// A server record event whose error message is `message`.
inline QSEvent serverError(std::string message) {
  return evt::ServerChanged{QSServer{QSUUID(), QSServerStatus::error, 8080, {}, {}, std::move(message)}};
}

// A client socket that writes raw bytes and reads responses frame by frame.
class RawPeer {
public:
  using Socket = asio::local::stream_protocol::socket;

  static asio::awaitable<RawPeer> connect(const std::string& path) {
    Socket socket(co_await asio::this_coro::executor);
    co_await socket.async_connect(asio::local::stream_protocol::endpoint(path), asio::use_awaitable);
    co_return RawPeer(std::move(socket));
  }

  asio::awaitable<void> write(const QSBytes& bytes) {
    co_await asio::async_write(socket_, asio::buffer(bytes), asio::use_awaitable);
  }

  // Sends a request and returns its id.
  asio::awaitable<QSUUID> send(QSDaemonCommand command) {
    QSUUID id = QSUUID::random();
    co_await write(requestFrame(id, std::move(command)));
    co_return id;
  }

  // The next response; nothing once the daemon has closed the connection.
  asio::awaitable<std::optional<QSDaemonResponse>> read() {
    QSBytes header(4);
    asio::error_code error;
    co_await asio::async_read(socket_, asio::buffer(header), asio::redirect_error(asio::use_awaitable, error));
    if (error) co_return std::nullopt;
    QSBytes body(QSDaemonFraming::bodyLength(header));
    co_await asio::async_read(socket_, asio::buffer(body), asio::redirect_error(asio::use_awaitable, error));
    if (error) co_return std::nullopt;
    co_return QSDaemonFraming::decode<QSDaemonResponse>(body);
  }

  // Sends a request and returns the answer, which must be the next response.
  asio::awaitable<QSDaemonResult> ask(QSDaemonCommand command) {
    QSUUID id = co_await send(std::move(command));
    std::optional<QSDaemonResponse> response = co_await read();
    require(response.has_value(), "an answer to " + id.string());
    require(response->id == id, "the answer carries the request's id");
    co_return response->result;
  }

  // Subscribes and returns the subscription's id.
  asio::awaitable<QSUUID> subscribe(QSEventKind kind) {
    QSDaemonCommand command = cmd::Subscribe{kind};
    QSUUID id = co_await send(std::move(command));
    std::optional<QSDaemonResponse> response = co_await read();
    require(response && response->id == id && response->result.is<res::Ok>(), "ok for subscribe");
    co_return id;
  }

  // Reads until the daemon closes the connection; returns how many whole responses came first.
  asio::awaitable<int> readUntilClosed() {
    int count = 0;
    while (co_await read()) ++count;
    co_return count;
  }

private:
  explicit RawPeer(Socket socket) : socket_(std::move(socket)) {}
  Socket socket_;
};

}  // namespace qs::testing
