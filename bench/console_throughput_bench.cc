// Console throughput: a server prints 1,000,000 short lines as fast as it can; how many lines per
// second reach an event subscriber through the engine (splitting, the 500-line buffer, logLine
// events), beside the same output read straight from a pipe in the same run. Also the engine's
// peak resident memory meanwhile, and the time from a startServer request to the child existing.
#include "core/engine/daemon_service.h"
#include "core/platform/child_process.h"
#include "core/routing/port_scanner.h"

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/use_future.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
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
// the moment the operation does.
template <class T>
T await(asio::io_context& io, asio::awaitable<T> op) {
  auto future = asio::co_spawn(io, std::move(op), asio::use_future);
  io.restart();
  while (future.wait_for(std::chrono::seconds(0)) != std::future_status::ready) io.run_one();
  return future.get();
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
  long baseline = statusField("VmRSS:");
  await(io, engine->handle(cmd::StartServer{project.id}));

  long lines = 0;
  Clock::time_point first{};
  auto consume = [&]() -> asio::awaitable<void> {
    while (lines < kLines) {
      auto event = co_await engine->eventStream().next();
      if (!event) co_return;
      if (const auto* line = event->get<evt::LogLine>(); line && line->line.find("flood ") != std::string::npos)
        if (++lines == 1) first = Clock::now();
    }
  };
  await(io, consume());
  double seconds = std::chrono::duration<double>(Clock::now() - first).count();
  double throughEngine = lines / seconds;
  long peak = statusField("VmHWM:");
  await(io, engine->handle(cmd::StopServer{project.id}));
  await(io, engine->shutdown());
  std::filesystem::remove_all(home);

  std::printf("console lines through the engine: %.0f lines/s   (raw pipe read: %.0f lines/s, ratio %.2f)   target >= 200000 lines/s\n",
              throughEngine, raw, throughEngine / raw);
  std::printf("engine resident memory: %.1f MB peak (%.1f MB before the flood)   target <= 50 MB\n", peak / 1024.0,
              baseline / 1024.0);
  std::printf("startServer request to child process: %.2f ms median (first start %.2f ms)   target < 5 ms\n",
              launchMs, coldLaunchMs);
  return 0;
}
