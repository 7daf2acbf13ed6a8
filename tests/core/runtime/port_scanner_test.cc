#include "core/runtime/port_scanner.h"
#include "support/process_helpers.h"
#include "support/socket_states.h"
#include "support/test_support.h"

#include <asio/ip/tcp.hpp>
#include <asio/ip/v6_only.hpp>
#include <signal.h>

namespace qs {
namespace {

using namespace testing;
using tcp = asio::ip::tcp;

// A socket of this process listening on the loopback address (IPv6 only, when asked), allowing
// address reuse as every listener of the system does.
tcp::acceptor listenOnLoopback(asio::io_context& io, int port, bool ipv6 = false) {
  asio::ip::address address = asio::ip::address_v4::loopback();
  if (ipv6) address = asio::ip::address_v6::loopback();
  tcp::endpoint at(address, static_cast<unsigned short>(port));
  tcp::acceptor acceptor(io, at.protocol());
  acceptor.set_option(asio::socket_base::reuse_address(true));
  if (ipv6) acceptor.set_option(asio::ip::v6_only(true));
  acceptor.bind(at);
  acceptor.listen();
  return acceptor;
}

// The first of `count` consecutive TCP ports that are all free right now.
int freeRun(int count) {
  QSPortScanner scanner;
  asio::io_context io;
  for (int attempt = 0; attempt < 50; ++attempt) {
    int base = listenOnLoopback(io, 0).local_endpoint().port();
    bool free = base + count <= 65536;
    for (int i = 0; free && i < count; ++i) free = scanner.availability(base + i) == QSPortAvailability::available();
    if (free) return base;
  }
  throw std::runtime_error("no run of free ports");
}

TEST(PortScannerTest, ReportsAPrivilegedPortAsPermissionDenied) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may bind any port";
  auto start = testing::readTextFile("/proc/sys/net/ipv4/ip_unprivileged_port_start");
  if (std::stoi(start) <= 80) GTEST_SKIP() << "this system lets everyone bind port 80";
  EXPECT_EQ(QSPortScanner().availability(80), QSPortAvailability::permissionDenied());
}

TEST(PortScannerTest, ReportsAvailabilityAndFindsTheNextFreePort) {
  TemporaryFolder folder;
  int base = freeRun(4);
  auto listener = startListener(listenerNamed(folder.path(), "Taken"), base);
  QSPortScanner scanner;
  EXPECT_EQ(scanner.availability(base), QSPortAvailability::inUse());
  EXPECT_EQ(scanner.availability(base + 1), QSPortAvailability::available());
  for (int invalid : {-1, 65536})
    EXPECT_EQ(scanner.availability(invalid), QSPortAvailability::error(22)) << invalid;
  struct Case {
    int preferred;
    std::set<int> excluding;
    int limit, expected;
  } cases[] = {
      {base, {}, 256, base + 1},           // the taken port is skipped
      {base, {base + 1}, 256, base + 2},   // so is an excluded one
      {base + 1, {}, 256, base + 1},       // a free preferred port is the answer
      {base, {}, 1, base},                 // nothing bindable within the limit: the preferred port
      {0, {}, 256, 0},                     // left for the system to choose, never port 1 (as root)
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scanner.availablePort(c.preferred, c.excluding, c.limit), c.expected)
        << "from " << c.preferred << " limit " << c.limit;
  }
  listener.process->signal(SIGKILL);
}

// A server that closed its side first leaves the connection in TIME_WAIT on its port for a
// minute. Only a listener makes a port taken: the next listener (which allows address reuse) can
// bind it, so the probe must say so, and the search must not move on to the next port.
TEST(PortScannerTest, APortWithOnlyClosedConnectionsIsAvailable) {
  asio::io_context io;
  auto acceptor = listenOnLoopback(io, 0);
  int port = acceptor.local_endpoint().port();
  QSPortScanner scanner;
  EXPECT_EQ(scanner.availability(port), QSPortAvailability::inUse());  // listening
  {
    tcp::socket client(io);
    client.connect(acceptor.local_endpoint());
    tcp::socket served = acceptor.accept();
    served.close();  // the server closes first ...
    char byte;
    asio::error_code ec;
    client.read_some(asio::buffer(&byte, 1), ec);  // ... the client sees the end, and closes too
    ASSERT_EQ(ec, asio::error::eof);
  }
  acceptor.close();
  ASSERT_TRUE(testing::pollUntil([port] { return testing::hasTimeWaitSocket(port); }, std::chrono::seconds(10)));
  EXPECT_EQ(scanner.availability(port), QSPortAvailability::available());
  EXPECT_EQ(scanner.availablePort(port, {}, 16), port);
  auto again = listenOnLoopback(io, port);  // what the probe promised
  EXPECT_EQ(scanner.availability(port), QSPortAvailability::inUse());
}

TEST(PortScannerTest, ListsTheProcessesListeningOnAPortButNeverItself) {
  TemporaryFolder folder;
  bool root = ::getuid() == 0;
  struct Case {
    std::string name;
    std::vector<std::string> flags;
  } cases[] = {
      {"App", {}},
      {"App6", {"--ipv6"}},
      {"VeryLongServerName", {}},  // longer than the kernel's 15-character process name
  };
  for (const auto& c : cases) {
    auto listener = startListener(listenerNamed(folder.path(), c.name), 0, c.flags);
    // This process listens on the same port too (on the other address family).
    asio::io_context io;
    auto own = listenOnLoopback(io, listener.port, c.flags.empty());
    auto found = QSPortScanner().processesListening(listener.port);
    std::vector<ListeningProcess> expected{{listener.process->pid(), c.name, root}};
    EXPECT_EQ(found, expected) << c.name;

    listener.process->signal(SIGKILL);
    ASSERT_TRUE(testing::waitUntilGone(listener.process->pid()));
    listener.process->reap();
    EXPECT_TRUE(QSPortScanner().processesListening(listener.port).empty()) << c.name << " after it ended";
  }
}

}  // namespace
}  // namespace qs
