#include "app/views/uninstall_sheet.h"

#include "app/shell/app_delegate.h"
#include "app/shell/daemon_controller.h"
#include "app/shell/gui_thread.h"
#include "app/shell/service_loop.h"
#include "app/views/view_style.h"
#include "core/daemon/daemon_launcher.h"
#include "core/daemon/daemon_paths.h"
#include "core/platform/system_error.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>

#include <asio/co_spawn.hpp>

#include <chrono>

namespace qs {
namespace {

namespace fs = std::filesystem;

// As long as qs uninstall gives the daemon to stop its servers and engines.
constexpr std::chrono::seconds kDaemonStopWait{60};

QLabel* wrapped(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  return label;
}

asio::awaitable<QSDaemonLauncher::ShutdownOutcome> stopDaemon(QSDaemonLauncher launcher) {
  co_return co_await launcher.shutDown(kDaemonStopWait);
}

}  // namespace

QSUninstallSheet::QSUninstallSheet(QSAppDelegate& app, std::optional<QSUninstaller::Places> places, QWidget* parent)
    : QDialog(parent),
      app_(app),
      places_(places ? std::move(*places)
                     : QSUninstaller::Places::forThisUser(std::make_shared<QSSystemPrivilegedRunner>(false))),
      routing_(new QCheckBox("Disable .test routing (DNS resolver + firewall redirect)", this)),
      certificate_(new QCheckBox("Remove the local HTTPS certificate", this)),
      cli_(new QCheckBox("Remove CLI tools and the login item", this)),
      data_(new QCheckBox("Delete all local data", this)),
      status_(new QLabel(this)),
      progress_(new QProgressBar(this)),
      results_(new QListWidget(this)),
      lastStep_(new QLabel(this)),
      showInFiles_(new QPushButton("Show in Files", this)),
      feedback_(new QLabel(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Cancel, this)),
      quit_(new QPushButton("Quit Quayside", this)) {
  setWindowTitle("Uninstall Quayside");
  setWindowModality(Qt::WindowModal);
  auto* title = new QLabel("<b>Uninstall Quayside</b>", this);
  QFont big = title->font();
  big.setPointSizeF(big.pointSizeF() * 1.3);
  title->setFont(big);
  auto* explanation = wrapped(
      "Choose what to remove. The Quayside app itself isn\u2019t deleted here \u2014 you\u2019ll drag it to the Trash "
      "at the end.",
      this);
  auto* dataNote = wrapped("Every PostgreSQL, MySQL, Redis and SQLite database, downloaded engine binaries, and logs. "
                           "This cannot be undone.",
                           this);
  dataNote->setContentsMargins(24, 0, 0, 0);
  dataNote->setStyleSheet("color: palette(placeholder-text);");
  auto* untouched = wrapped("Your project folders and their .env files are never touched.", this);
  for (QCheckBox* box : {routing_, certificate_, cli_}) box->setChecked(true);
  data_->setChecked(false);  // the one that cannot be undone is asked for, never assumed
  status_->setWordWrap(true);
  status_->hide();
  progress_->setRange(0, 0);
  progress_->hide();
  results_->setSelectionMode(QAbstractItemView::NoSelection);
  results_->setWordWrap(true);
  // As tall as its few lines, so that the closing lines sit right below them.
  results_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
  results_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
  results_->hide();
  lastStep_->setWordWrap(true);
  lastStep_->setTextFormat(Qt::RichText);
  lastStep_->hide();
  showInFiles_->hide();
  feedback_->setWordWrap(true);
  feedback_->setText("Thanks for trying Quayside. If something got in your way, we\u2019d like to hear about it.");
  feedback_->hide();
  uninstall_ = buttons_->addButton("Uninstall", QDialogButtonBox::DestructiveRole);
  buttons_->addButton(quit_, QDialogButtonBox::AcceptRole);
  quit_->hide();

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title);
  layout->addWidget(explanation);
  layout->addSpacing(6);
  layout->addWidget(routing_);
  layout->addWidget(certificate_);
  layout->addWidget(cli_);
  layout->addWidget(data_);
  layout->addWidget(dataNote);
  layout->addSpacing(6);
  layout->addWidget(untouched);
  layout->addWidget(status_);
  layout->addWidget(progress_);
  layout->addWidget(results_);
  layout->addWidget(lastStep_);
  layout->addWidget(showInFiles_, 0, Qt::AlignLeft);
  layout->addWidget(feedback_);
  layout->addStretch(1);
  layout->addWidget(buttons_);
  setMinimumWidth(560);

  auto refreshButton = [this] {
    QSUninstaller::Options chosen = options();
    uninstall_->setEnabled(!started_ && chosen != QSUninstaller::Options{});
  };
  for (QCheckBox* box : {routing_, certificate_, cli_, data_}) connect(box, &QCheckBox::toggled, this, refreshButton);
  connect(uninstall_, &QPushButton::clicked, this, &QSUninstallSheet::uninstall);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QSUninstallSheet::reject);
  connect(quit_, &QPushButton::clicked, this, [this] {
    QDialog::accept();
    emit quitRequested();
  });
  connect(showInFiles_, &QPushButton::clicked, this, [] {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QCoreApplication::applicationDirPath()));
  });
  refreshButton();
}

