#include "core/routing/port_scanner.h"
#include "core/platform/unique_fd.h"
#include "support/process_helpers.h"
#include "support/test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>

namespace qs {
namespace {

using testing::listenerNamed;
using testing::startListener;
using testing::TemporaryFolder;

// A socket of this process bound (and, for TCP, listening) on the loopback address.
UniqueFd bindLoopback(int port, int type, bool ipv6 = false) {
  UniqueFd fd(::socket(ipv6 ? AF_INET6 : AF_INET, type | SOCK_CLOEXEC, 0));
  sockaddr_storage storage{};
  socklen_t length;
  if (ipv6) {
    int on = 1;
    ::setsockopt(fd.get(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
    *address = {AF_INET6, htons(static_cast<std::uint16_t>(port)), 0, in6addr_loopback, 0};
    length = sizeof *address;
  } else {
    auto* address = reinterpret_cast<sockaddr_in*>(&storage);
    address->sin_family = AF_INET;
    address->sin_port = htons(static_cast<std::uint16_t>(port));
    address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof *address;
  }
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&storage), length) != 0) return UniqueFd();
  if (type == SOCK_STREAM && ::listen(fd.get(), 4) != 0) return UniqueFd();
  return fd;
}

int boundPort(const UniqueFd& fd) {
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&storage), &length);
  return ntohs(reinterpret_cast<sockaddr_in*>(&storage)->sin_port);  // same offset for IPv6
}

// The first of `count` consecutive TCP ports that are all free right now.
int freeRun(int count) {
  QSPortScanner scanner;
  for (int attempt = 0; attempt < 50; ++attempt) {
    int base = boundPort(bindLoopback(0, SOCK_STREAM));
    bool free = base + count <= 65536;
    for (int i = 0; free && i < count; ++i) free = scanner.availability(base + i) == QSPortAvailability::available();
    if (free) return base;
  }
  throw std::runtime_error("no run of free ports");
}

TEST(PortScannerTest, ReportsAvailability) {
  TemporaryFolder folder;
  auto listener = startListener(listenerNamed(folder.path(), "Taken"), 0);
  int freePort = freeRun(1);
  QSPortScanner scanner;
  struct Case {
    int port;
    QSPortAvailability expected;
  } cases[] = {
      {listener.port, QSPortAvailability::inUse()},
      {freePort, QSPortAvailability::available()},
      {-1, QSPortAvailability::error(22)},
      {65536, QSPortAvailability::error(22)},
  };
  for (const auto& c : cases) {
    auto answer = scanner.availability(c.port);
    EXPECT_EQ(answer, c.expected) << "port " << c.port;
  }
  listener.process->signal(SIGKILL);
}

TEST(PortScannerTest, ReportsAPrivilegedPortAsPermissionDenied) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may bind any port";
  auto start = testing::readTextFile("/proc/sys/net/ipv4/ip_unprivileged_port_start");
  if (std::stoi(start) <= 80) GTEST_SKIP() << "this system lets everyone bind port 80";
  EXPECT_EQ(QSPortScanner().availability(80), QSPortAvailability::permissionDenied());
}

TEST(PortScannerTest, FindsTheNextFreePort) {
  TemporaryFolder folder;
  int base = freeRun(4);
  auto listener = startListener(listenerNamed(folder.path(), "Taken"), base);
  QSPortScanner scanner;
  struct Case {
    int preferred;
    std::set<int> excluding;
    int limit, expected;
  } cases[] = {
      {base, {}, 256, base + 1},           // the taken port is skipped
      {base, {base + 1}, 256, base + 2},   // so is an excluded one
      {base + 1, {}, 256, base + 1},       // a free preferred port is the answer
      {base, {}, 1, base},                 // nothing bindable within the limit: the preferred port
      {base + 1, {base + 1, base + 2}, -3, base + 1},
      {0, {}, 256, 0},                     // left for the system to choose, never port 1 (as root)
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scanner.availablePort(c.preferred, c.excluding, c.limit), c.expected)
        << "from " << c.preferred << " limit " << c.limit;
  }
  listener.process->signal(SIGKILL);
}

TEST(PortScannerTest, TestsAndFindsUDPPorts) {
  QSPortScanner scanner;
  UniqueFd socket;
  int port = 0;
  for (int attempt = 0; attempt < 50 && !socket; ++attempt) {
    int candidate = freeRun(2);
    socket = bindLoopback(candidate, SOCK_DGRAM);
    port = candidate;
  }
  ASSERT_TRUE(socket);
  EXPECT_FALSE(scanner.isUDPPortAvailable(port));
  int next = scanner.availableUDPPort(port, 64);
  EXPECT_GT(next, port);
  EXPECT_LE(next, port + 63);
  EXPECT_EQ(scanner.availableUDPPort(port, 1), port);
  socket.reset();
  EXPECT_TRUE(scanner.isUDPPortAvailable(port));
  EXPECT_FALSE(scanner.isUDPPortAvailable(65536));
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
    UniqueFd own = bindLoopback(listener.port, SOCK_STREAM, c.flags.empty());
    ASSERT_TRUE(own) << c.name;
    auto found = QSPortScanner().processesListening(listener.port);
    std::vector<ListeningProcess> expected{{listener.process->pid(), c.name, root}};
    EXPECT_EQ(found, expected) << c.name;

    listener.process->signal(SIGKILL);
    ASSERT_TRUE(testing::waitUntilGone(listener.process->pid()));
    listener.process->reap();
    EXPECT_TRUE(QSPortScanner().processesListening(listener.port).empty()) << c.name << " after it ended";
  }
  EXPECT_TRUE(QSPortScanner().processesListening(70000).empty());
}

}  // namespace
}  // namespace qs
