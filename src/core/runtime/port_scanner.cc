#include "core/runtime/port_scanner.h"

#include "core/platform/port_probe.h"
#include "core/platform/proc_table.h"

#include <cerrno>

namespace qs {
namespace {

bool isValidPort(int port) { return port >= 1 && port <= 65535; }

int firstBindablePort(int preferred, const std::set<int>& excluding, int limit, QSTransport transport) {
  if (preferred == 0) return 0;  // the system chooses when it is bound
  for (int offset = 0; offset < limit; ++offset) {
    // Checked before adding so that a huge `preferred` cannot overflow.
    if (preferred > 65535 - offset) break;
    int candidate = preferred + offset;
    if (!isValidPort(candidate) || excluding.count(candidate)) continue;
    if (probeLoopbackBind(candidate, transport) == 0) return candidate;
  }
  return preferred;
}

}  // namespace

QSPortAvailability QSPortScanner::availability(int port) const {
  if (!isValidPort(port)) return QSPortAvailability::error(EINVAL);
  int error = probeLoopbackBind(port, QSTransport::tcp);
  return error == 0 ? QSPortAvailability::available() : QSPortAvailability::fromBindError(error);
}

int QSPortScanner::availablePort(int preferred, const std::set<int>& excluding, int limit) const {
  return firstBindablePort(preferred, excluding, limit, QSTransport::tcp);
}

int QSPortScanner::availableUDPPort(int preferred, int limit) const {
  return firstBindablePort(preferred, {}, limit, QSTransport::udp);
}

bool QSPortScanner::isUDPPortAvailable(int port) const {
  return isValidPort(port) && probeLoopbackBind(port, QSTransport::udp) == 0;
}

std::vector<ListeningProcess> QSPortScanner::processesListening(int port) const {
  std::vector<ListeningProcess> out;
  if (!isValidPort(port)) return out;
  auto self = currentProcessID();
  for (auto pid : processesHoldingSockets(listeningTCPSocketInodes(port))) {
    if (pid == self) continue;
    auto identity = processIdentity(pid);
    if (!identity) continue;
    out.push_back({pid, identity->name, identity->realUID == 0});
  }
  return out;
}

}  // namespace qs
