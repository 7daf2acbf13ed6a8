#include "core/platform/port_probe.h"

#include "core/platform/unique_fd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>

namespace qs {

int probeLoopbackBind(int port, QSTransport transport) {
  int type = (transport == QSTransport::tcp ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC;
  UniqueFd fd(::socket(AF_INET, type, 0));
  if (!fd) return errno;
  int reuse = 1;
  if (transport == QSTransport::tcp && ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0)
    return errno;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return errno;
  return 0;
}

namespace {

// Binds a reusing TCP socket to the wildcard address of `family` (IPv6 alone for AF_INET6):
// 0 when that worked, else the errno.
int probeWildcardBind(int port, int family) {
  UniqueFd fd(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) return errno;
  int on = 1;
  if (::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) return errno;
  if (family == AF_INET6) {
    if (::setsockopt(fd.get(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0) return errno;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(static_cast<std::uint16_t>(port));
    address.sin6_addr = in6addr_any;
    return ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ? 0 : errno;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  return ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ? 0 : errno;
}

}  // namespace

bool mayBeListenedOn(int port) {
  if (port < 1 || port > 65535) return false;
  if (probeWildcardBind(port, AF_INET) != 0) return true;
  int v6 = probeWildcardBind(port, AF_INET6);
  // Without IPv6 nobody can listen there.
  return v6 != 0 && v6 != EAFNOSUPPORT && v6 != EADDRNOTAVAIL;
}

}  // namespace qs
