#include "app/views/onboarding_window.h"

#include "app/shell/app_delegate.h"
#include "app/shell/daemon_controller.h"
#include "app/viewmodels/app_view_model.h"
#include "app/views/view_style.h"
#include "core/databases/engine_inventory.h"
#include "core/platform/settings.h"
#include "core/platform/file_status.h"
#include "core/protocol/daemon_command.h"
#include "core/runtime/toolchain_service.h"

#include <QDesktopServices>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace qs {
namespace {

constexpr const char* kCompletedKey = "qs.onboardingCompleted";
constexpr const char* kSwiftInstallGuide = "https://www.swift.org/install/linux/";

const QColor kReady(52, 168, 83), kMissing(234, 134, 0);

}  // namespace

bool QSOnboardingWindow::isDue(const QSSettings& settings) { return !settings.boolValue(kCompletedKey); }

QSOnboardingWindow::QSOnboardingWindow(QSAppDelegate& app, QWidget* parent)
    : QDialog(parent), app_(app), summary_(new QLabel(this)), message_(makeMessageLabel(this)),
      done_(new QPushButton("Get Started", this)) {
  setWindowTitle("Welcome to Quayside");
  setWindowIcon(appIcon());
  auto* heading = new QLabel("Welcome to Quayside", this);
  heading->setStyleSheet("font-size: 16pt; font-weight: 600;");
  auto* intro = new QLabel("Quayside runs your Vapor projects with their databases, at https://NAME.test addresses, "
                           "and catches the mail they send. Here is what this computer has, and what is still "
                           "missing:", this);
  intro->setWordWrap(true);
  summary_->setWordWrap(true);

  const char* titles[] = {"Swift toolchain", "Database engines", ".test names", "HTTPS certificates",
                          "Background services"};
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(12);
  grid->setVerticalSpacing(10);
  grid->setColumnStretch(2, 1);
  for (int r = 0; r < rowCount; ++r) {
    RowWidgets& w = rows_[r];
    w.dot = new QLabel(this);
    w.title = new QLabel(titles[r], this);
    w.title->setStyleSheet("font-weight: 600;");
    w.detail = new QLabel(this);
    w.detail->setWordWrap(true);
    w.detail->setMinimumWidth(360);
    w.action = new QPushButton(this);
    grid->addWidget(w.dot, r, 0, Qt::AlignTop);
    grid->addWidget(w.title, r, 1, Qt::AlignTop);
    grid->addWidget(w.detail, r, 2, Qt::AlignTop);
    grid->addWidget(w.action, r, 3, Qt::AlignTop);
    connect(w.action, &QPushButton::clicked, this, [this, r] { act(static_cast<Row>(r)); });
  }

  auto* checkAgain = new QPushButton("Check Again", this);
  auto* help = new QPushButton("Open Help", this);
  done_->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(checkAgain);
  buttons->addWidget(help);
  buttons->addStretch(1);
  buttons->addWidget(done_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(heading);
  layout->addWidget(intro);
  layout->addSpacing(6);
  layout->addLayout(grid);
  layout->addSpacing(6);
  layout->addWidget(summary_);
  layout->addWidget(message_);
  layout->addStretch(1);
  layout->addLayout(buttons);

  connect(checkAgain, &QPushButton::clicked, this, &QSOnboardingWindow::recheck);
  connect(help, &QPushButton::clicked, this, &QSOnboardingWindow::helpRequested);
  connect(done_, &QPushButton::clicked, this, &QDialog::accept);
  // Seen once is enough: the Help menu brings it back.
  connect(this, &QDialog::finished, this, [this] {
    try {
      app_.settings().set(kCompletedKey, true);
    } catch (const std::exception& e) {
      QSAppDelegate::log(QString("Quayside: couldn't save the setting: ") + e.what());
    }
  });
  connect(&app_.appViewModel(), &QSAppViewModel::networkChanged, this, &QSOnboardingWindow::recheck);
  connect(&app_.appViewModel(), &QSAppViewModel::startupCompleteChanged, this, &QSOnboardingWindow::recheck);
  connect(&app_, &QSAppDelegate::modeChanged, this, &QSOnboardingWindow::recheck);
  recheck();
  resize(760, sizeHint().height());
}

void QSOnboardingWindow::setRow(Row row, bool ready, const QString& detail, const QString& action) {
  ready_[row] = ready;
  RowWidgets& w = rows_[row];
  w.dot->setPixmap(dotIcon(ready ? kReady : kMissing).pixmap(12, 12));
  w.dot->setAccessibleName(ready ? "Ready" : "Missing");
  w.detail->setText(detail);
  w.action->setText(action);
  w.action->setVisible(!action.isEmpty());
}

void QSOnboardingWindow::recheck() {
  // A Swift toolchain: an installed one, or a swift the system provides.
  QSToolchainService toolchains;
  std::vector<QSToolchain> installed = toolchains.installedToolchains();
  if (!installed.empty()) {
    QStringList names;
    for (const QSToolchain& t : installed) names << QString::fromStdString(t.displayName());
    setRow(swift, true, "Found " + names.join(", ") + ".");
  } else if (isExecutableFile(QSToolchainService::defaultCompilerPath())) {
    setRow(swift, true,
           "Found " + QString::fromStdString(QSToolchainService::defaultCompilerPath().string()) + ".");
  } else {
    setRow(swift, false,
           "No Swift toolchain yet. Install one with swiftly (it goes into ~/.local/share/swiftly) or unpack it "
           "into /opt/swift, then check again.",
           "Get Swift…");
  }

  // Database engines: SQLite needs none; the others install from the Services page.
  QStringList engines;
  try {
    for (const QSEngineListing& l : QSEngineInventory::listings())
      if (l.status == QSServiceStatus::installed || l.status == QSServiceStatus::running)
        engines << QString::fromStdString(l.service.displayVersion());
  } catch (const std::exception&) {
    // An unreadable catalogue reads as nothing installed; the Services page says why.
  }
  engines.removeDuplicates();
  if (!engines.isEmpty())
    setRow(Row::engines, true, "Installed: " + engines.join(", ") + ". SQLite needs no engine.", "Manage…");
  else
    setRow(Row::engines, false,
           "None installed. SQLite works without one; PostgreSQL, MySQL and Redis install in a minute from the "
           "Services page.",
           "Install Engines…");

  const QSAppViewModel& model = app_.appViewModel();
  const QSNetworkStatus& n = model.network();
  bool connected = model.isStartupComplete();
  if (!connected)
    setRow(routing, false, "Waiting for the services to start…");
  else if (n.testRoutingEnabled)
    setRow(routing, true, "On: https://NAME.test reaches your projects in any browser.");
  else
    setRow(routing, false,
           "Off: projects answer on localhost ports only. Turning it on asks for your password once, to let "
           "Quayside answer for .test names and ports 80 and 443.",
           "Enable .test Routing…");

  if (!connected)
    setRow(trust, false, "Waiting for the services to start…");
  else if (n.caTrusted.value_or(false))
    setRow(trust, true, "The local certificate authority is trusted by this user's browsers and the system.");
  else
    setRow(trust, false,
           "Not trusted yet: browsers would warn about https://NAME.test. Trusting adds Quayside's own authority "
           "to the certificate databases.",
           "Trust…");

  QSDaemonController& daemon = app_.daemonController();
  switch (app_.mode()) {
    case QSAppDelegate::Mode::daemon:
      setRow(services, true, "The background daemon runs them (build " + daemon.connectedDaemonBuild() +
                                 "); they keep running when Quayside quits.");
      break;
    case QSAppDelegate::Mode::inProcess:
      setRow(services, true,
             "Quayside runs them itself; they stop when it quits. To keep them running, let the daemon run them "
             "(Settings, General).",
             "Settings…");
      break;
    default:
      setRow(services, false,
             daemon.lastError().isEmpty() ? QString("Starting…") : "Not connected — " + daemon.lastError());
  }

  int missing = 0;
  for (bool ready : ready_) missing += ready ? 0 : 1;
  summary_->setText(missing == 0 ? "Everything is in place. Add a project with Add Project… or make one with New "
                                   "Project…, then press Start."
                                 : QString("%1 of %2 still to set up. Quayside works without them, with less: the "
                                           "rows say what each one adds.")
                                       .arg(missing)
                                       .arg(static_cast<int>(rowCount)));
}

void QSOnboardingWindow::act(Row row) {
  QPointer<QSOnboardingWindow> self(this);
  auto report = [self](const QString& error) {
    if (!self) return;
    showMessage(self->message_, error, !error.isEmpty());
    self->recheck();
  };
  switch (row) {
    case swift:
      if (!QDesktopServices::openUrl(QUrl(kSwiftInstallGuide)))
        showMessage(message_, QString("Couldn't open a browser. The guide is at ") + kSwiftInstallGuide, true);
      break;
    case engines: emit settingsPageRequested("Services"); break;
    case routing:
      showMessage(message_, "Turning on .test routing…", false);
      app_.appViewModel().perform(cmd::EnableTestRouting{}, report);
      break;
    case trust:
      showMessage(message_, "Trusting the local certificate authority…", false);
      app_.appViewModel().perform(cmd::TrustCA{}, report);
      break;
    case services: emit settingsPageRequested("General"); break;
    case rowCount: break;
  }
}

void QSOnboardingWindow::changeEvent(QEvent* event) {
  // Back from a browser, a terminal or Settings: what was done there shows.
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) recheck();
  QDialog::changeEvent(event);
}

}  // namespace qs
