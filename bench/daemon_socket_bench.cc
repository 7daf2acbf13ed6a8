// Control-socket round trips (`ping`, and `status` and `listProjects` with 100 projects) through
// the daemon server and client, each beside a raw Unix-socket round trip of the same frame sizes
// on the same loop design, measured in one run. The daemon loop runs on its own thread, clients
// on the main one. `status` and `listProjects` are answered by the real engine, holding 100
// projects in memory, its .test services on ports the system picks.
#include "core/daemon/daemon_client.h"
#include "core/daemon/daemon_server.h"
#include "core/engine/daemon_service.h"
#include "core/platform/child_process.h"
#include "core/protocol/daemon_framing.h"
#include "core/protocol/daemon_message.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/local/stream_protocol.hpp>
#include <asio/post.hpp>
#include <asio/read.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>
#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace qs;
using Clock = std::chrono::steady_clock;
using asio::local::stream_protocol;

namespace {

constexpr auto runTime = std::chrono::milliseconds(600);

// 100 projects, each with a domain and two variables, half of them with a database.
QSProjectConfiguration sampleConfiguration() {
  QSProjectConfiguration configuration;
  for (int n = 0; n < 100; ++n) {
    QSProject project;
    project.name = fmt::format("project-{}", n);
    project.path = fmt::format("/home/me/Quayside/project-{}", n);
    project.port = 8080 + n;
    project.swiftVersion = "6.0.3";
    project.domain = QSDomain{QSUUID::random(), project.name + ".test", project.port, n % 2 == 0};
    project.environmentVariables = {{QSUUID::random(), "DATABASE_URL", "postgresql://postgres@127.0.0.1/app", {}, true},
                                    {QSUUID::random(), "LOG_LEVEL", "debug", "verbose while developing", true}};
    if (n % 2 == 0) {
      QSDatabase database;
      database.name = fmt::format("project_{}", n);
      database.type = QSDatabaseType::postgresql;
      database.port = 5432;
      project.databaseID = database.id;
      configuration.databases.push_back(std::move(database));
    }
    configuration.projects.push_back(std::move(project));
  }
  return configuration;
}

// The peer: reads a frame whose first 4 body bytes give the reply's body length, and answers
// with a frame of that length. No parsing, no queue: the floor under the daemon's round trip.
asio::awaitable<void> echoPeer(stream_protocol::socket socket) {
  std::vector<std::uint8_t> header(4), body, reply;
  for (;;) {
    asio::error_code error;
    co_await asio::async_read(socket, asio::buffer(header), asio::redirect_error(asio::use_awaitable, error));
    if (error) co_return;
    body.resize(QSDaemonFraming::bodyLength(header));
    co_await asio::async_read(socket, asio::buffer(body), asio::use_awaitable);
    std::uint32_t length = QSDaemonFraming::bodyLength(std::span(body).first(4));
    reply.assign(4 + length, ' ');
    std::copy(body.begin(), body.begin() + 4, reply.begin());
    co_await asio::async_write(socket, asio::buffer(reply), asio::use_awaitable);
  }
}

asio::awaitable<void> echoServer(stream_protocol::acceptor& acceptor) {
  for (;;) asio::co_spawn(acceptor.get_executor(), echoPeer(co_await acceptor.async_accept(asio::use_awaitable)), asio::detached);
}

class RawClient {
public:
  RawClient(stream_protocol::socket socket, std::size_t requestBytes, std::size_t replyBytes)
      : socket_(std::move(socket)), request_(4 + requestBytes, ' '), header_(4) {
    auto put = [](std::uint8_t* at, std::uint32_t value) {
      for (int i = 0; i < 4; ++i) at[i] = std::uint8_t(value >> (24 - 8 * i));
    };
    put(request_.data(), static_cast<std::uint32_t>(requestBytes));
    put(request_.data() + 4, static_cast<std::uint32_t>(replyBytes));
  }
  asio::awaitable<void> roundTrip() {
    co_await asio::async_write(socket_, asio::buffer(request_), asio::use_awaitable);
    co_await asio::async_read(socket_, asio::buffer(header_), asio::use_awaitable);
    body_.resize(QSDaemonFraming::bodyLength(header_));
    co_await asio::async_read(socket_, asio::buffer(body_), asio::use_awaitable);
  }

private:
  stream_protocol::socket socket_;
  std::vector<std::uint8_t> request_, header_, body_;
};

struct Figures {
  std::size_t count = 0;
  double perSecond = 0, p50 = 0, p99 = 0;  // latencies in microseconds
};

// Runs `clients` loops of `roundTrip(i)` side by side for runTime; returns rate and latencies.
Figures measure(asio::io_context& loop, int clients, std::function<asio::awaitable<void>(int)> roundTrip) {
  std::vector<double> latencies;
  Clock::time_point start = Clock::now(), end = start + runTime;
  int running = clients;
  auto worker = [&](int index) -> asio::awaitable<void> {
    while (Clock::now() < end) {
      Clock::time_point before = Clock::now();
      co_await roundTrip(index);
      latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - before).count());
    }
    // The clients' readers keep the loop busy for ever: stop it when the last worker is done.
    if (--running == 0) loop.stop();
  };
  for (int i = 0; i < clients; ++i) asio::co_spawn(loop, worker(i), asio::detached);
  loop.restart();
  loop.run();
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::sort(latencies.begin(), latencies.end());
  auto at = [&](double q) { return latencies[std::min(latencies.size() - 1, std::size_t(q * latencies.size()))]; };
  return {latencies.size(), latencies.size() / seconds, at(0.50), at(0.99)};
}

