// The .test proxy under wrk, beside the same backend reached directly and nginx proxying to it
// (proxy_pass with upstream keep-alive; TLS termination with the same certificate), all set up
// in one temporary folder and measured in one run, the targets taking turns round by round.
//
// Fairness: the proxy serves everything on one loop thread, so nginx runs one worker process;
// the backend has one loop thread and wrk one thread. The proxy logs every exchange, as it does
// in the daemon, while nginx's access log is off.
#include "routing_bench_support.h"

#include "core/routing/certificate_service.h"
#include "core/routing/proxy_server.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/use_future.hpp>
#include <asio/write.hpp>

#include <deque>
#include <functional>
#include <map>
#include <thread>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace qs;
using namespace qs::bench;
using tcp = asio::ip::tcp;

namespace {

constexpr auto kTuple = asio::experimental::as_tuple(asio::use_awaitable);
constexpr int kRounds = 5;
constexpr const char* kSeconds = "3s";
constexpr std::size_t kBigBody = 1 << 20;

// The project: answers every request head on a kept connection, "/big" with 1 MiB and
// anything else with a 13-byte body.
class Backend {
public:
  explicit Backend(asio::io_context& io) : acceptor_(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0)) {
    port = acceptor_.local_endpoint().port();
    small_ = response(std::string("Hello, world!"));
    big_ = response(std::string(kBigBody, 'b'));
    asio::co_spawn(io, acceptLoop(), asio::detached);
  }
  void close() { acceptor_.close(); }
  int port = 0;

private:
  static std::string response(const std::string& body) {
    return fmt::format("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: {}\r\n\r\n{}", body.size(),
                       body);
  }

  asio::awaitable<void> acceptLoop() {
    for (;;) {
      auto [ec, socket] = co_await acceptor_.async_accept(kTuple);
      if (ec) co_return;
      socket.set_option(tcp::no_delay(true));
      asio::co_spawn(acceptor_.get_executor(), serve(std::move(socket)), asio::detached);
    }
  }

  asio::awaitable<void> serve(tcp::socket socket) {
    std::string received;
    std::vector<char> buffer(65536);
    for (;;) {
      auto [ec, n] = co_await socket.async_read_some(asio::buffer(buffer), kTuple);
      if (ec) co_return;
      received.append(buffer.data(), n);
      for (auto end = received.find("\r\n\r\n"); end != std::string::npos; end = received.find("\r\n\r\n")) {
        bool big = received.compare(0, 9, "GET /big ") == 0;
        received.erase(0, end + 4);
        auto [writeError, written] = co_await asio::async_write(socket, asio::buffer(big ? big_ : small_), kTuple);
        if (writeError) co_return;
      }
    }
  }

  tcp::acceptor acceptor_;
  std::string small_;
  std::string big_;
};

// The ceiling for any relay on this machine: bytes moved between the client and the backend with
// splice(2) through a pipe, one blocking thread per direction, nothing parsed and nothing logged.
// It shows what relaying alone costs on this machine, against the backend reached directly.
class BareRelay {
public:
  explicit BareRelay(int backendPort) : backendPort_(backendPort) {
    std::tie(listener_, port) = boundLoopbackSocket(SOCK_STREAM, "the bare relay");
    if (::listen(listener_, 128) != 0) throw std::runtime_error("the bare relay could not listen");
    std::thread([this] { acceptLoop(); }).detach();
  }
  int port = 0;

private:
  void acceptLoop() {
    for (;;) {
      int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) return;
      int backend = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      address.sin_port = htons(static_cast<std::uint16_t>(backendPort_));
      if (::connect(backend, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(client);
        ::close(backend);
        continue;
      }
      int on = 1;
      ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      ::setsockopt(backend, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      // Both directions share the two sockets; the last one to finish closes them.
      auto sockets = std::shared_ptr<std::pair<int, int>>(new std::pair<int, int>(client, backend), [](auto* pair) {
        ::close(pair->first);
        ::close(pair->second);
        delete pair;
      });
      std::thread([sockets] { pump(sockets->first, sockets->second); }).detach();
      std::thread([sockets] { pump(sockets->second, sockets->first); }).detach();
    }
  }

  static void pump(int from, int to) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) return;
    for (bool open = true; open;) {
      ssize_t moved = ::splice(from, nullptr, pipe[1], nullptr, 1 << 20, SPLICE_F_MOVE);
      open = moved > 0;
      while (moved > 0) {
        ssize_t sent = ::splice(pipe[0], nullptr, to, nullptr, static_cast<std::size_t>(moved), SPLICE_F_MOVE);
        if (sent <= 0) {
          open = false;
          break;
        }
        moved -= sent;
      }
    }
    ::shutdown(to, SHUT_WR);
    ::close(pipe[0]);
    ::close(pipe[1]);
  }

  int backendPort_;
  int listener_ = -1;
};

