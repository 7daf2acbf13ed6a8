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

}  // namespace qs
