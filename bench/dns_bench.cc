// The .test DNS responder under dnsperf, beside dnsmasq answering the same names
// (--address=/test/127.0.0.1), measured in one run, the two taking turns round by round.
//
// Fairness: the responder serves on one loop thread, and dnsmasq is single-threaded too; dnsperf
// runs one thread and one client socket with up to 100 queries outstanding for both.
#include "routing_bench_support.h"

#include "core/routing/dns_server.h"

#include <asio/co_spawn.hpp>
#include <asio/use_future.hpp>

#include <array>
#include <cstring>
#include <map>
#include <thread>


using namespace qs;
using namespace qs::bench;

namespace {

constexpr int kRounds = 5;
constexpr const char* kSeconds = "3";

// Waits (up to 10 s) until a query for blog.test gets an answer on 127.0.0.1:port.
void awaitDNSAnswer(int port, const std::string& who) {
  // ID 0x1234, recursion desired, one question: blog.test A IN.
  const std::array<std::uint8_t, 27> query{0x12, 0x34, 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0, 4,   'b',
                                           'l',  'o',  'g',  4,    't', 'e', 's', 't', 0, 0, 1, 0, 1};
  asio::io_context io;
  asio::ip::udp::socket socket(io, asio::ip::udp::endpoint(asio::ip::address_v4::loopback(), 0));
  socket.non_blocking(true);
  asio::ip::udp::endpoint server(asio::ip::address_v4::loopback(), static_cast<unsigned short>(port));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::array<std::uint8_t, 512> answer;
  while (std::chrono::steady_clock::now() < deadline) {
    asio::error_code ec;
    socket.send_to(asio::buffer(query), server, 0, ec);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::size_t n = socket.receive(asio::buffer(answer), 0, ec);
    if (!ec && n >= 12 && answer[0] == 0x12 && answer[1] == 0x34) return;
  }
  throw std::runtime_error(who + " did not answer");
}

// The ceiling for any single-threaded responder on this machine: one blocking thread taking up to
// 64 queries per recvmmsg and answering them with one sendmmsg, each answer the question echoed
// with 127.0.0.1, nothing checked beyond the question's end and nothing logged.
class BareResponder {
public:
  BareResponder() {
    std::tie(socket_, port) = boundLoopbackSocket(SOCK_DGRAM, "the bare responder");
    std::thread([this] { serve(); }).detach();
  }
  int port = 0;

private:
  static constexpr int kBatch = 64;
  static constexpr std::size_t kSize = 512;

  // The query turned into its answer in place; its new length, or 0 to drop it.
  static std::size_t answer(std::uint8_t* packet, std::size_t length) {
    std::size_t at = 12;
    while (at < length && packet[at] != 0) at += packet[at] + 1;
    at += 5;  // the root label, type and class
    if (at > length || at + 16 > kSize) return 0;
    static constexpr std::uint8_t record[] = {0xc0, 0x0c, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4, 127, 0, 0, 1};
    std::memcpy(packet + at, record, sizeof record);
    packet[2] = 0x81;  // a response, recursion desired
    packet[3] = 0x80;  // recursion available, NOERROR
    packet[6] = 0, packet[7] = 1;  // one answer
    std::memset(packet + 8, 0, 4);  // no authority or additional records
    return at + sizeof record;
  }

  void serve() {
    std::array<std::array<std::uint8_t, kSize>, kBatch> packets;
    std::array<sockaddr_in, kBatch> senders;
    std::array<iovec, kBatch> vectors;
    std::array<mmsghdr, kBatch> messages;
    for (;;) {
      for (int i = 0; i < kBatch; ++i) {
        vectors[i] = {packets[i].data(), kSize};
        messages[i] = {};
        messages[i].msg_hdr.msg_name = &senders[i];
        messages[i].msg_hdr.msg_namelen = sizeof senders[i];
        messages[i].msg_hdr.msg_iov = &vectors[i];
        messages[i].msg_hdr.msg_iovlen = 1;
      }
      int received = ::recvmmsg(socket_, messages.data(), kBatch, MSG_WAITFORONE, nullptr);
      if (received <= 0) continue;
      int answered = 0;
      for (int i = 0; i < received; ++i) {
        std::size_t length = answer(packets[i].data(), messages[i].msg_len);
        if (length == 0) continue;
        vectors[i].iov_len = length;
        if (answered != i) messages[answered] = messages[i];
        ++answered;
      }
      for (int sent = 0; sent < answered;) {
        int n = ::sendmmsg(socket_, messages.data() + sent, answered - sent, 0);
        if (n <= 0) break;
        sent += n;
      }
    }
  }

