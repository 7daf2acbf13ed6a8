// Console throughput: a server prints 1,000,000 short lines as fast as it can; how many lines per
// second reach a log subscriber on the control socket (the engine's splitting, 500-line buffer and
// events, then logBatch framing, the socket and decoding, as `qs logs -f` gets them), beside the
// same output read straight from a pipe in the same run. Also the peak resident memory meanwhile,
// and the time from a startServer request to the child existing.
#include "core/daemon/daemon_client.h"
#include "core/daemon/daemon_server.h"
#include "core/engine/daemon_service.h"
#include "core/platform/child_process.h"
#include "core/runtime/port_scanner.h"

#include <asio/co_spawn.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/post.hpp>
#include <asio/io_context.hpp>

#include <algorithm>
#include <exception>
#include <optional>
#include <type_traits>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <fcntl.h>
#include <unistd.h>
#include <cstring>

namespace {

using namespace qs;
using Clock = std::chrono::steady_clock;
constexpr long kLines = 1'000'000;

long statusField(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  return 0;
}

// Runs the loop until `op` has finished, one handler at a time, so that a measurement ends
// the moment the operation does. The completion runs on the loop itself: a result handed over
// on another thread could arrive after the loop has gone to sleep with nothing left to wake it.
template <class T>
T await(asio::io_context& io, asio::awaitable<T> op) {
  std::exception_ptr failure;
  std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> result;
  auto finished = [&](std::exception_ptr error, auto... value) {
    failure = error;
    if constexpr (std::is_void_v<T>)
      result = true;
    else
      result = std::move(value...);
  };
  asio::co_spawn(io, std::move(op), finished);
  io.restart();
  while (!result && !failure) io.run_one();
  if (failure) std::rethrow_exception(failure);
  if constexpr (!std::is_void_v<T>) return std::move(*result);
}

std::filesystem::path makeProject(const std::filesystem::path& home, const std::string& name, int port,
                                  long floodLines) {
  auto folder = home / name;
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "Package.swift") << "// vapor\nlet package = Package(name: \"" << name
                                          << "\", targets: [.executableTarget(name: \"App\")])\n";
  std::ofstream env(folder / ".env");
  env << "PORT=" << port << "\n";
  if (floodLines > 0) env << "FAKE_SWIFT_FLOOD=" << floodLines << "\n";
  std::filesystem::create_directories(folder / ".build");  // skip the dependency lines
  return folder;
}

// Adds the folder to the engine, pinned to the fake toolchain; its record.
QSProject addProject(asio::io_context& io, QSDaemonService& engine, const std::filesystem::path& folder) {
  auto added = await(io, engine.handle(cmd::AddProject{folder.string()}));
  QSProject project = added.get<res::Project>()->value;
  project.swiftVersion = "6.0.3";
  await(io, engine.handle(cmd::UpdateProject{project}));
  return project;
}

// Milliseconds from a startServer request to its answer, when the child process exists.
double timeStart(asio::io_context& io, QSDaemonService& engine, const QSUUID& id) {
  auto requested = Clock::now();
  await(io, engine.handle(cmd::StartServer{id}));
  return std::chrono::duration<double, std::milli>(Clock::now() - requested).count();
}

void drainEvents(asio::io_context& io, QSDaemonService& engine) {
  while (engine.eventStream().size() > 0) await(io, engine.eventStream().next());
}

double rawPipeLinesPerSecond(const std::filesystem::path& swift, const std::filesystem::path& folder, int port) {
  QSChildLaunch launch;
  launch.executable = swift;
  launch.arguments = {"run", "App", "serve", "--hostname", "127.0.0.1", "--port", std::to_string(port)};
  launch.workingDirectory = folder;
  launch.environment = {{"FAKE_SWIFT_FLOOD", std::to_string(kLines)}};
  auto child = QSChildProcess::spawn(launch);
  UniqueFd out = child->takeStandardOutput();
  int flags = ::fcntl(out.get(), F_GETFL);
  ::fcntl(out.get(), F_SETFL, flags & ~O_NONBLOCK);
  std::vector<char> buffer(64 * 1024);
  long lines = 0;
  Clock::time_point start{};
  while (lines < kLines + 10) {
    ssize_t n = ::read(out.get(), buffer.data(), buffer.size());
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i)
      if (buffer[i] == '\n' && ++lines == 1) start = Clock::now();
    if (lines >= kLines) break;
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  child->signalGroup(SIGKILL);
  child->reap();
  return lines / seconds;
}

}  // namespace

