// Test-binding local ports: can this process bind a port on 127.0.0.1 right now?
#pragma once

namespace qs {

enum class QSTransport { tcp, udp };

// Binds a fresh IPv4 socket of the transport to 127.0.0.1:`port` and closes it again. Returns 0
// when the bind succeeded, else the errno of the socket or bind call. `port` must be in 1–65535.
// A TCP probe allows address reuse, as every TCP listener here does: a port whose only sockets
// are closed connections in TIME_WAIT is free for a listener, while one that anything listens
// on (on 127.0.0.1 or on every address) is taken. A UDP probe does not: two UDP sockets that
// both allow reuse share a port, so there a reusing probe would call a taken port free.
int probeLoopbackBind(int port, QSTransport transport);

// Whether some socket may be listening for TCP on `port`, on any address, IPv4 or IPv6: false
// only when a reusing bind to the IPv4 and to the IPv6 wildcard both succeed, which no listener
// on that port allows. Anything else (a listener, a privileged port, a closed connection that
// still holds it) says true, and the caller then looks for the listeners themselves. Costs two
// binds, where a look through /proc/net/tcp reads every socket of the machine.
bool mayBeListenedOn(int port);

}  // namespace qs
