// Test-binding local ports: can this process bind a port on 127.0.0.1 right now?
#pragma once

namespace qs {

enum class QSTransport { tcp, udp };

// Binds a fresh IPv4 socket of the transport to 127.0.0.1:`port` (without address reuse, so a
// port held by any listener, including one on 0.0.0.0, counts as taken) and closes it again.
// Returns 0 when the bind succeeded, else the errno of the socket or bind call. `port` must be
// in 1–65535.
int probeLoopbackBind(int port, QSTransport transport);

}  // namespace qs