int main() {
  char pattern[] = "/tmp/qs-bench-XXXXXX";
  std::filesystem::path home = ::mkdtemp(pattern);
  ::setenv("HOME", home.c_str(), 1);
  ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
  ::setenv("QS_TOOLCHAIN_DIRS", QS_FAKE_TOOLCHAINS_DIR, 1);
  int port = QSPortScanner().availablePort(38080, {}, 200);
  auto folder = makeProject(home, "flood", port, kLines);
  auto swift = std::filesystem::path(QS_FAKE_TOOLCHAINS_DIR) / "swift-6.0.3/usr/bin/swift";

  double raw = rawPipeLinesPerSecond(swift, folder, port);

  asio::io_context io;
  auto engine = QSDaemonService::make(io.get_executor(), {.version = "bench", .log = [](const std::string&) {}});
  // Launch latency on a quiet server: the first start (threads and caches still cold), then the
  // median of later ones, as a long-running daemon sees them.
  QSProject quiet = addProject(io, *engine, makeProject(home, "quiet", port, 0));
  double coldLaunchMs = timeStart(io, *engine, quiet.id);
  std::vector<double> warm;
  for (int run = 0; run < 9; ++run) {
    await(io, engine->handle(cmd::StopServer{quiet.id}));
    warm.push_back(timeStart(io, *engine, quiet.id));
  }
  await(io, engine->handle(cmd::StopServer{quiet.id}));
  std::sort(warm.begin(), warm.end());
  double launchMs = warm[warm.size() / 2];

  QSProject project = addProject(io, *engine, folder);
  drainEvents(io, *engine);

  // From here the engine serves a control socket on a thread of its own, as in quaysided, and a
  // client subscribed to log lines (what `qs logs -f` does) counts what arrives.
  auto socketPath = (home / "daemon.sock").string();
  auto server = std::make_shared<QSDaemonServer>(io.get_executor(), engine, socketPath, "bench", "bench");
  await(io, server->start());
  auto guard = asio::make_work_guard(io);
  std::thread daemonThread([&io] { io.run(); });

  asio::io_context clientIo;
  auto client = QSDaemonClient::make(clientIo.get_executor(), socketPath);
  await(clientIo, client->connect());
  auto logLines = await(clientIo, client->events(QSEventKind::logBatches));
  long baseline = statusField("VmRSS:");
  QSDaemonCommand start = cmd::StartServer{project.id}, stop = cmd::StopServer{project.id};
  await(clientIo, client->call(start));

  // A subscriber that falls behind is told how many lines it missed instead of getting them.
  long lines = 0, skipped = 0;
  Clock::time_point first{}, last{};
  auto consume = [&]() -> asio::awaitable<void> {
    while (lines + skipped < kLines) {
      auto event = co_await logLines->next();
      if (!event) co_return;
      const auto* batch = event->get<evt::LogBatch>();
      if (!batch) continue;
      for (const auto& line : batch->lines) {
        if (line.find("flood ") != std::string::npos) {
          if (++lines == 1) first = Clock::now();
          last = Clock::now();
        } else if (line.find(" not shown: this client fell behind") != std::string::npos) {
          skipped += std::atol(line.c_str() + 1);
        }
      }
    }
  };
  await(clientIo, consume());
  double seconds = std::chrono::duration<double>(last - first).count();
  double throughSocket = lines / seconds;
  long peak = statusField("VmHWM:");
  await(clientIo, client->call(stop));
  client->disconnect();

  asio::post(io, [&] {
    server->stop();
    asio::co_spawn(io, engine->shutdown(), [&](std::exception_ptr) { guard.reset(); });
  });
  daemonThread.join();
  std::filesystem::remove_all(home);
  if (lines + skipped < kLines) {
    std::printf("the subscriber's stream ended after %ld of %ld lines\n", lines + skipped, kLines);
    return 1;
  }

  std::printf("console lines at a log subscriber on the control socket: %.0f lines/s   (raw pipe read: %.0f lines/s, "
              "ratio %.2f)   target >= 1000000 lines/s\n",
              throughSocket, raw, throughSocket / raw);
  std::printf("  %ld of %ld lines delivered, %ld reported as not shown (the subscriber fell behind)\n", lines, kLines,
              skipped);
  std::printf("resident memory, daemon and subscriber together: %.1f MB peak (%.1f MB before the flood)   "
              "target <= 50 MB for the daemon\n",
              peak / 1024.0, baseline / 1024.0);
  std::printf("startServer request to child process: %.2f ms median (first start %.2f ms)   target < 5 ms\n",
              launchMs, coldLaunchMs);
  return 0;
}
