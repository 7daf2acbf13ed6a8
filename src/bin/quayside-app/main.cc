// quayside-app: the desktop app. Finds or becomes the owner of the services, shows the main
// window and the tray icon, and winds the services down in order when it quits.
//
//   quayside-app                       the app
//   quayside-app FILE…                 opens site documents (.brp) as new projects and folders as
//                                      projects; a running app is handed the files instead
//   quayside-app --screenshots DIR     writes a PNG of every screen into DIR, then quits
#include "app/shell/app_delegate.h"
#include "app/shell/instance_channel.h"
#include "app/views/main_window.h"
#include "app/views/onboarding_window.h"
#include "app/views/screenshot_tour.h"
#include "app/views/settings_window.h"
#include "app/views/tray_icon.h"
#include "app/views/view_style.h"
#include "app/shell/service_loop.h"
#include "core/daemon/desktop_entry.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPointer>
#include <QProcess>
#include <QTabWidget>

#include <asio/signal_set.hpp>

#include <csignal>
#include <memory>

namespace {

using namespace qs;

// The menu entry follows the program that last ran (a build folder, an installed copy).
void installDesktopEntry() {
  std::filesystem::path self = QCoreApplication::applicationFilePath().toStdString();
  if (QSDesktopEntry::isInstalledFor(self)) return;
  try {
    QSDesktopEntry::install(self);
  } catch (const std::exception& e) {
    QSAppDelegate::log(QString("Quayside: couldn't install the desktop entry: ") + e.what());
  }
}

}  // namespace

int main(int argc, char** argv) {
  // A client that goes away mid-write must not end the app that serves the socket.
  std::signal(SIGPIPE, SIG_IGN);
  QApplication application(argc, argv);
  QApplication::setApplicationName("Quayside");
  QApplication::setApplicationVersion(QS_VERSION);
  QApplication::setDesktopFileName("app.brindle.Quayside");
  QApplication::setWindowIcon(appIcon());
  QApplication::setQuitOnLastWindowClosed(false);

  QCommandLineParser options;
  options.setApplicationDescription("Quayside: Vapor projects with their databases, .test domains and mail.");
  options.addHelpOption();
  options.addVersionOption();
  options.addOption({"screenshots", "Write a PNG of every screen into <folder>, then quit.", "folder"});
  options.addPositionalArgument("files", "Site documents (.brp) to import as new projects, and project folders to "
                                         "add or show.", "[FILE…]");
  options.process(application);
  const QStringList files = options.positionalArguments();

  // One app per user: a second launch hands its files to the first and ends.
  QSInstanceChannel channel;
  if (!options.isSet("screenshots") && !channel.becomePrimary()) {
    if (QSInstanceChannel::handOff(files)) return 0;
    QSAppDelegate::log("Quayside: " + channel.error() + " It didn't answer, so this one starts on its own.");
  }

  installDesktopEntry();
  QSAppDelegate app(QSSettings::standard());
  QSMainWindow window(app);
  std::unique_ptr<QSTrayIcon> tray;
  if (QSTrayIcon::isAvailable()) {
    tray = std::make_unique<QSTrayIcon>(app);
    tray->show();
    window.setKeepsRunningInTray(true);
  }

  bool quitting = false;
  auto quit = [&app, &quitting] {
    if (quitting) return;
    quitting = true;
    // exit(), not quit(): quit() first asks every window to close, and the main window turns
    // a close into a Quit request (or hides to the tray), which cancels the quit.
    app.shutdown([] { QCoreApplication::exit(0); });
  };
  QObject::connect(&window, &QSMainWindow::quitRequested, &application, quit);
  QPointer<QSSettingsWindow> settings;
  auto showSettings = [&](const QString& page) {
    if (!settings) {
      settings = new QSSettingsWindow(app, &window);
      settings->setAttribute(Qt::WA_DeleteOnClose);
      QObject::connect(settings, &QSSettingsWindow::relaunchRequested, &window, [&] {
        QString line = QSSettingsWindow::relaunchLine(QCoreApplication::applicationPid(),
                                                      QCoreApplication::applicationFilePath());
        QProcess::startDetached("/bin/sh", {"-c", line});
        quit();
      });
      QObject::connect(settings, &QSSettingsWindow::quitRequested, &window, quit);
    }
    for (int i = 0; i < settings->pages()->count(); ++i)
      if (settings->pages()->tabText(i) == page) settings->pages()->setCurrentIndex(i);
    settings->show();
    settings->raise();
  };
  QObject::connect(&window, &QSMainWindow::settingsRequested, &window, [showSettings] { showSettings({}); });
  QObject::connect(&window, &QSMainWindow::settingsPageRequested, &window, showSettings);
  if (tray) {
    QObject::connect(tray.get(), &QSTrayIcon::quitRequested, &application, quit);
    QObject::connect(tray.get(), &QSTrayIcon::mailRequested, &window, &QSMainWindow::showMailBox);
    QObject::connect(tray.get(), &QSTrayIcon::showWindowRequested, &window, [&window] {
      window.show();
      window.raise();
      window.activateWindow();
    });
  }

  // SIGTERM and SIGINT (a logout, Ctrl-C in a terminal) quit as the Quit item does.
  auto stopSignals = std::make_shared<asio::signal_set>(app.loop().executor(), SIGTERM, SIGINT);
  stopSignals->async_wait([&application, quit](const asio::error_code& error, int) {
    if (!error) QMetaObject::invokeMethod(&application, quit, Qt::QueuedConnection);
  });

  std::unique_ptr<QSScreenshotTour> tour;
  if (options.isSet("screenshots")) {
    tour = std::make_unique<QSScreenshotTour>(app, window, options.value("screenshots"));
    QObject::connect(tour.get(), &QSScreenshotTour::finished, &application, [quit](bool ok) {
      if (!ok) QSAppDelegate::log("Quayside: some screenshots couldn't be written");
      quit();
    });
  }
  QObject::connect(&channel, &QSInstanceChannel::filesReceived, &window, [&window](const QStringList& paths) {
    window.show();
    window.raise();
    window.activateWindow();
    if (!paths.isEmpty()) window.openFiles(paths);
  });
  app.startUp();
  window.show();
  if (!files.isEmpty()) window.openFiles(files);
  if (!tour && QSOnboardingWindow::isDue(app.settings())) window.showOnboarding();
  if (tour) tour->start();
  int status = application.exec();
  app.loop().runAndWait([&stopSignals] { stopSignals.reset(); });
  return status;
}
