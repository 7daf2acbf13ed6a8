// The desktop app and its main window, as the window tests drive them: the app owns the services
// itself, or adopts a quaysided of the build that serves the test's HOME.
#pragma once

#include "app/shell/app_delegate.h"
#include "app/viewmodels/app_view_model.h"
#include "app/views/main_window.h"
#include "app/views/project_sidebar.h"
#include "support/child_programs.h"

#include <QTest>

#include <csignal>
#include <memory>

namespace qs::testing {

struct AppWindow {
  AppTestHome home;
  std::shared_ptr<QSChildProcess> daemon;
  std::unique_ptr<QSAppDelegate> app;
  std::unique_ptr<QSMainWindow> window;

  ~AppWindow() {
    window.reset();
    app.reset();
    if (daemon) {
      daemon->signal(SIGTERM);
      exitOf(*daemon);
    }
  }

  // quaysided, for the app to adopt; whether it serves the socket.
  bool startDaemon() {
    daemon = spawnProgram(home, "quaysided");
    return socketServed(home);
  }
  // The app and its shown window, adopting the daemon when one was started, else running the services.
  bool start(int limitMs = kLong) {
    app = std::make_unique<QSAppDelegate>(QSSettings::standard(), QSOwnershipTimings{.lockWait = std::chrono::milliseconds(0)});
    app->startUp();
    window = std::make_unique<QSMainWindow>(*app);
    window->show();
    auto mode = daemon ? QSAppDelegate::Mode::daemon : QSAppDelegate::Mode::inProcess;
    return QTest::qWaitFor([&] { return app->mode() == mode; }, limitMs);
  }
  // Adds the Vapor package `name` (a .env with a free port) through the window; whether it was selected.
  bool addProject(const std::string& name) {
    std::filesystem::path folder = home.vaporProject(name, "PORT=" + std::to_string(freeTestPort(PortBand::engine)) + "\n");
    window->addProjectFolder(qstr(folder));
    return QTest::qWaitFor([&] { return window->sidebar()->selectedProject().has_value(); }, kLong);
  }
  QSAppViewModel& model() { return app->appViewModel(); }
  const QSProject* selected() {
    auto id = window->sidebar()->selectedProject();
    return id ? model().project(*id) : nullptr;
  }
};

}  // namespace qs::testing
