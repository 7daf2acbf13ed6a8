#include "core/daemon/daemon_client.h"
#include "core/daemon/daemon_server.h"
#include "core/daemon/server_peer.h"
#include "core/platform/files.h"
#include "core/platform/unix_socket.h"
#include "daemon_test_support.h"

#include <asio/detached.hpp>
#include <asio/local/connect_pair.hpp>
#include <asio/steady_timer.hpp>
#include <sys/stat.h>

#include <deque>

namespace qs {
namespace {

using testing::RawPeer;
using testing::frameHeader;
using testing::require;

class DaemonServerTest : public testing::DaemonServerFixture {
protected:
  asio::awaitable<RawPeer> connect() { return RawPeer::connect(socketPath); }

  // Pushes `event` and waits until `witness` (subscribed under `witnessID`) has it: by then every
  // peer has been offered it. What the witness got.
  asio::awaitable<QSDaemonResponse> broadcastSeenBy(RawPeer& witness, const QSUUID& witnessID, QSEvent event) {
    backend->push(std::move(event));
    auto seen = co_await witness.read();
    require(seen && seen->id == witnessID, "the witness got the event");
    co_return *seen;
  }
};

// (Two frames in one write: RequestsAreAnsweredInOrderPerConnectionAndUnsendableAnswersAsFailures.)
TEST_F(DaemonServerTest, FramesAreReassembledUpToTheLargest) {
  serve([&]() -> asio::awaitable<void> {
    // A request padded with whitespace to exactly the limit.
    QSUUID id = QSUUID::random();
    QSBytes frame = testing::requestFrame(id, cmd::Ping{});
    frame.resize(4 + QSDaemonFraming::maxFrameBytes, ' ');
    QSBytes header = frameHeader(QSDaemonFraming::maxFrameBytes);
    std::copy(header.begin(), header.end(), frame.begin());
    RawPeer largest = co_await connect();
    co_await largest.write(frame);
    auto response = co_await largest.read();
    require(response.has_value(), "an answer to a frame of 4,194,304 bytes");
    EXPECT_EQ(response->id, id);
    expectPong(response->result);

    // The next frame on the same connection, sent byte by byte.
    id = QSUUID::random();
    for (std::uint8_t byte : testing::requestFrame(id, cmd::Ping{})) {
      QSBytes piece{byte};
      co_await largest.write(piece);
    }
    response = co_await largest.read();
    require(response && response->id == id, "an answer to a frame sent byte by byte");
    expectPong(response->result);
  });
}

TEST(FramedConnection, IdleIsFineButAStalledFrameEndsTheReceiveHavingCostOnlyItsBytes) {
  asio::io_context loop;
  testing::runUntilDone(loop, [&]() -> asio::awaitable<void> {
    QSFramedConnection::Socket ours(loop), theirs(loop);
    asio::local::connect_pair(ours, theirs);
    auto connection = QSFramedConnection::make(std::move(ours), QSFramedConnection::unlimited,
                                               std::chrono::milliseconds(50));
    // Silent for longer than the stall limit between frames, then a whole frame; then a header
    // that announces the largest body, followed by one byte of it.
    asio::co_spawn(
        loop,
        [&]() -> asio::awaitable<void> {
          asio::steady_timer idle(loop, std::chrono::milliseconds(200));
          co_await idle.async_wait(asio::use_awaitable);
          QSBytes bytes = testing::requestFrame(QSUUID::random(), cmd::Ping{});
          QSBytes started = frameHeader(QSDaemonFraming::maxFrameBytes);
          bytes.insert(bytes.end(), started.begin(), started.end());
          bytes.push_back('{');
          co_await asio::async_write(theirs, asio::buffer(bytes), asio::use_awaitable);
        },
        asio::detached);

    QSFrameRead first = co_await connection->receive();
    require(first.body.has_value(), "a frame after a silence");
    QSFrameRead stalled = co_await connection->receive();
    require(!stalled.body && stalled.error, "the stalled frame ends the receive");
    try {
      std::rethrow_exception(stalled.error);
    } catch (const std::system_error& e) {
      EXPECT_EQ(e.code(), asio::error::timed_out);
    }
    EXPECT_FALSE(connection->isOpen());
    EXPECT_LE(connection->readBufferBytes(), 64u * 1024);
  });
}

// (Which bodies fail to decode, and why: the protocol tests.)
TEST_F(DaemonServerTest, MalformedFramesDropOnlyTheirPeer) {
  const std::vector<std::pair<std::string, QSBytes>> cases = {
      {"not JSON", testing::textFrame("hello, daemon")},
      // One byte over the largest, the header alone: refused without waiting for the body.
      {"oversized", frameHeader(QSDaemonFraming::maxFrameBytes + 1)},
  };
  serve([&]() -> asio::awaitable<void> {
    RawPeer bystander = co_await connect();
    for (const auto& [name, frame] : cases) {
      RawPeer offender = co_await connect();
      co_await offender.write(frame);
      EXPECT_EQ(co_await offender.readUntilClosed(), 0) << name;
      expectPong(co_await bystander.ask(cmd::Ping{}));
    }
    EXPECT_EQ(server->connectionCount(), 1u);
  });
}

TEST_F(DaemonServerTest, RequestsAreAnsweredInOrderPerConnectionAndUnsendableAnswersAsFailures) {
  QSDaemonCommand logs = cmd::Logs{svc::Daemon{}, 100000, false}, health = cmd::Health{};
  const std::vector<std::pair<QSDaemonCommand, std::string>> unsendable = {
      {logs, "Frame exceeds maximum size."},
      {health, "the engine slipped"},
  };
  serve([&]() -> asio::awaitable<void> {
    RawPeer slow = co_await connect();
    QSUUID first = QSUUID::random(), second = QSUUID::random();
    QSBytes both = testing::requestFrame(first, cmd::ListDatabases{});  // held by the backend
    QSBytes next = testing::requestFrame(second, cmd::Ping{});
    both.insert(both.end(), next.begin(), next.end());
    co_await slow.write(both);
    co_await backend->untilHeld();

    RawPeer other = co_await connect();
    expectPong(co_await other.ask(cmd::Ping{}));
    EXPECT_EQ(backend->gatedCalls(), 1);  // the second request waits for the first's answer
    // Answers that cannot be sent arrive as failures, and the connection serves on.
    for (const auto& [command, message] : unsendable) {
      QSDaemonResult answer = co_await other.ask(command);
      QSDaemonResult expected = res::Failure{daemonError::OperationFailed{message}};
      EXPECT_EQ(answer, expected) << command.caseName();
    }
    expectPong(co_await other.ask(cmd::Ping{}));

    backend->openGate();
    auto one = co_await slow.read(), two = co_await slow.read();
    require(one && two, "both answers");
    EXPECT_EQ(one->id, first);
    EXPECT_TRUE(one->result.is<res::Databases>());
    EXPECT_EQ(two->id, second);
    expectPong(two->result);
  });
}

TEST_F(DaemonServerTest, EventsReachSubscribersUnderTheirSubscriptionId) {
  serve([&]() -> asio::awaitable<void> {
    // A witness subscribed to everything shows when an event has been broadcast.
    RawPeer witness = co_await connect();
    QSUUID witnessID = co_await witness.subscribe(QSEventKind::all);
    auto broadcast = [&](QSEvent event) -> asio::awaitable<void> {
      QSDaemonResult expected = res::Event{event};
      EXPECT_EQ((co_await broadcastSeenBy(witness, witnessID, std::move(event))).result, expected);
    };

    RawPeer servers = co_await connect();
    QSUUID serversID = co_await servers.subscribe(QSEventKind::servers);
    QSEvent changed = evt::ServerChanged{testing::sampleServer()};
    co_await broadcast(changed);
    co_await broadcast(testing::logLine("not for the servers peer"));
    auto received = co_await servers.read();
    require(received.has_value(), "the servers subscriber got an event");
    EXPECT_EQ(received->id, serversID);
    QSDaemonResult expected = res::Event{changed};
    EXPECT_EQ(received->result, expected);

    expectPong(co_await servers.ask(cmd::Ping{}));  // the log line was not sent

    // "all" wins over the event's own kind, and the event comes once.
    RawPeer both = co_await connect();
    QSUUID allID = co_await both.subscribe(QSEventKind::all);
    co_await both.subscribe(QSEventKind::logs);
    co_await broadcast(testing::logLine("first"));
    received = co_await both.read();
    require(received.has_value(), "a log line");
    EXPECT_EQ(received->id, allID);
    expectPong(co_await both.ask(cmd::Ping{}));

    // Mail goes to those who ask for it by name; a client that only knows "all" never sees a
    // case it could not decode.
    RawPeer older = co_await connect();
    co_await older.subscribe(QSEventKind::all);
    QSUUID witnessMailID = co_await witness.subscribe(QSEventKind::mail);
    QSEvent mail = evt::MailReceived{QSMailSummary{.id = QSUUID::random(), .subject = "Welcome"}};
    QSDaemonResult expectedMail = res::Event{mail};
    EXPECT_EQ((co_await broadcastSeenBy(witness, witnessMailID, mail)).result, expectedMail);
    expectPong(co_await older.ask(cmd::Ping{}));
  });
}

TEST_F(DaemonServerTest, StalledSubscriberIsDroppedWhileOthersKeepReceiving) {
  serve([&]() -> asio::awaitable<void> {
    RawPeer stalled = co_await connect();
    co_await stalled.subscribe(QSEventKind::all);  // and never reads again

    auto client = QSDaemonClient::make(loop.get_executor(), socketPath);
    co_await client->connect();
    auto stream = co_await client->events(QSEventKind::servers);

    // 24 MiB in all: more than the stalled peer's queue holds plus what its socket buffers.
    const int eventCount = 24;
    const std::string megabyte(1024 * 1024, 'x');
    for (int n = 0; n < eventCount; ++n) {
      backend->push(testing::serverError(std::to_string(n) + ":" + megabyte));
      std::optional<QSEvent> event = co_await stream->next();
      require(event.has_value(), "event " + std::to_string(n));
      auto changed = event->get<evt::ServerChanged>();
      require(changed != nullptr, "a server record");
      std::string message = changed->value.errorMessage.value_or("");
      EXPECT_EQ(message.substr(0, message.find(':')), std::to_string(n));
    }
    EXPECT_EQ(server->connectionCount(), 1u);
    EXPECT_LT(co_await stalled.readUntilClosed(), eventCount);
    EXPECT_TRUE(client->isConnected());
  });
}

// The same for one event a line (an "all" subscriber) and for batches: only the framing differs.
TEST_F(DaemonServerTest, ASubscriberBehindOnLogLinesMissesSomeAndIsToldHowMany) {
  serve([&]() -> asio::awaitable<void> {
    RawPeer witness = co_await connect();
    QSUUID witnessID = co_await witness.subscribe(QSEventKind::logs);
    auto broadcast = [&](QSEvent event) -> asio::awaitable<void> {
      co_await broadcastSeenBy(witness, witnessID, std::move(event));
    };
    for (QSEventKind kind : {QSEventKind::all, QSEventKind::logBatches}) {
      SCOPED_TRACE(std::string(rawValue(kind)));
      RawPeer behind = co_await connect();
      // A peer of batches takes "all" too (as the app does), and still gets its lines only in batches.
      if (kind == QSEventKind::logBatches) co_await behind.subscribe(QSEventKind::all);
      QSUUID subscription = co_await behind.subscribe(kind);  // and does not read for now
      // The lines of the peer's frames, one at a time.
      std::deque<std::string> pending;
      auto nextLine = [&]() -> asio::awaitable<std::string> {
        while (pending.empty()) {
          auto response = co_await behind.read();
          require(response.has_value() && response->id == subscription, "a frame of the subscription");
          auto* event = response->result.get<res::Event>();
          require(event != nullptr, "an event");
          if (auto* line = event->value.get<evt::LogLine>()) {
            require(kind == QSEventKind::all, "single lines only without batches");
            pending.push_back(line->line);
          } else if (auto* batch = event->value.get<evt::LogBatch>()) {
            require(kind == QSEventKind::logBatches, "batches only when asked for");
            pending.insert(pending.end(), batch->lines.begin(), batch->lines.end());
          } else {
            require(false, "a log line");
          }
        }
        std::string line = pending.front();
        pending.pop_front();
        co_return line;
      };

      // Far more than the log backlog: most of it cannot be queued.
      const int floodCount = 40;
      const std::string megabyte(1024 * 1024, 'x');
      for (int n = 0; n < floodCount; ++n) co_await broadcast(testing::logLine(megabyte));
      EXPECT_EQ(server->connectionCount(), 2u) << "falling behind on log lines is no reason to disconnect";

      // Reading again: what was queued arrives, then, with nothing else to send, a line saying how
      // many were missed.
      int received = 0;
      std::string line;
      while ((line = co_await nextLine()) == megabyte) ++received;
      EXPECT_LT(received, floodCount);
      EXPECT_EQ(line,
                "[" + std::to_string(floodCount - received) + " lines not shown: this client fell behind the output]");

      // Behind again: a line offered while the backlog drains is missed and counted too, so that
      // what does arrive comes in long runs; once all of it is written, lines flow again.
      for (int n = 0; n < floodCount; ++n) co_await broadcast(testing::logLine(megabyte));
      received = 0;
      for (;;) {
        line = co_await nextLine();
        if (line != megabyte) break;
        if (++received == 3) co_await broadcast(testing::logLine("during"));
      }
      EXPECT_EQ(line, "[" + std::to_string(floodCount - received + 1) +
                          " lines not shown: this client fell behind the output]");
      co_await broadcast(testing::logLine("after"));
      EXPECT_EQ(co_await nextLine(), "after");

      // An event of another kind is never skipped, and the count so far goes ahead of it.
      for (int n = 0; n < floodCount; ++n) co_await broadcast(testing::logLine(megabyte));
      backend->push(testing::serverError("crashed"));
      received = 0;
      while ((line = co_await nextLine()) == megabyte) ++received;
      EXPECT_EQ(line,
                "[" + std::to_string(floodCount - received) + " lines not shown: this client fell behind the output]");
      require(pending.empty(), "nothing behind the count in its frame");
      auto next = co_await behind.read();
      require(next && next->result.get<res::Event>(), "an event");
      auto* changed = next->result.get<res::Event>()->value.get<evt::ServerChanged>();
      require(changed != nullptr, "the server event");
      EXPECT_EQ(changed->value.errorMessage, "crashed");
    }
  });
}

// A socket file whose daemon died without removing it is replaced, though not by a server stopped
// before its start. (One that someone still listens on is left alone, and a path that cannot be
// bound is reported: the end-to-end start tests.)
TEST_F(DaemonServerTest, StaleSocketFilesAreReplacedButNotByAStopBeforeTheStart) {
  std::filesystem::create_directories(folder / "run");
  listenOnUnixSocket(socketPath, 0600, 1);  // closed at once; the file stays
  server->stop();
  EXPECT_TRUE(fileExists(socketPath)) << "a server that never started removes no socket file";
  server = makeServer();
  serve([&]() -> asio::awaitable<void> {
    RawPeer peer = co_await connect();
    expectPong(co_await peer.ask(cmd::Ping{}));
  });
}

TEST_F(DaemonServerTest, OnlyTheOwnerCanReachTheSocketAndShutdownDaemonAnswersOkThenClosesEverything) {
  serve([&]() -> asio::awaitable<void> {
    struct stat socketInfo {}, folderInfo {};
    require(::stat(socketPath.c_str(), &socketInfo) == 0, "stat the socket");
    EXPECT_EQ(socketInfo.st_mode & 07777, 0600u);
    require(::stat((folder / "run").c_str(), &folderInfo) == 0, "stat the folder");
    EXPECT_EQ(folderInfo.st_mode & 07777, 0700u);

    RawPeer caller = co_await connect();
    RawPeer bystander = co_await connect();
    expectPong(co_await bystander.ask(cmd::Ping{}));

    EXPECT_TRUE((co_await caller.ask(cmd::ShutdownDaemon{})).is<res::Ok>());
    EXPECT_EQ(co_await caller.readUntilClosed(), 0);
    EXPECT_EQ(co_await bystander.readUntilClosed(), 0);
    co_await server->waitUntilStopped();
    EXPECT_FALSE(fileExists(socketPath));
    EXPECT_EQ(server->connectionCount(), 0u);
    server->stop();  // a second stop changes nothing
    co_await server->waitUntilStopped();
  });
}

}  // namespace
}  // namespace qs