template <class F>
auto onLoop(asio::io_context& io, F f) {
  return asio::co_spawn(io, f(), asio::use_future).get();
}

// nginx as the peer: one worker, proxy_pass to the backend with kept upstream connections,
// plain on one port and TLS with our certificate on another; everything under `folder`.
std::string nginxConfig(const std::filesystem::path& folder, int backendPort, int plainPort, int tlsPort,
                        const std::filesystem::path& cert, const std::filesystem::path& key) {
  std::string f = folder.string();
  return fmt::format(R"(worker_processes 1;
daemon off;
master_process on;
user root;
pid {0}/nginx.pid;
error_log {0}/nginx-error.log warn;
events {{ worker_connections 4096; }}
http {{
  access_log off;
  client_body_temp_path {0}/client-body;
  proxy_temp_path {0}/proxy;
  fastcgi_temp_path {0}/fastcgi;
  uwsgi_temp_path {0}/uwsgi;
  scgi_temp_path {0}/scgi;
  upstream project {{
    server 127.0.0.1:{1};
    keepalive 64;
  }}
  server {{
    listen 127.0.0.1:{2};
    listen 127.0.0.1:{3} ssl;
    ssl_certificate {4};
    ssl_certificate_key {5};
    location / {{
      proxy_pass http://project;
      proxy_http_version 1.1;
      proxy_set_header Connection "";
      proxy_set_header Host $host;
    }}
  }}
}}
)",
                     f, backendPort, plainPort, tlsPort, cert.string(), key.string());
}

WrkFigures wrk(const std::string& url, int connections) {
  return parseWrk(runTool({"wrk", "-t1", fmt::format("-c{}", connections), std::string("-d") + kSeconds, "--latency",
                           "-H", "Host: bench.test", url}));
}

struct Figures {
  double requestsPerSecond = 0;
  double p50Microseconds = 0;
  double cpuPerRequest = 0;  // µs of the proxy's CPU time (ours: its loop thread; nginx: its processes)
};

// The CPU clock of each proxy under test (none for the backend reached directly).
using CPUClocks = std::map<std::string, std::function<double()>>;

// Runs every target's measurement once per round, in turn, and keeps each target's medians.
std::map<std::string, Figures> measure(const std::vector<std::pair<std::string, std::string>>& targets,
                                       int connections, const CPUClocks& clocks) {
  std::map<std::string, std::vector<double>> rates, p50s, cpu;
  for (int round = 0; round < kRounds; ++round) {
    for (const auto& [name, url] : targets) {
      auto clock = clocks.find(name);
      double before = clock == clocks.end() ? 0 : clock->second();
      WrkFigures f = wrk(url, connections);
      double used = clock == clocks.end() ? 0 : clock->second() - before;
      rates[name].push_back(f.requestsPerSecond);
      p50s[name].push_back(f.p50Microseconds);
      cpu[name].push_back(f.requests > 0 ? used * 1e6 / f.requests : 0);
    }
  }
  std::map<std::string, Figures> out;
  for (const auto& [name, url] : targets) out[name] = {median(rates[name]), median(p50s[name]), median(cpu[name])};
  return out;
}

}  // namespace

