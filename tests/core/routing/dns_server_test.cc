// The DNS responder on a real UDP socket.
#include "core/routing/dns_query.h"
#include "core/routing/dns_server.h"
#include "support/another_user.h"
#include "support/loop_thread.h"

#include <asio/ip/udp.hpp>
#include <gtest/gtest.h>

#include <map>

#include <poll.h>

namespace qs {
namespace {

using testing::LoopThread;

std::vector<std::uint8_t> aQuery(std::uint8_t id, const std::string& label) {
  std::vector<std::uint8_t> q{0, id, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(label.size())};
  q.insert(q.end(), label.begin(), label.end());
  q.insert(q.end(), {4, 't', 'e', 's', 't', 0, 0, 1, 0, 1});
  return q;
}

class DNSServerTest : public ::testing::Test {
protected:
  LoopThread loop;
  std::shared_ptr<QSDNSServer> dns = std::make_shared<QSDNSServer>(loop.executor(), 0);
  asio::io_context clientIO;
  asio::ip::udp::socket client{clientIO, asio::ip::udp::endpoint(asio::ip::address_v4::loopback(), 0)};

  ~DNSServerTest() override {
    loop.call([this] { dns->stop(); });
  }

  std::vector<std::uint8_t> ask(const std::vector<std::uint8_t>& query, int port) {
    asio::ip::udp::endpoint server(asio::ip::address_v4::loopback(), static_cast<unsigned short>(port));
    client.send_to(asio::buffer(query), server);
    std::vector<std::uint8_t> reply(512);
    reply.resize(client.receive(asio::buffer(reply)));
    return reply;
  }
};

// Many queries sent at once are all answered, each with its own ID and exactly the answer it
// gets alone; ones that get no answer (runts, responses), or a format error, in the middle stop
// none of the others. The port is kept until the responder stops.
TEST_F(DNSServerTest, AnswersEveryQueryOfABurstAndKeepsItsPortUntilStopped) {
  loop.await([this] { return dns->start(); });
  ASSERT_TRUE(loop.call([this] { return dns->isRunning(); }));
  int port = loop.call([this] { return dns->boundPort(); });
  asio::ip::udp::endpoint server(asio::ip::address_v4::loopback(), static_cast<unsigned short>(port));
  std::map<std::uint16_t, QSDNSMessage> expected;
  for (int i = 0; i < 150; ++i) {
    auto query = aQuery(static_cast<std::uint8_t>(i), i % 2 ? "blog" : "shop");
    query[0] = static_cast<std::uint8_t>(i >> 8 | 0x10);
    if (i == 40) query.resize(11);          // a runt: no answer
    if (i == 60) query[2] = 0x81;           // a response: no answer
    if (i == 80) query[12] = 60;            // a label past the end: a format error
    if (i == 100) query.resize(14);         // cut in the name: a format error
    if (i == 120) query[query.size() - 3] = 28;  // AAAA: no record, but an answer
    client.send_to(asio::buffer(query), server);
    QSDNSMessage answer = query.size() < QSDNSQuery::headerSize ? QSDNSMessage() : QSDNSQuery::processQuery(query);
    if (!answer.empty()) expected[static_cast<std::uint16_t>(query[0] << 8 | query[1])] = answer;
  }
  ASSERT_EQ(expected.size(), 148u);
  std::map<std::uint16_t, QSDNSMessage> received;
  while (received.size() < expected.size()) {
    pollfd entry{client.native_handle(), POLLIN, 0};
    ASSERT_EQ(::poll(&entry, 1, 30000), 1) << received.size() << " answers came";
    QSDNSMessage reply(512);
    reply.resize(client.receive(asio::buffer(reply)));
    ASSERT_GE(reply.size(), 2u);
    EXPECT_TRUE(received.emplace(static_cast<std::uint16_t>(reply[0] << 8 | reply[1]), reply).second);
  }
  EXPECT_EQ(received, expected);

  loop.await([this] { return dns->start(); });  // running: nothing changes
  EXPECT_EQ(loop.call([this] { return dns->boundPort(); }), port);
  loop.call([this] { dns->stop(); });
  EXPECT_FALSE(loop.call([this] { return dns->isRunning(); }));
}

// Another local account must not be able to bind the DNS port beside us (with address reuse
// both would get queries, and the other one could answer them).
TEST_F(DNSServerTest, AnotherAccountCannotShareThePort) {
  if (!testing::canRunAsAnotherUser()) GTEST_SKIP() << "this process may not run commands as another user";
  loop.await([this] { return dns->start(); });
  int port = loop.call([this] { return dns->boundPort(); });
  for (const char* option : {"SO_REUSEADDR", "SO_REUSEPORT"}) {
    auto result = testing::runPythonAsAnotherAccount(
        std::string("import socket\ns = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n") +
        "s.setsockopt(socket.SOL_SOCKET, socket." + option + ", 1)\n" +
        "try:\n  s.bind(('127.0.0.1', " + std::to_string(port) + "))\nexcept OSError as e:\n  print(e.errno)\n");
    EXPECT_EQ(result.output, "98\n") << option << ": " << result.errorOutput;  // EADDRINUSE
  }
  EXPECT_EQ(ask(aQuery(5, "blog"), port)[1], 5);
}

}  // namespace
}  // namespace qs