  int socket_ = -1;
};

double queriesPerSecond(const std::filesystem::path& queries, int port) {
  std::string output = runTool({"dnsperf", "-s", "127.0.0.1", "-p", std::to_string(port), "-d", queries.string(),
                                "-l", kSeconds, "-c", "1", "-T", "1", "-q", "100"});
  double qps = 0, lost = 0;
  if (!RE2::PartialMatch(output, R"(Queries per second:\s+([0-9.]+))", &qps) ||
      !RE2::PartialMatch(output, R"(Queries lost:\s+[0-9]+ \(([0-9.]+)%\))", &lost))
    throw std::runtime_error("unexpected dnsperf output:\n" + output);
  if (!RE2::PartialMatch(output, R"(NOERROR [0-9]+ \(100\.00%\))"))
    throw std::runtime_error("not every answer was NOERROR:\n" + output);
  return qps;
}

}  // namespace

int main() {
  try {
    fmt::print("load average at start: {} on {} cores\n", loadAverage(), std::thread::hardware_concurrency());
    TemporaryFolder folder;
    std::string names;
    for (const char* name : {"blog.test", "shop.test", "api.test", "my-app.test", "docs.test", "a1.test"})
      names += fmt::format("{} A\n", name);
    writeFileAtomically(folder / "queries.txt", names);

    LoopThread loop;
    auto server = std::make_shared<QSDNSServer>(loop.io.get_executor(), freeUDPPort());
    asio::co_spawn(loop.io, server->start(), asio::use_future).get();
    auto boundPort = [server]() -> asio::awaitable<int> { co_return server->boundPort(); };
    int ours = asio::co_spawn(loop.io, boundPort, asio::use_future).get();

    int theirs = freeUDPPort();
    Peer dnsmasq("dnsmasq",
                 {"--keep-in-foreground", "--conf-file=/dev/null", "--no-resolv", "--no-hosts",
                  "--address=/test/127.0.0.1",
                  fmt::format("--port={}", theirs), "--listen-address=127.0.0.1", "--bind-interfaces", "--user=root",
                  "--pid-file=", "--log-facility=-"},
                 folder / "dnsmasq.log");
    awaitDNSAnswer(ours, "our DNS server");
    awaitDNSAnswer(theirs, "dnsmasq");
    BareResponder bare;
    awaitDNSAnswer(bare.port, "the bare responder");
    fmt::print("dnsperf: 1 thread, 1 client, 100 outstanding, {} s per run, median of {} rounds; our server: 1 loop "
               "thread; dnsmasq: single-threaded\n",
               kSeconds, kRounds);

    std::vector<double> ourRates, theirRates, bareRates;
    for (int round = 0; round < kRounds; ++round) {
      ourRates.push_back(queriesPerSecond(folder / "queries.txt", ours));
      theirRates.push_back(queriesPerSecond(folder / "queries.txt", theirs));
      bareRates.push_back(queriesPerSecond(folder / "queries.txt", bare.port));
    }
    dnsmasq.requireRunning("dnsmasq");
    printTable("DNS (dnsperf)",
               {{"A queries for .test names", "queries/s", median(ourRates), "dnsmasq", median(theirRates), 2.0},
                {"A queries vs a bare responder", "queries/s", median(ourRates), "bare responder",
                 median(bareRates), std::nullopt},
                {"bare responder vs dnsmasq", "queries/s", median(bareRates), "dnsmasq",
                 median(theirRates), std::nullopt}});
    fmt::print("load average at end: {}\n", loadAverage());
    asio::co_spawn(loop.io, [server]() -> asio::awaitable<void> {
      server->stop();
      co_return;
    }, asio::use_future).get();
    return 0;
  } catch (const std::exception& e) {
    fmt::print(stderr, "dns_bench: {}\n", e.what());
    return 1;
  }
}