void print(const std::string& name, const Figures& f) {
  fmt::print("  {:<34} {:>8.0f}/s   p50 {:>7.1f} us   p99 {:>7.1f} us\n", name, f.perSecond, f.p50, f.p99);
}

std::string residentMemory() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return line.substr(line.find_first_not_of(" \t", 6));
  return "unknown";
}

template <class T>
T runSync(asio::io_context& loop, asio::awaitable<T> task) {
  std::optional<T> out;
  asio::co_spawn(loop, std::move(task), [&](std::exception_ptr e, T value) {
    loop.stop();
    if (e) std::rethrow_exception(e);
    out = std::move(value);
  });
  loop.restart();
  loop.run();
  return std::move(*out);
}

std::size_t frameBodySize(const QSBytes& frame) { return frame.size() - 4; }

std::string residentMemoryOf(std::int32_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return line.substr(line.find_first_not_of(" \t", 6));
  return "unknown";
}

// The real quaysided (built beside this program), started on an empty HOME in `folder`: its
// resident memory once it serves and has settled, before any client asks anything.
std::string idleDaemonMemory(const std::filesystem::path& folder) {
  auto daemon = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "quaysided";
  if (!std::filesystem::exists(daemon)) return "unknown (quaysided not built)";
  auto home = folder / "home";
  std::filesystem::create_directories(home);
  std::string socketPath = (home / "daemon.sock").string();
  auto process = QSChildProcess::spawn({daemon, {}, home,
                                        {{"HOME", home.string()},
                                         {"XDG_DATA_HOME", (home / "data").string()},
                                         {"XDG_CONFIG_HOME", (home / "config").string()},
                                         {"QS_DAEMON_SOCKET", socketPath},
                                         {"QS_DAEMON_LOCK", (home / "owner.lock").string()}}});
  asio::io_context io;
  bool serving = false;
  for (int attempt = 0; attempt < 500 && !serving; ++attempt) {
    stream_protocol::socket probe(io);
    asio::error_code ec;
    probe.connect(stream_protocol::endpoint(socketPath), ec);
    serving = !ec;
    if (!serving) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  std::string memory = serving ? residentMemoryOf(process->pid()) : "unknown (quaysided did not start)";
  process->signal(SIGTERM);
  for (int i = 0; i < 500 && !process->reap(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return memory;
}

}  // namespace

int main() {
  std::filesystem::path folder = std::filesystem::temp_directory_path() / fmt::format("qs-bench-{}", ::getpid());
  std::filesystem::create_directories(folder);
  std::string daemonPath = (folder / "daemon.sock").string(), echoPath = (folder / "echo.sock").string();

  // The daemon's side: one loop on its own thread, as in quaysided.
  asio::io_context serverLoop;
  auto backend = QSDaemonService::make(serverLoop.get_executor(),
                                      {.version = "bench",
                                       .configuration = sampleConfiguration(),
                                       .log = [](const std::string&) {},
                                       .network = {.proxyPort = 0, .proxyTLSPort = 0, .dnsPort = 0}});
  QSDaemonServer server(serverLoop.get_executor(), backend, daemonPath, "bench", "bench");
  stream_protocol::acceptor echoAcceptor(serverLoop, stream_protocol::endpoint(echoPath));
  asio::co_spawn(serverLoop, server.start(), [](std::exception_ptr e) {
    if (e) std::rethrow_exception(e);
  });
  asio::co_spawn(serverLoop, echoServer(echoAcceptor), asio::detached);
  serverLoop.poll();  // listening from here on
  auto guard = asio::make_work_guard(serverLoop);
  std::thread serverThread([&] { serverLoop.run(); });
  std::string idleMemory = residentMemory();

  asio::io_context loop;
  auto connectClients = [&](int count) {
    std::vector<std::shared_ptr<QSDaemonClient>> clients;
    for (int i = 0; i < count; ++i) {
      clients.push_back(QSDaemonClient::make(loop.get_executor(), daemonPath));
      runSync(loop, [](std::shared_ptr<QSDaemonClient> c) -> asio::awaitable<int> {
        co_await c->connect();
        co_return 0;
      }(clients.back()));
    }
    return clients;
  };
  auto connectRaw = [&](int count, std::size_t requestBytes, std::size_t replyBytes) {
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < count; ++i) {
      stream_protocol::socket socket(loop);
      socket.connect(stream_protocol::endpoint(echoPath));
      clients.push_back(std::make_unique<RawClient>(std::move(socket), requestBytes, replyBytes));
    }
    return clients;
  };

  // Frame sizes of the real messages, so that the raw round trips carry as many bytes.
  QSDaemonCommand pingCommand = cmd::Ping{}, statusCommand = cmd::Status{}, listCommand = cmd::ListProjects{};
  std::size_t pingRequest = frameBodySize(QSDaemonFraming::encode(QSDaemonRequest{QSUUID::random(), pingCommand}));
  std::size_t pongReply = frameBodySize(QSDaemonFraming::encode(QSDaemonResponse{QSUUID::random(), res::Pong{"bench", "bench"}}));
  std::size_t statusRequest = frameBodySize(QSDaemonFraming::encode(QSDaemonRequest{QSUUID::random(), statusCommand}));
  auto oneClient = connectClients(1);
  QSDaemonResult statusAnswer = runSync(loop, oneClient[0]->call(statusCommand));
  std::size_t statusReply = frameBodySize(QSDaemonFraming::encode(QSDaemonResponse{QSUUID::random(), statusAnswer}));
  std::size_t listRequest = frameBodySize(QSDaemonFraming::encode(QSDaemonRequest{QSUUID::random(), listCommand}));
  QSDaemonResult listAnswer = runSync(loop, oneClient[0]->call(listCommand));
  std::size_t listReply = frameBodySize(QSDaemonFraming::encode(QSDaemonResponse{QSUUID::random(), listAnswer}));

  fmt::print("Control socket round trips ({} ms each; frames: ping {}→{} B, status {}→{} B, listProjects {}→{} B)\n",
             runTime.count(), pingRequest, pongReply, statusRequest, statusReply, listRequest, listReply);
  auto eight = connectClients(8);
  auto rawOne = connectRaw(1, pingRequest, pongReply);
  auto rawEight = connectRaw(8, pingRequest, pongReply);
  auto rawStatus = connectRaw(1, statusRequest, statusReply);
  auto rawList = connectRaw(1, listRequest, listReply);

  auto call = [&](std::vector<std::shared_ptr<QSDaemonClient>>& clients, QSDaemonCommand command) {
    return [&clients, command](int i) -> asio::awaitable<void> { co_await clients[i]->call(command); };
  };
  auto raw = [](std::vector<std::unique_ptr<RawClient>>& clients) {
    return [&clients](int i) -> asio::awaitable<void> { co_await clients[i]->roundTrip(); };
  };

  Figures ping1 = measure(loop, 1, call(oneClient, pingCommand));
  Figures raw1 = measure(loop, 1, raw(rawOne));
  Figures ping8 = measure(loop, 8, call(eight, pingCommand));
  Figures raw8 = measure(loop, 8, raw(rawEight));
  Figures status = measure(loop, 1, call(oneClient, statusCommand));
  Figures rawStatusFigures = measure(loop, 1, raw(rawStatus));
  Figures list = measure(loop, 1, call(oneClient, listCommand));
  Figures rawListFigures = measure(loop, 1, raw(rawList));

  print("ping, 1 connection", ping1);
  print("raw round trip, 1 connection", raw1);
  print("ping, 8 clients", ping8);
  print("raw round trip, 8 connections", raw8);
  print("status (100 projects), 1 connection", status);
  print("raw round trip of status's size", rawStatusFigures);
  print("listProjects (100), 1 connection", list);
  print("raw round trip of listProjects' size", rawListFigures);
  fmt::print("Ratios (daemon / raw):\n");
  fmt::print("  ping p50, 1 connection    {:5.2f}x   (target: within 2x)\n", ping1.p50 / raw1.p50);
  fmt::print("  ping p50, 8 clients       {:5.2f}x   (target: within 2x)\n", ping8.p50 / raw8.p50);
  fmt::print("  ping rate, 8 clients      {:5.2f}x of raw\n", ping8.perSecond / raw8.perSecond);
  fmt::print("  status p50                {:5.2f}x   {:.3f} ms (target: under 0.5 ms)\n",
             status.p50 / rawStatusFigures.p50, status.p50 / 1000);
  fmt::print("  listProjects p50          {:5.2f}x   {:.3f} ms\n", list.p50 / rawListFigures.p50, list.p50 / 1000);
  fmt::print("Resident memory: {} idle with the daemon server started, {} after the runs\n", idleMemory,
             residentMemory());
  fmt::print("Idle quaysided resident memory: {} (target: under 10 MB)\n", idleDaemonMemory(folder));

  for (auto& c : oneClient) c->disconnect();
  for (auto& c : eight) c->disconnect();
  rawOne.clear();
  rawEight.clear();
  rawStatus.clear();
  rawList.clear();
  asio::post(serverLoop, [&] {
    server.stop();
    echoAcceptor.close();
    asio::co_spawn(serverLoop, backend->shutdown(), [&](std::exception_ptr) { guard.reset(); });
  });
  serverThread.join();
  std::filesystem::remove_all(folder);
  return 0;
}