int main() {
  try {
    fmt::print("load average at start: {} on {} cores\n", loadAverage(), std::thread::hardware_concurrency());
    std::signal(SIGPIPE, SIG_IGN);  // as the daemon does
    TemporaryFolder folder;
    LoopThread backendLoop;
    LoopThread proxyLoop;
    Backend backend(backendLoop.io);

    // Our proxy, as the daemon runs it: routes, a request log, TLS from the certificate service.
    QSCertificateService certificates(folder / "ssl");
    QSBytes bundle = certificates.serverCertificatePKCS12({"bench.test"});
    auto proxy = std::make_shared<QSProxyServer>(proxyLoop.io.get_executor(), 0, 0);
    auto logged = std::make_shared<std::deque<QSLogEntry>>();
    auto ports = onLoop(proxyLoop.io, [&]() -> asio::awaitable<std::pair<int, int>> {
      proxy->registerRoute("bench.test", backend.port, QSUUID::random());
      proxy->setRequestHandler([logged](QSLogEntry entry) {
        logged->push_back(std::move(entry));
        if (logged->size() > 1000) logged->pop_front();
      });
      co_await proxy->start();
      co_await proxy->startTLS(bundle, QSCertificateService::pkcs12Password);
      co_return std::pair{proxy->port(), proxy->tlsPort()};
    });

    int nginxPort = freeTCPPort(), nginxTLSPort = freeTCPPort();
    writeFileAtomically(folder / "nginx.conf", nginxConfig(folder.path(), backend.port, nginxPort, nginxTLSPort,
                                                  folder / "ssl/server/server-cert.pem",
                                                  folder / "ssl/server/server-key.pem"));
    std::filesystem::create_directories(folder / "logs");
    Peer nginx("nginx", {"-p", folder.path().string(), "-c", (folder / "nginx.conf").string()}, folder / "nginx.log");
    awaitTCPListener(nginxPort, "nginx");
    awaitTCPListener(nginxTLSPort, "nginx");

    auto url = [](const char* scheme, int port, const char* path) {
      return fmt::format("{}://127.0.0.1:{}{}", scheme, port, path);
    };
    std::string direct = url("http", backend.port, "/"), ours = url("http", ports.first, "/"),
                theirs = url("http", nginxPort, "/");
    fmt::print("wrk: 1 thread, {} per run, median of {} rounds; proxy: 1 loop thread; nginx: worker_processes 1; "
               "backend: 1 loop thread\n",
               kSeconds, kRounds);

    CPUClocks clocks{{"ours", [&] { return proxyLoop.cpuSeconds(); }}, {"nginx", [&] { return nginx.cpuSeconds(); }}};
    auto small = measure({{"direct", direct}, {"ours", ours}, {"nginx", theirs}}, 50, clocks);
    auto single = measure({{"direct", direct}, {"ours", ours}, {"nginx", theirs}}, 1, clocks);
    BareRelay relay(backend.port);
    auto big = measure({{"direct", url("http", backend.port, "/big")},
                        {"ours", url("http", ports.first, "/big")},
                        {"nginx", url("http", nginxPort, "/big")},
                        {"bare relay", url("http", relay.port, "/big")}},
                       4, clocks);
    auto tls = measure({{"ours", url("https", ports.second, "/")}, {"nginx", url("https", nginxTLSPort, "/")}}, 50,
                       clocks);
    nginx.requireRunning("nginx");

    double mib = static_cast<double>(kBigBody) / (1 << 20);
    std::vector<Row> rows{
        {"small, keep-alive, 50 conns vs nginx", "req/s", small["ours"].requestsPerSecond, "nginx proxy_pass",
         small["nginx"].requestsPerSecond, 1.0},
        {"small, keep-alive, 50 conns vs direct", "req/s", small["ours"].requestsPerSecond, "backend direct",
         small["direct"].requestsPerSecond, std::nullopt},
        {"p50 latency, 1 conn, ours over direct", "us", single["ours"].p50Microseconds, "backend direct",
         single["direct"].p50Microseconds, 100.0, true},
        {"p50 latency, 1 conn, nginx over direct", "us", single["nginx"].p50Microseconds, "backend direct",
         single["direct"].p50Microseconds, std::nullopt, true},
        {"1 MiB responses, 4 conns vs direct", "MiB/s", big["ours"].requestsPerSecond * mib, "backend direct",
         big["direct"].requestsPerSecond * mib, 0.9},
        {"1 MiB, 4 conns vs a bare splice relay", "MiB/s", big["ours"].requestsPerSecond * mib,
         "bare relay", big["bare relay"].requestsPerSecond * mib, std::nullopt},
        {"1 MiB, bare relay vs direct", "MiB/s", big["bare relay"].requestsPerSecond * mib,
         "backend direct", big["direct"].requestsPerSecond * mib, std::nullopt},
        {"1 MiB responses, 4 conns vs nginx", "MiB/s", big["ours"].requestsPerSecond * mib, "nginx proxy_pass",
         big["nginx"].requestsPerSecond * mib, std::nullopt},
        {"TLS, keep-alive, 50 conns vs nginx", "req/s", tls["ours"].requestsPerSecond, "nginx TLS",
         tls["nginx"].requestsPerSecond, 1.0},
        // The proxies' own CPU time per request does not depend on how busy the machine is.
        {"CPU per request, small, 50 conns", "us", small["ours"].cpuPerRequest, "nginx proxy_pass",
         small["nginx"].cpuPerRequest, std::nullopt},
        {"CPU per 1 MiB response", "us", big["ours"].cpuPerRequest, "nginx proxy_pass", big["nginx"].cpuPerRequest,
         std::nullopt},
        {"CPU per request, TLS, 50 conns", "us", tls["ours"].cpuPerRequest, "nginx TLS", tls["nginx"].cpuPerRequest,
         std::nullopt},
    };
    printTable("Proxy (wrk)", rows);
    fmt::print("load average at end: {}\n", loadAverage());

    onLoop(proxyLoop.io, [&]() -> asio::awaitable<void> {
      proxy->stop();
      co_return;
    });
    onLoop(backendLoop.io, [&]() -> asio::awaitable<void> {
      backend.close();
      co_return;
    });
    proxy.reset();
    return 0;
  } catch (const std::exception& e) {
    fmt::print(stderr, "proxy_bench: {}\n", e.what());
    return 1;
  }
}
