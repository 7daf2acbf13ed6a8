// Desktop app launch: from starting the program to a painted main window listing 100 projects,
// against a running quaysided, beside a bare Qt window that paints a 100-row list (what any Qt
// Widgets program pays) measured the same way in the same run. Median of 7 launches each.
#include "bench_support.h"

#include "app/shell/app_delegate.h"
#include "app/viewmodels/app_view_model.h"
#include "app/views/main_window.h"
#include "app/views/project_sidebar.h"
#include "core/platform/process_runner.h"
#include "core/platform/unix_socket.h"

#include <QApplication>
#include <QListWidget>

#include <cstdio>

namespace {

using namespace qs;
using namespace qs::bench;
constexpr int kProjects = 100;
constexpr int kLaunches = 7;

// Ends the process the moment `widget` has painted while `ready()` holds.
class PaintWatch : public QObject {
public:
  PaintWatch(std::function<bool()> ready) : ready_(std::move(ready)) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && ready_()) {
      std::fputs("painted\n", stdout);
      std::fflush(stdout);
      std::_Exit(0);
    }
    return false;
  }

private:
  std::function<bool()> ready_;
};

int launchApp(int argc, char** argv) {
  QApplication application(argc, argv);
  QSAppDelegate app(QSSettings::standard());
  QSMainWindow window(app);
  PaintWatch watch([&] { return window.sidebar()->list()->count() == kProjects; });
  window.sidebar()->list()->viewport()->installEventFilter(&watch);
  app.startUp();
  window.show();
  return application.exec();
}

int launchBare(int argc, char** argv) {
  QApplication application(argc, argv);
  QListWidget list;
  for (int i = 0; i < kProjects; ++i) list.addItem(QString("project %1\nhttp://localhost:%2").arg(i).arg(8000 + i));
  PaintWatch watch([] { return true; });
  list.viewport()->installEventFilter(&watch);
  list.show();
  return application.exec();
}

// Milliseconds from spawning this program in `mode` to its "painted" line.
double launchOnce(const std::filesystem::path& home, const char* mode) {
  auto self = std::filesystem::read_symlink("/proc/self/exe");
  auto environment = homeEnvironment(home);
  environment["QT_QPA_PLATFORM"] = "offscreen";
  environment["QS_DAEMON_SOCKET"] = (home / "daemon.sock").string();
  environment["QS_DAEMON_LOCK"] = (home / "owner.lock").string();
  auto start = Clock::now();
  auto result = runProcess({self.string(), mode}, {.workingDirectory = home, .environment = environment});
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (result.output != "painted\n") throw std::runtime_error("launch failed: " + result.output + result.errorOutput);
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--app") return launchApp(argc, argv);
  if (argc > 1 && std::string(argv[1]) == "--bare") return launchBare(argc, argv);
  auto home = scratchFolder("qs-launch-bench");
  useHome(home);
  ::setenv("QS_DAEMON_SOCKET", (home / "daemon.sock").c_str(), 1);
  ::setenv("QS_DAEMON_LOCK", (home / "owner.lock").c_str(), 1);
  for (const char* port : {"QS_PROXY_PORT", "QS_PROXY_TLS_PORT", "QS_DNS_PORT"}) ::setenv(port, "0", 1);
  auto daemon = startDaemon(home);
  while (!isListenedOn(home / "daemon.sock")) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  auto qs = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "qs";
  for (int i = 0; i < kProjects; ++i) {
    auto folder = home / fmt::format("project-{}", i);
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "Package.swift")
        << "// swift-tools-version:5.9\nimport PackageDescription\n\nlet package = Package(\n    name: \"p" << i
        << "\",\n    dependencies: [.package(url: \"https://github.com/vapor/vapor.git\", from: \"4.115.0\")],\n"
           "    targets: [.executableTarget(name: \"App\", dependencies: [.product(name: \"Vapor\", package: "
           "\"vapor\")])]\n)\n";
    auto added = runProcess({qs.string(), "add", folder.string()});
    if (!added.succeeded()) throw std::runtime_error("qs add failed: " + added.output + added.errorOutput);
  }
  std::vector<double> app, bare;
  for (int i = 0; i < kLaunches; ++i) {
    app.push_back(launchOnce(home, "--app"));
    bare.push_back(launchOnce(home, "--bare"));
  }
  double a = median(app), b = median(bare);
  fmt::print("launch to a painted window, {} projects, against a running daemon: {:.0f} ms (target < 400 ms)\n",
             kProjects, a);
  fmt::print("bare Qt window painting a {}-row list:                          {:.0f} ms\n", kProjects, b);
  fmt::print("ratio: {:.2f}x the bare window\n", a / b);
  stopProcess(daemon);
  std::filesystem::remove_all(home);
  return a < 400 ? 0 : 1;
}
