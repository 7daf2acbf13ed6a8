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
#include <map>

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
    fmt::print("dnsperf: 1 thread, 1 client, 100 outstanding, {} s per run, median of {} rounds; our server: 1 loop "
               "thread; dnsmasq: single-threaded\n",
               kSeconds, kRounds);

    std::vector<double> ourRates, theirRates;
    for (int round = 0; round < kRounds; ++round) {
      ourRates.push_back(queriesPerSecond(folder / "queries.txt", ours));
      theirRates.push_back(queriesPerSecond(folder / "queries.txt", theirs));
    }
    dnsmasq.requireRunning("dnsmasq");
    printTable("DNS (dnsperf)", {{"A queries for .test names", "queries/s", median(ourRates), "dnsmasq",
                                  median(theirRates), 1.0}});
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
