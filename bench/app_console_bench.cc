// Console flood into the Logs tab: a project server prints 50,000 lines a second for 10 seconds
// while the app owns the services and shows the Logs tab. Reports the lines that reached the
// model (every one must), the GUI thread's event latency (how late a 10 ms timer fires; p50 and
// p99), and the peak resident memory; beside the same timer's latency with nothing to do.
#include "bench_support.h"

#include "app/shell/app_delegate.h"
#include "app/viewmodels/app_view_model.h"
#include "app/viewmodels/server_view_model.h"
#include "app/views/main_window.h"
#include "app/views/project_sidebar.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTimer>

#include <cstring>

namespace {

using namespace qs;
using namespace qs::bench;
constexpr long kRate = 50'000;
constexpr long kLines = kRate * 10;

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

long peakResidentKB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("VmHWM:")) return std::atol(line.c_str() + 6);
  return 0;
}

// Runs the event loop for `seconds` or until `done`, recording how late a 10 ms timer fires.
std::vector<double> lateness(double seconds, const std::function<bool()>& done) {
  std::vector<double> late;
  QElapsedTimer clock;
  clock.start();
  qint64 last = clock.nsecsElapsed();
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    qint64 now = clock.nsecsElapsed();
    late.push_back(std::max(0.0, (now - last) / 1e6 - 10.0));
    last = now;
    if (done() || now / 1e9 > seconds) QCoreApplication::exit(0);
  });
  tick.start(10);
  QCoreApplication::exec();
  return late;
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  auto home = scratchFolder("qs-console-bench");
  useHome(home);
  ::setenv("QS_DAEMON_SOCKET", (home / "daemon.sock").c_str(), 1);
  ::setenv("QS_DAEMON_LOCK", (home / "owner.lock").c_str(), 1);
  ::setenv("QS_TOOLCHAIN_DIRS", QS_FAKE_TOOLCHAINS_DIR, 1);
  // Only the test toolchain's swift: a real one (/opt/swift) would wait on a package fetch.
  ::setenv("PATH", QS_FAKE_TOOLCHAINS_DIR "/swift-6.0.3/usr/bin:/usr/bin:/bin", 1);
  for (const char* port : {"QS_PROXY_PORT", "QS_PROXY_TLS_PORT", "QS_DNS_PORT"}) ::setenv(port, "0", 1);
  QApplication application(argc, argv);
  QSSettings settings = QSSettings::standard();
  settings.set("qs.mailEnabled", false);
  QSAppDelegate app(std::move(settings));
  QSMainWindow window(app);
  window.show();
  window.tabs()->setCurrentIndex(4);  // Logs
  app.startUp();
  std::vector<double> idle = lateness(2.0, [] { return false; });

  auto folder = home / "flood";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "Package.swift")
      << "// swift-tools-version:5.9\nimport PackageDescription\n\nlet package = Package(\n    name: \"flood\",\n"
         "    dependencies: [.package(url: \"https://github.com/vapor/vapor.git\", from: \"4.115.0\")],\n"
         "    targets: [.executableTarget(name: \"App\", dependencies: [.product(name: \"Vapor\", package: "
         "\"vapor\")])]\n)\n";
  std::ofstream(folder / ".env") << "PORT=18345\nFAKE_SWIFT_FLOOD=" << kLines << "\nFAKE_SWIFT_FLOOD_RATE=" << kRate
                                 << "\n";
  QSAppViewModel& model = app.appViewModel();
  model.addProject(QString::fromStdString(folder.string()), [&](const QString& error) {
    if (!error.isEmpty()) std::fprintf(stderr, "add failed: %s\n", qPrintable(error));
    model.startServer(model.projects().front().id, {});
  });
  QSServerViewModel* server = nullptr;
  auto flooded = [&] {
    if (!server && !model.projects().empty()) server = model.serverViewModel(model.projects().front().id);
    if (server && !window.sidebar()->selectedProject()) window.sidebar()->selectProject(server->projectID());
    return server && server->consoleLinesReceived() >= static_cast<std::uint64_t>(kLines);
  };
  auto start = Clock::now();
  std::vector<double> busy = lateness(60.0, flooded);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::uint64_t received = server ? server->consoleLinesReceived() : 0;
  fmt::print("console lines that reached the model: {} of {} printed ({:.0f} lines/s over {:.1f} s incl. build)\n",
             received, kLines, received / seconds, seconds);
  fmt::print("GUI event latency during the flood: p50 {:.1f} ms, p99 {:.1f} ms (target p99 < 50 ms)\n",
             percentile(busy, 0.5), percentile(busy, 0.99));
  fmt::print("GUI event latency idle:             p50 {:.1f} ms, p99 {:.1f} ms\n", percentile(idle, 0.5),
             percentile(idle, 0.99));
  fmt::print("peak resident memory: {:.1f} MB (target < 150 MB)\n", peakResidentKB() / 1024.0);
  bool done = false;
  app.shutdown([&] { done = true; });
  while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  std::filesystem::remove_all(home);
  return received >= static_cast<std::uint64_t>(kLines) ? 0 : 1;
}