QSUninstaller::Options QSUninstallSheet::options() const {
  return {.disableRouting = routing_->isChecked(), .removeCertificate = certificate_->isChecked(),
          .removeCLI = cli_->isChecked(), .deleteData = data_->isChecked()};
}

void QSUninstallSheet::reject() {
  if (started_ && !finished_) return;  // the steps run to their end
  QDialog::reject();
  if (finished_) emit quitRequested();
}

void QSUninstallSheet::uninstall() {
  if (started_) return;
  running_ = options();
  if (running_ == QSUninstaller::Options{}) return;
  started_ = true;
  for (QCheckBox* box : {routing_, certificate_, cli_, data_}) box->setEnabled(false);
  uninstall_->setEnabled(false);
  buttons_->button(QDialogButtonBox::Cancel)->setEnabled(false);
  status_->setText("Removing Quayside\u2026");
  status_->show();
  progress_->show();
  results_->show();
  QPointer<QSUninstallSheet> self(this);
  // The app lets go of the services first: in-process they stop here (servers, databases,
  // network services); a daemon is left to be shut down next, with no takeover by the app.
  app_.shutdown([self] {
    if (self) self->servicesStopped();
  });
}

void QSUninstallSheet::servicesStopped() {
  // Asked whatever the app's mode was: a daemon may serve the socket that the app never reached
  // (it was still starting, or waiting for the owner lock). With nobody there it is a no-op.
  fs::path executable =
      QSDaemonController::locateBundledExecutable("quaysided", "QS_DAEMON_EXECUTABLE").value_or("quaysided");
  QSDaemonLauncher launcher(executable, QSDaemonPaths::socketPath(), QSDaemonPaths::lockPath());
  QPointer<QSUninstallSheet> self(this);
  QSServiceLoop& loop = app_.loop();
  loop.post([self, launcher, &loop] {
    asio::co_spawn(loop.executor(), stopDaemon(launcher),
                   [self](std::exception_ptr error, QSDaemonLauncher::ShutdownOutcome outcome) {
                     std::string failure = describeError(error);
                     backOnGui(self, [outcome, failure](QSUninstallSheet& sheet) {
                       std::string pid = outcome.holderPid ? " (pid " + std::to_string(*outcome.holderPid) + ")" : "";
                       QSUninstaller::StepResult result{stopDaemonStep, failure.empty() && outcome.stopped, {}};
                       if (!failure.empty())
                         result.detail = failure;
                       else if (!outcome.stopped && outcome.asked)
                         result.detail = "The daemon was asked to stop but still runs" + pid + ".";
                       else if (!outcome.stopped)
                         result.detail = "A process" + pid +
                                         " holds the daemon's owner lock but doesn't answer on its socket; stop it "
                                         "and uninstall again.";
                       if (outcome.asked || !result.succeeded) sheet.addResult(result);
                       sheet.runSteps();
                     });
                   });
  });
}

void QSUninstallSheet::runSteps() {
  QPointer<QSUninstallSheet> self(this);
  QSUninstaller::Options options = running_;
  QSUninstaller::Places places = places_;
  // The steps run tools and may wait for the administrator password: a thread of their own,
  // each result queued back as it comes.
  QThread* worker = QThread::create([self, options, places] {
    QSUninstaller(places).run(options, [self](const QSUninstaller::StepResult& result) {
      backOnGui(self, [result](QSUninstallSheet& sheet) { sheet.addResult(result); });
    });
    backOnGui(self, [](QSUninstallSheet& sheet) { sheet.finish(); });
  });
  connect(worker, &QThread::finished, worker, &QObject::deleteLater);
  worker->start();
}

void QSUninstallSheet::addResult(const QSUninstaller::StepResult& result) {
  allSucceeded_ = allSucceeded_ && result.succeeded;
  QString text = (result.succeeded ? "\u2713 " : "\u2717 ") + QString::fromStdString(result.step);
  if (result.detail) text += "\n" + QString::fromStdString(*result.detail);
  auto* item = new QListWidgetItem(text, results_);
  item->setForeground(result.succeeded ? QColor("#1e7b34") : QColor("#c0392b"));
  item->setData(Qt::UserRole, result.succeeded);
}

void QSUninstallSheet::finish() {
  finished_ = true;
  progress_->hide();
  status_->setText(allSucceeded_ ? "Quayside is removed; your project folders are as they were."
                                 : "Some steps failed (see below). What is already gone is skipped when you run "
                                   "Uninstall again, or qs uninstall.");
  QString folder = QCoreApplication::applicationDirPath().toHtmlEscaped();
  lastStep_->setText("Last step: drag <b>Quayside</b> from " + folder + " to the Trash.");
  lastStep_->show();
  showInFiles_->show();
  feedback_->show();
  uninstall_->hide();
  buttons_->button(QDialogButtonBox::Cancel)->hide();
  quit_->show();
  quit_->setDefault(true);
}

}  // namespace qs
