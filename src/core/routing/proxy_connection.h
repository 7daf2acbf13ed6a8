// One connection to the proxy, from accept to close: (TLS handshake), the whole first request
// head read under a time limit, routing by its Host, then either a page of the proxy's own or a
// connection to the project (under its own time limit) and a relay both ways.
//
// The relay is two loops, one per direction, each reading up to 64 KiB, passing it through the
// connection's QSProxyExchangeLog (which frames the messages and logs the exchanges) and writing
// what that lets through on whole before reading again. Bytes the exchange does not examine (a
// body's, a tunnel's) go straight from the read buffer; on a plain connection a large run of
// them (the rest of a long body, exactly, or a tunnel to its end) moves with splice(2) through
// a pipe pair opened for it, the exchange told how many moved. The end of one side's stream is passed
// on as a half-close (for a TLS client: close_notify is sent and the connection closed once the
// project has finished); an error on either side closes both; so does silence on both for the
// proxy's idle limit. A request that cannot be relayed stops the client's side: the project is
// told the end of the requests, and once it has answered the earlier ones the client gets the
// refusal page.
#pragma once

#include "core/routing/proxy_server.h"
#include "core/routing/proxy_splice.h"

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
  std::optional<QSProxyServer::Route> routeFirstRequest(const std::string& received, std::string& page);
  template <class Client>
  asio::awaitable<std::string> readHead(Client& client);
  template <class Client>
  asio::awaitable<void> answer(Client& client, const std::string& page);
  asio::awaitable<bool> connectToProject(int port);
  template <class Client>
  asio::awaitable<void> relayRequests(Client& client);
  template <class Client>
  asio::awaitable<void> relayResponses(Client& client);
  // Splices the next `unexamined` bytes from `from` to `to` when that is worth a pipe (and one
  // can be had); nothing when they are to be read as usual.
  asio::awaitable<std::optional<QSSpliceOutcome>> spliceUnexamined(asio::ip::tcp::socket& from,
                                                                  asio::ip::tcp::socket& to,
                                                                  std::uint64_t unexamined,
                                                                  void (QSProxyExchangeLog::*relayed)(std::uint64_t));

  // Closes the client connection (and the project connection) once `limit` has passed.
  void armDeadline(std::chrono::steady_clock::duration limit);
  // Closes both once neither has sent anything for the proxy's idle limit.
  void watchIdleness();
  void closeAll();

  std::shared_ptr<QSProxyServer> proxy_;
  std::shared_ptr<asio::ssl::context> tls_;
  asio::ip::tcp::socket client_;
  std::optional<asio::ssl::stream<asio::ip::tcp::socket&>> secure_;
  asio::ip::tcp::socket project_;
  asio::steady_timer deadline_;
  std::chrono::steady_clock::time_point lastActivity_;
  std::string host_;  // of the first request, as sent
  std::shared_ptr<QSProxyExchangeLog> exchange_;
  std::shared_ptr<std::size_t> count_;
};

}  // namespace qs
