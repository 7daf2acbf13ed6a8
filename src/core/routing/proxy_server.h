// The reverse proxy for .test names: a plain listener (7080) and a TLS listener (7443) on
// 127.0.0.1. Each connection is routed by the Host header of its first request head to the
// project server that owns the name (or a name it is under: www.blog.test goes to blog.test),
// then relayed both ways, message by message (QSProxyExchangeLog); TLS ends here and the project
// gets plain HTTP. When no project owns the name, or the project does not answer, the proxy
// answers with a page of its own. While a request sink is set, each exchange is logged.
//
// Lives on the service loop, like every connection it serves.
#pragma once

#include "core/models/json_coding.h"
#include "core/models/log_entry.h"
#include "core/platform/encoding.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace asio::ssl {
class context;
}

namespace qs {

class QSProxyServer : public std::enable_shared_from_this<QSProxyServer> {
public:
  static constexpr int defaultPort = 7080;
  static constexpr int defaultTLSPort = 7443;

  struct Route {
    int port = 0;  // the project server's port on 127.0.0.1
    QSUUID projectID;
  };
  using RequestSink = std::function<void(QSLogEntry)>;

  // Port 0 lets the system choose (tests); port() then tells the one bound.
  QSProxyServer(asio::any_io_executor executor, int port = defaultPort, int tlsPort = defaultTLSPort);
  ~QSProxyServer();

  // Routes `hostname` (any case; stored lower-cased) to 127.0.0.1:port, replacing an earlier
  // route. Allowed while stopped.
  void registerRoute(std::string_view hostname, int port, QSUUID projectID);
  void unregisterRoute(std::string_view hostname);
  // Host name → project port.
  std::map<std::string, int> registeredRoutes() const;
  // The route of `hostname` (any case), else of the nearest name it is under.
  std::optional<Route> route(std::string_view hostname) const;
  std::optional<int> portFor(std::string_view hostname) const;
  // Called on the loop with every logged exchange; an empty function turns logging off.
  void setRequestHandler(RequestSink sink) { onRequest_ = std::move(sink); }

  // Listens on 127.0.0.1:port (no other port is tried). Does nothing while running. Throws
  // asio::system_error when the port cannot be bound.
  asio::awaitable<void> start();
  // Stops both listeners; connections under way go on until they end.
  void stop();
  // Serves TLS on tlsPort with the PKCS#12 identity. While the TLS listener runs, new
  // connections get the new identity and the listener stays up. Throws QSProxyException
  // (tlsIdentityImportFailed) for a bad bundle or pass phrase, keeping the earlier identity, or
  // asio::system_error when the port cannot be bound.
  asio::awaitable<void> startTLS(const QSBytes& pkcs12, const std::string& password);
  void stopTLS();

  bool isRunning() const { return listener_ != nullptr; }
  bool isTLSRunning() const { return tlsListener_ != nullptr; }
  // The bound ports while running, else the construction ports.
  int port() const;
  int tlsPort() const;

  // How long a new connection may take to send its whole first request head (and, for TLS, to
  // finish the handshake) before it is closed.
  std::chrono::steady_clock::duration firstChunkLimit = std::chrono::seconds(30);
  // How long connecting to a project may take before the client gets the project-not-running page.
  std::chrono::steady_clock::duration connectLimit = std::chrono::seconds(5);
  // A routed connection on which neither side has sent anything for this long is closed.
  std::chrono::steady_clock::duration idleLimit = std::chrono::minutes(10);
  // The most connections served at once; when absent, connectionCapFor the descriptor limit in
  // force. A connection beyond it is closed as soon as it is accepted.
  std::optional<std::size_t> maxConnections;
  // Connections being served right now (routing, relaying or answering).
  std::size_t openConnections() const { return *connectionCount_; }

  // The connections that fit under `descriptorLimit`: two descriptors each (client and project),
  // after a reserve of a quarter (at least 64) for everything else the process serves (its
  // control socket and clients, the mail catcher, databases, servers' output). A relay moving a
  // large body opens a pipe pair for it only while the connections leave the descriptors free.
  static std::size_t connectionCapFor(std::uint64_t descriptorLimit);

private:
  struct Listener;
  friend class QSProxyConnection;

  asio::awaitable<std::shared_ptr<Listener>> listen(int port);
  static asio::awaitable<void> acceptLoop(std::shared_ptr<Listener> listener, std::weak_ptr<QSProxyServer> owner,
                                          bool tls);
  void closeListener(std::shared_ptr<Listener>& listener);
  bool atCapacity() const;
  // Whether a relay may open a pipe pair: the connections' descriptors and the pipes already
  // open leave room for two more under the share connections may take (see connectionCapFor).
  bool hasDescriptorsForPipe() const;

  asio::any_io_executor executor_;
  int port_;
  int tlsPort_;
  std::shared_ptr<Listener> listener_;
  std::shared_ptr<Listener> tlsListener_;
  std::shared_ptr<asio::ssl::context> tlsContext_;
  std::map<std::string, Route> routes_;
  RequestSink onRequest_;
  std::shared_ptr<std::size_t> connectionCount_ = std::make_shared<std::size_t>(0);
  std::shared_ptr<std::size_t> pipeDescriptors_ = std::make_shared<std::size_t>(0);
};

}  // namespace qs
