// One connection to the proxy, from accept to close: (TLS handshake), the request head read
// under a time limit, routing by Host, then either a page of the proxy's own or a connection to
// the project and a relay both ways.
//
// The relay is two loops, one per direction, each reading up to 64 KiB and writing it on whole
// before reading again; only the exchange log looks at the bytes. The end of one side's stream
// is passed on as a half-close (for a TLS client: close_notify is sent and the connection closed
// once the project has finished); an error on either side closes both.
#pragma once

#include "core/routing/proxy_server.h"

#include <asio/ip/tcp.hpp>
#include <asio/ssl/stream.hpp>
#include <asio/steady_timer.hpp>

#include <memory>
#include <optional>
#include <string>

namespace qs {

class QSProxyExchangeLog;

class QSProxyConnection : public std::enable_shared_from_this<QSProxyConnection> {
public:
  // `tls` is the listener's context for a TLS connection, null for a plain one.
  QSProxyConnection(std::shared_ptr<QSProxyServer> proxy, asio::ip::tcp::socket client,
                    std::shared_ptr<asio::ssl::context> tls);
  ~QSProxyConnection();
  QSProxyConnection(const QSProxyConnection&) = delete;
  QSProxyConnection& operator=(const QSProxyConnection&) = delete;

  // Serves the connection until both sides are closed; `self` keeps it alive meanwhile.
  asio::awaitable<void> serve(std::shared_ptr<QSProxyConnection> self);

private:
  template <class Client>
  asio::awaitable<void> route(Client& client);
  template <class Client>
  asio::awaitable<std::string> readHead(Client& client);
  template <class Client>
  asio::awaitable<void> answer(Client& client, const std::string& page);
  template <class From, class To>
  asio::awaitable<void> relay(From& from, To& to, std::shared_ptr<QSProxyExchangeLog> log, bool toProject);

  // Closes the client connection (and the project connection) once `limit` has passed.
  void armDeadline(std::chrono::steady_clock::duration limit);
  void closeAll();

  std::shared_ptr<QSProxyServer> proxy_;
  std::shared_ptr<asio::ssl::context> tls_;
  asio::ip::tcp::socket client_;
  std::optional<asio::ssl::stream<asio::ip::tcp::socket&>> secure_;
  asio::ip::tcp::socket project_;
  asio::steady_timer deadline_;
  std::shared_ptr<std::size_t> count_;
};

}  // namespace qs
