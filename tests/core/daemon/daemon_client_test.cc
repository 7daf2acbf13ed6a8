#include "core/daemon/daemon_client.h"
#include "core/daemon/daemon_server.h"
#include "daemon_test_support.h"

#include <asio/detached.hpp>
#include <asio/experimental/awaitable_operators.hpp>

#include <memory>

namespace qs {
namespace {

using namespace asio::experimental::awaitable_operators;
using testing::FakeBackend;
using testing::require;

// The QSDaemonError that `call` threw, or a requirement failure.
asio::awaitable<QSDaemonError> thrownDaemonError(std::function<asio::awaitable<void>()> call) {
  try {
    co_await call();
  } catch (const QSDaemonException& e) {
    co_return e.error();
  }
  throw std::runtime_error("no QSDaemonException was thrown");
}

class DaemonClientTest : public testing::DaemonServerFixture {
protected:
  std::shared_ptr<QSDaemonClient> client = QSDaemonClient::make(loop.get_executor(), socketPath);

  // Serves with the client connected.
  void serve(std::function<asio::awaitable<void>()> body) {
    DaemonServerFixture::serve([&]() -> asio::awaitable<void> {
      co_await client->connect();
      co_await body();
      client->disconnect();
    });
  }

  asio::awaitable<QSDaemonResult> ping() {
    QSDaemonCommand command = cmd::Ping{};
    co_return co_await client->call(command);
  }
};

// Calls made at once each get their own answer; connecting again keeps the one connection; a
// failure is returned by call and thrown by send.
TEST_F(DaemonClientTest, CallsOnTheOneConnectionAndTheirFailures) {
  serve([&]() -> asio::awaitable<void> {
    co_await (client->connect() && client->connect());
    QSDaemonCommand status = cmd::Status{}, projects = cmd::ListProjects{};
    auto [pong, full, list] = co_await (ping() && client->call(status) && client->call(projects));
    expectPong(pong);
    require(full.is<res::Status>() && list.is<res::Projects>(), "status and projects answers");
    EXPECT_EQ(full.get<res::Status>()->value.projects, list.get<res::Projects>()->value);
    EXPECT_EQ(server->connectionCount(), 1u);

    QSUUID id = QSUUID::random();
    QSDaemonCommand get = cmd::GetProject{id};
    QSDaemonResult answer = co_await client->call(get);
    QSDaemonResult expected = res::Failure{daemonError::ProjectNotFound{id.string()}};
    EXPECT_EQ(answer, expected);

    QSDaemonError thrown = co_await thrownDaemonError([&]() -> asio::awaitable<void> { co_await client->send(get); });
    EXPECT_TRUE(thrown.is<daemonError::ProjectNotFound>());
    EXPECT_EQ(thrown.message(), "No project matching '" + id.string() + "'.");
  });
}

// A call waiting for its answer fails when the daemon goes away or the client disconnects; the
// event streams end with the connection, and the client reconnects to a new daemon.
TEST_F(DaemonClientTest, WaitingCallsFailWhenTheConnectionEnds) {
  for (bool daemonStops : {true, false}) {
    backend = std::make_shared<FakeBackend>(loop.get_executor());  // its gate opens once
    server = makeServer();
    serve([&]() -> asio::awaitable<void> {
      auto stream = co_await client->events(QSEventKind::all);
      QSDaemonCommand held = cmd::ListDatabases{};
      auto waiting = [&]() -> asio::awaitable<void> { co_await client->call(held); };
      auto endWhenHeld = [&]() -> asio::awaitable<void> {
        co_await backend->untilHeld();
        daemonStops ? server->stop() : client->disconnect();
      };
      QSDaemonError error = co_await thrownDaemonError(
          [&]() -> asio::awaitable<void> { co_await (waiting() && endWhenHeld()); });
      EXPECT_TRUE(error.is<daemonError::NotConnected>()) << daemonStops;
      EXPECT_EQ(co_await stream->next(), std::nullopt);
      EXPECT_FALSE(client->isConnected());
      error = co_await thrownDaemonError([&]() -> asio::awaitable<void> { co_await ping(); });
      EXPECT_TRUE(error.is<daemonError::NotConnected>());

      backend->openGate();
      if (daemonStops) {
        server = makeServer();
        co_await server->start();
      }
      co_await client->connect();
      EXPECT_TRUE((co_await ping()).is<res::Pong>());
    });
  }
}

// A daemon that answers every request with the same bytes.
asio::awaitable<void> answerWith(asio::local::stream_protocol::acceptor& acceptor, QSBytes reply) {
  auto socket = co_await acceptor.async_accept(asio::use_awaitable);
  QSBytes header(4);
  co_await asio::async_read(socket, asio::buffer(header), asio::use_awaitable);
  QSBytes body(QSDaemonFraming::bodyLength(header));
  co_await asio::async_read(socket, asio::buffer(body), asio::use_awaitable);
  co_await asio::async_write(socket, asio::buffer(reply), asio::use_awaitable);
  // Keeps the connection open until the client is done with it.
  asio::error_code ignored;
  co_await asio::async_read(socket, asio::buffer(header), asio::redirect_error(asio::use_awaitable, ignored));
}

TEST_F(DaemonClientTest, MalformedAnswersFailTheCallAndEndTheConnection) {
  auto frame = testing::textFrame;
  const std::vector<std::pair<QSBytes, std::string>> cases = {
      {testing::frameHeader(QSDaemonFraming::maxFrameBytes + 1), "Declared frame length exceeds maximum size."},
      {frame("garbage"), "The frame body is not valid JSON."},
  };
  for (const auto& [reply, message] : cases) {
    testing::TemporaryFolder place;
    std::string path = (place / "rogue.sock").string();
    auto rogueClient = QSDaemonClient::make(loop.get_executor(), path);
    testing::runUntilDone(loop, [&]() -> asio::awaitable<void> {
      asio::local::stream_protocol::acceptor acceptor(loop, asio::local::stream_protocol::endpoint(path));
      asio::co_spawn(loop, answerWith(acceptor, reply), asio::detached);
      co_await rogueClient->connect();
      QSDaemonCommand command = cmd::Ping{};
      try {
        co_await rogueClient->call(command);
        ADD_FAILURE() << "a malformed answer was accepted";
      } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()), message);
      }
      EXPECT_FALSE(rogueClient->isConnected());
    });
  }
}

}  // namespace
}  // namespace qs
