// Watch mode with the real Swift toolchain: the time from saving a source file to the new server
// answering, watch mode against the same change made by hand (`swift build`, then a restart
// through the daemon), both in one run; and, while watch mode rebuilds, how many requests the
// old server answers, and how long the restart leaves nobody answering.
//
// The package is the test fixture (an `App` without dependencies that serves like a Vapor app),
// run by the real quaysided and qs built beside this program. Needs `swift` (/opt/swift/usr/bin
// or PATH); says so and exits 0 without one.
#include "bench_support.h"

#include "core/platform/file_status.h"
#include "core/platform/process_runner.h"
#include "core/runtime/port_scanner.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <atomic>
#include <mutex>
#include <optional>

namespace {

using namespace qs;
using namespace qs::bench;
namespace fs = std::filesystem;

constexpr int kRounds = 5;

std::optional<fs::path> swiftCompiler() {
  if (isExecutableFile("/opt/swift/usr/bin/swift")) return fs::path("/opt/swift/usr/bin/swift");
  return findExecutable("swift");
}

// One GET /hello on a fresh connection; the body, or nothing when nobody answered in 1 s.
std::optional<std::string> hello(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  timeval limit{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string response;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    std::string request = "GET /hello HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
      char buffer[4096];
      for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) response.append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  auto body = response.find("\r\n\r\n");
  if (response.rfind("HTTP/1.1 200", 0) != 0 || body == std::string::npos) return std::nullopt;
  return response.substr(body + 4);
}

struct Sample {
  Clock::time_point at;
  std::optional<std::string> body;
};

// Asks GET /hello over and over from the moment of the save until `wanted` answers.
std::vector<Sample> pollUntilAnswered(int port, const std::string& wanted) {
  std::vector<Sample> samples;
  auto deadline = Clock::now() + std::chrono::minutes(10);
  while (Clock::now() < deadline) {
    auto body = hello(port);
    samples.push_back({Clock::now(), body});
    if (body == wanted) return samples;
    if (!body) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  throw std::runtime_error("the server never answered " + wanted);
}

struct Round {
  double saveToAnswerMs = 0;
  int sentBefore = 0, answeredBefore = 0;  // before the restart began (the old server's time)
  double restartGapMs = 0;                 // last old answer → first new answer
};

Round measure(const std::vector<Sample>& samples, Clock::time_point saved, const std::string& wanted) {
  Round round;
  round.saveToAnswerMs = std::chrono::duration<double, std::milli>(samples.back().at - saved).count();
  std::size_t lastOld = 0;
  for (std::size_t i = 0; i < samples.size(); ++i)
    if (samples[i].body && samples[i].body != wanted) lastOld = i;
  for (std::size_t i = 0; i <= lastOld && i < samples.size(); ++i) {
    ++round.sentBefore;
    round.answeredBefore += samples[i].body.has_value();
  }
  round.restartGapMs = std::chrono::duration<double, std::milli>(samples.back().at - samples[lastOld].at).count();
  return round;
}

class Bench {
public:
  explicit Bench(fs::path home) : home_(std::move(home)), app_(home_ / "app") {}

  std::string qs(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), (fs::read_symlink("/proc/self/exe").parent_path() / "qs").string());
    QSProcessOptions options;
    options.environment = homeEnvironment(home_);
    options.environment["QS_DAEMON_SOCKET"] = (home_ / "daemon.sock").string();
    options.environment["QS_DAEMON_LOCK"] = (home_ / "owner.lock").string();
    auto result = runProcess(arguments, options);
    if (result.exitStatus != 0) throw std::runtime_error("qs " + arguments[1] + ": " + result.errorOutput);
    return result.output;
  }

  void prepare(int port) {
    fs::copy(QS_SWIFT_FIXTURE, app_, fs::copy_options::recursive);
    std::ofstream(app_ / ".env") << "PORT=" << port << "\n";
    save("Hello, world!");
  }

  Clock::time_point save(const std::string& greeting) {
    std::ofstream(app_ / "Sources/App/Greeting.swift") << "let greeting = \"" << greeting << "\"\n";
    return Clock::now();
  }

  const fs::path& app() const { return app_; }

private:
  fs::path home_, app_;
};

void report(const char* what, const std::vector<Round>& rounds) {
  std::vector<double> answer, gap;
  int sent = 0, answered = 0;
  for (const auto& r : rounds) {
    answer.push_back(r.saveToAnswerMs);
    gap.push_back(r.restartGapMs);
    sent += r.sentBefore;
    answered += r.answeredBefore;
  }
  fmt::print("{:<28} save to answer: median {:7.0f} ms   restart gap: median {:5.0f} ms, max {:5.0f} ms   "
             "answered before the restart: {}/{} ({:.1f}%)\n",
             what, median(answer), median(gap), *std::max_element(gap.begin(), gap.end()), answered, sent,
             sent ? 100.0 * answered / sent : 100.0);
}

}  // namespace

int main() {
  auto swift = swiftCompiler();
  if (!swift) {
    fmt::print("watch_mode_bench: no Swift toolchain (/opt/swift/usr/bin/swift or swift on PATH); skipped.\n");
    return 0;
  }
  auto home = scratchFolder("qs-watch-bench");
  useHome(home);
  Bench bench(home);
  int port = QSPortScanner().availablePort(38180, {}, 200);
  bench.prepare(port);
  auto daemon = startDaemon(home);
  int status = 0;
  try {
    for (int i = 0; i < 200 && !fs::exists(home / "daemon.sock"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    bench.qs({"add", bench.app().string()});
    bench.qs({"start", "fixture-app", "--watch", "--wait"});

    std::vector<Round> watched, byHand;
    for (int round = 0; round < kRounds; ++round) {
      std::string wanted = fmt::format("watched {}", round);
      auto saved = bench.save(wanted);
      watched.push_back(measure(pollUntilAnswered(port, wanted), saved, wanted));
    }
    bench.qs({"watch", "fixture-app", "off"});
    for (int round = 0; round < kRounds; ++round) {
      std::string wanted = fmt::format("by hand {}", round);
      auto saved = bench.save(wanted);
      std::vector<Sample> samples;
      std::thread client([&] { samples = pollUntilAnswered(port, wanted); });
      QSProcessOptions inPackage;
      inPackage.workingDirectory = bench.app();
      runProcess({swift->string(), "build", "--product", "App"}, inPackage);
      bench.qs({"restart", "fixture-app", "--wait"});
      client.join();
      byHand.push_back(measure(samples, saved, wanted));
    }
    fmt::print("Swift: {}, {} rounds each, one-line change to the package's one-file module\n",
               runProcess({swift->string(), "--version"}).output.substr(0, 30), kRounds);
    report("watch mode", watched);
    report("swift build && restart", byHand);
    std::vector<double> w, h;
    for (const auto& r : watched) w.push_back(r.saveToAnswerMs);
    for (const auto& r : byHand) h.push_back(r.saveToAnswerMs);
    fmt::print("watch mode / by hand, save to answer: {:.2f}\n", median(w) / median(h));
    bench.qs({"stop", "fixture-app"});
  } catch (const std::exception& e) {
    fmt::print(stderr, "watch_mode_bench: {}\n", e.what());
    status = 1;
  }
  stopProcess(daemon);
  fs::remove_all(home);
  return status;
}
