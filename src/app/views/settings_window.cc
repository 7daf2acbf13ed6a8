#include "app/views/settings_window.h"

#include "app/shell/app_delegate.h"
#include "app/shell/daemon_controller.h"
#include "app/viewmodels/app_view_model.h"
#include "app/views/applications_page.h"
#include "app/views/uninstall_sheet.h"
#include "app/views/view_style.h"
#include "core/databases/engine_inventory.h"
#include "core/models/settings_transfer.h"
#include "core/platform/files.h"
#include "core/protocol/daemon_command.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>

namespace qs {
namespace {

QString onOff(bool on) { return on ? "running" : "stopped"; }

QString listingState(const QSEngineListing& l) {
  switch (l.status) {
    case QSServiceStatus::running: return "Running";
    case QSServiceStatus::installed: return "Installed";
    default: break;
  }
  return l.packageCommand ? "Not installed (" + QString::fromStdString(*l.packageCommand) + ")" : "Not installed";
}

}  // namespace

QSSettingsWindow::QSSettingsWindow(QSAppDelegate& app, QWidget* parent)
    : QDialog(parent), app_(app), pages_(new QTabWidget(this)) {
  setWindowTitle("Quayside Settings");
  setWindowIcon(appIcon());
  pages_->addTab(makeGeneral(), "General");
  pages_->addTab(makeServices(), "Services");
  pages_->addTab(makeNetwork(), "Network");
  pages_->addTab(makeDaemon(), "Daemon");
  pages_->addTab(new QSApplicationsPage(app_.settings(), this), "Applications");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_);
  resize(720, 480);
  connect(pages_, &QTabWidget::currentChanged, this, [this](int index) {
    if (index == 1) reloadEngines();
  });
  connect(&app_.appViewModel(), &QSAppViewModel::networkChanged, this, &QSSettingsWindow::refreshNetwork);
  connect(&app_, &QSAppDelegate::modeChanged, this, &QSSettingsWindow::refreshDaemon);
  connect(&app_.daemonController(), &QSDaemonController::stateChanged, this, &QSSettingsWindow::refreshDaemon);
  refreshNetwork();
  refreshDaemon();
}

QString QSSettingsWindow::relaunchLine(qint64 pid, const QString& program) {
  return QString("while /bin/kill -0 %1 2>/dev/null; do sleep 0.1; done; sleep 0.4; \"%2\"").arg(pid).arg(program);
}

void QSSettingsWindow::store(const char* key, bool value) {
  try {
    app_.settings().set(key, value);
    showMessage(generalMessage_, "", false);
  } catch (const std::exception& e) {
    showMessage(generalMessage_, QString("Couldn't save the setting: ") + e.what(), true);
  }
}

QWidget* QSSettingsWindow::makeGeneral() {
  auto* page = new QWidget(this);
  QSSettings& settings = app_.settings();
  useDaemon_ = new QCheckBox("Run the services in the background daemon (quaysided)", page);
  useDaemon_->setChecked(settings.boolValue("qs.useDaemon"));
  auto* note = new QLabel("Takes effect after relaunch. With the daemon, servers and databases keep running when "
                          "Quayside quits.", page);
  note->setWordWrap(true);
  auto* relaunch = new QPushButton("Relaunch Quayside…", page);
  auto* databases = new QCheckBox("Start a project's databases with its server at login", page);
  databases->setChecked(settings.boolValue("qs.autoStartDatabases"));
  auto* servers = new QCheckBox("Start servers marked for auto-start when Quayside starts", page);
  servers->setChecked(settings.boolValue("qs.autoStartServers"));
  auto* mail = new QCheckBox("Catch mail sent to the local SMTP port", page);
  mail->setChecked(settings.boolValue("qs.mailEnabled"));
  mailPort_ = new QLineEdit(QString::fromStdString(settings.stringValue("qs.mailSMTPPort")), page);
  mailPort_->setValidator(new QIntValidator(1, 65535, mailPort_));
  mailPort_->setMaximumWidth(100);
  auto* exportButton = new QPushButton("Export…", page);
  auto* importButton = new QPushButton("Import…", page);
  auto* transfer = new QHBoxLayout;
  transfer->addWidget(exportButton);
  transfer->addWidget(importButton);
  transfer->addStretch(1);
  generalMessage_ = makeMessageLabel(page);

  auto* form = new QFormLayout(page);
  form->addRow("Services:", useDaemon_);
  form->addRow("", note);
  form->addRow("", relaunch);
  form->addRow("Auto-start:", databases);
  form->addRow("", servers);
  form->addRow("Mail:", mail);
  form->addRow("SMTP port:", mailPort_);
  form->addRow("Settings file:", transfer);
  form->addRow("", generalMessage_);
  auto* uninstall = new QPushButton("Uninstall Quayside…", page);
  form->addRow("Remove:", uninstall);
  connect(uninstall, &QPushButton::clicked, this, &QSSettingsWindow::openUninstall);

  connect(useDaemon_, &QCheckBox::toggled, this, [this](bool on) { store("qs.useDaemon", on); });
  connect(databases, &QCheckBox::toggled, this, [this](bool on) { store("qs.autoStartDatabases", on); });
  connect(servers, &QCheckBox::toggled, this, [this](bool on) { store("qs.autoStartServers", on); });
  connect(mail, &QCheckBox::toggled, this, [this](bool on) { store("qs.mailEnabled", on); });
  connect(mailPort_, &QLineEdit::editingFinished, this, [this] {
    try {
      app_.settings().set("qs.mailSMTPPort", mailPort_->text().toStdString());
      showMessage(generalMessage_, "The mail catcher uses the new port when its owner starts next.", false);
    } catch (const std::exception& e) {
      showMessage(generalMessage_, QString("Couldn't save the setting: ") + e.what(), true);
    }
  });
  connect(relaunch, &QPushButton::clicked, this, &QSSettingsWindow::relaunchRequested);
  connect(exportButton, &QPushButton::clicked, this, [this] {
    QString suggested = QDir::home().filePath(QString::fromUtf8(QSSettingsIO::suggestedFileName.data(),
                                                                QSSettingsIO::suggestedFileName.size()));
    QString file = QFileDialog::getSaveFileName(this, "Export Settings", suggested, "Settings (*.json)");
    if (!file.isEmpty()) exportTo(file);
  });
  connect(importButton, &QPushButton::clicked, this, [this] {
    QString file = QFileDialog::getOpenFileName(this, "Import Settings", QDir::homePath(), "Settings (*.json)");
    if (!file.isEmpty()) importFrom(file);
  });
  return page;
}

void QSSettingsWindow::openUninstall() {
  auto* sheet = new QSUninstallSheet(app_, std::nullopt, this);
  sheet->setAttribute(Qt::WA_DeleteOnClose);
  connect(sheet, &QSUninstallSheet::quitRequested, this, &QSSettingsWindow::quitRequested);
  sheet->open();
}

void QSSettingsWindow::exportTo(const QString& file) {
  try {
    std::string data = QSSettingsIO(app_.settings()).exportData();
    writeFileAtomically(file.toStdString(), data, 0644);
    showMessage(generalMessage_, QString::fromUtf8(QSSettingsIO::exportedText.data(), QSSettingsIO::exportedText.size()),
                false);
  } catch (const std::exception& e) {
    showMessage(generalMessage_, QString("Couldn't export the settings: ") + e.what(), true);
  }
}

void QSSettingsWindow::importFrom(const QString& file) {
  QString outcome;
  bool failed = false;
  try {
    std::string data = readFilePrefix(file.toStdString(), QSSettingsIO::maxFileSize + 1);
    int count = QSSettingsIO(app_.settings()).importData(data);
    outcome = QString::fromStdString(QSSettingsIO::importedText(count));
  } catch (const QSSettingsIOError& e) {
    outcome = QString::fromUtf8(e.what());
    failed = true;
  } catch (const std::exception& e) {
    outcome = QString("Couldn't import the settings: ") + e.what();
    failed = true;
  }
  if (!failed) {
    // The page shows the values just imported.
    int current = pages_->currentIndex();
    QWidget* old = pages_->widget(0);
    pages_->removeTab(0);
    pages_->insertTab(0, makeGeneral(), "General");
    pages_->setCurrentIndex(current);
    old->deleteLater();
  }
  showMessage(generalMessage_, outcome, failed);
}

QWidget* QSSettingsWindow::makeServices() {
  auto* page = new QWidget(this);
  engines_ = new QTableWidget(0, 4, page);
  engines_->setHorizontalHeaderLabels({"ID", "Engine", "Source", "Status"});
  engines_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  engines_->horizontalHeader()->setStretchLastSection(true);
  engines_->verticalHeader()->hide();
  engines_->setSelectionBehavior(QAbstractItemView::SelectRows);
  engines_->setSelectionMode(QAbstractItemView::SingleSelection);
  engines_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  progress_ = new QProgressBar(page);
  progress_->setRange(0, 100);
  progress_->hide();
  install_ = new QPushButton("Install", page);
  uninstall_ = new QPushButton("Uninstall", page);
  servicesMessage_ = makeMessageLabel(page);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(install_);
  buttons->addWidget(uninstall_);
  buttons->addWidget(progress_, 1);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(engines_, 1);
  layout->addLayout(buttons);
  layout->addWidget(servicesMessage_);
  connect(install_, &QPushButton::clicked, this, &QSSettingsWindow::installSelected);
  connect(uninstall_, &QPushButton::clicked, this, &QSSettingsWindow::uninstallSelected);
  return page;
}

void QSSettingsWindow::reloadEngines() {
  std::vector<QSEngineListing> all;
  try {
    all = QSEngineInventory::listings();
  } catch (const std::exception& e) {
    showMessage(servicesMessage_, QString("Couldn't read the engine catalogue: ") + e.what(), true);
  }
  engines_->setRowCount(0);
  for (const auto& l : all) {
    int row = engines_->rowCount();
    engines_->insertRow(row);
    bool system = l.service.archiveFormat == QSArchiveFormat::system;
    QString source = system ? "system packages" : "download, " + QString::fromStdString(l.service.formattedSize());
    engines_->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(l.service.id)));
    engines_->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(l.service.displayVersion())));
    engines_->setItem(row, 2, new QTableWidgetItem(source));
    engines_->setItem(row, 3, new QTableWidgetItem(listingState(l)));
  }
}

void QSSettingsWindow::installSelected() {
  int row = engines_->currentRow();
  if (row < 0) return showMessage(servicesMessage_, "Select the engine to install first.", true);
  std::string id = engines_->item(row, 0)->text().toStdString();
  install_->setEnabled(false);
  progress_->setValue(0);
  progress_->show();
  QPointer<QSSettingsWindow> self(this);
  // Downloads and builds take minutes: a thread of their own, progress and outcome queued back.
  QThread* worker = QThread::create([self, id] {
    QString failure;
    try {
      QSEngineInventory::install(id, [self](double fraction) {
        QMetaObject::invokeMethod(self.data(), [self, fraction] {
          if (self) self->progress_->setValue(static_cast<int>(fraction * 100));
        }, Qt::QueuedConnection);
      });
    } catch (const std::exception& e) {
      failure = e.what();
    }
    QMetaObject::invokeMethod(self.data(), [self, failure, id] {
      if (!self) return;
      self->install_->setEnabled(true);
      self->progress_->hide();
      showMessage(self->servicesMessage_, failure.isEmpty() ? "Installed " + QString::fromStdString(id) + "." : failure,
                  !failure.isEmpty());
      self->reloadEngines();
    }, Qt::QueuedConnection);
  });
  connect(worker, &QThread::finished, worker, &QObject::deleteLater);
  worker->start();
}

void QSSettingsWindow::uninstallSelected() {
  int row = engines_->currentRow();
  if (row < 0) return showMessage(servicesMessage_, "Select the engine to uninstall first.", true);
  std::string id = engines_->item(row, 0)->text().toStdString();
  try {
    QSEngineInventory::uninstall(id);
    showMessage(servicesMessage_, "Uninstalled " + QString::fromStdString(id) + "; its databases are kept.", false);
  } catch (const std::exception& e) {
    showMessage(servicesMessage_, e.what(), true);
  }
  reloadEngines();
}

QWidget* QSSettingsWindow::makeNetwork() {
  auto* page = new QWidget(this);
  network_ = new QLabel(page);
  network_->setWordWrap(true);
  network_->setTextFormat(Qt::RichText);
  routing_ = new QPushButton(page);
  trust_ = new QPushButton("Trust the Local Certificate Authority…", page);
  networkMessage_ = makeMessageLabel(page);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(routing_);
  buttons->addWidget(trust_);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(network_);
  layout->addLayout(buttons);
  layout->addWidget(networkMessage_);
  layout->addStretch(1);
  QPointer<QSSettingsWindow> self(this);
  auto report = [self](const QString& error) {
    if (self) showMessage(self->networkMessage_, error.isEmpty() ? "Done." : error, !error.isEmpty());
  };
  connect(routing_, &QPushButton::clicked, this, [this, report] {
    QSAppViewModel& m = app_.appViewModel();
    if (m.network().testRoutingEnabled)
      m.perform(cmd::DisableTestRouting{}, report);
    else
      m.perform(cmd::EnableTestRouting{}, report);
  });
  connect(trust_, &QPushButton::clicked, this, [this, report] { app_.appViewModel().perform(cmd::TrustCA{}, report); });
  return page;
}

void QSSettingsWindow::refreshNetwork() {
  const QSNetworkStatus& n = app_.appViewModel().network();
  // A port is named only while something listens on it.
  QString http = n.proxyRunning ? QString("HTTP on port %1").arg(n.proxyPort.value_or(7080)) : QString("HTTP stopped");
  QString https =
      n.proxyTLSRunning ? QString("HTTPS on port %1").arg(n.proxyTLSPort.value_or(7443)) : QString("HTTPS stopped");
  QString text = QString("<p><b>DNS server:</b> %1<br><b>Proxy:</b> %2 (%3, %4)<br>"
                         "<b>.test routing:</b> %5%6<br><b>Certificate authority:</b> %7</p>")
                     .arg(n.dnsRunning ? QString("running on port %1").arg(n.dnsPort) : QString("stopped"))
                     .arg(onOff(n.proxyRunning || n.proxyTLSRunning), http, https)
                     .arg(n.testRoutingEnabled ? "on" : "off")
                     .arg(n.testRoutingResolver ? " (resolver: " + QString::fromStdString(*n.testRoutingResolver) + ")"
                                                : QString())
                     .arg(n.caTrusted.value_or(false) ? "trusted by this user's browsers and the system"
                                                      : "not trusted yet");
  network_->setText(text);
  routing_->setText(n.testRoutingEnabled ? "Disable .test Routing" : "Enable .test Routing…");
}

QWidget* QSSettingsWindow::makeDaemon() {
  auto* page = new QWidget(this);
  daemon_ = new QLabel(page);
  daemon_->setWordWrap(true);
  daemon_->setTextFormat(Qt::RichText);
  daemon_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  restartDaemon_ = new QPushButton("Restart Daemon", page);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(daemon_);
  layout->addWidget(restartDaemon_, 0, Qt::AlignLeft);
  layout->addStretch(1);
  connect(restartDaemon_, &QPushButton::clicked, &app_, &QSAppDelegate::restartDaemon);
  return page;
}

void QSSettingsWindow::refreshDaemon() {
  QSDaemonController& d = app_.daemonController();
  QString text;
  switch (app_.mode()) {
    case QSAppDelegate::Mode::daemon:
      text = "<p>Connected to the background daemon (build " + d.connectedDaemonBuild().toHtmlEscaped() + ").</p>";
      break;
    case QSAppDelegate::Mode::inProcess:
      text = "<p>Quayside runs the services itself; they stop when it quits. <code>qs</code> commands reach "
             "them through the same socket.</p>";
      break;
    default:
      text = "<p>Not connected — " +
             (d.lastError().isEmpty() ? QString("waiting for the services.") : d.lastError().toHtmlEscaped()) + "</p>";
  }
  if (app_.mode() != QSAppDelegate::Mode::daemon && !d.lastError().isEmpty() && !text.contains(d.lastError()))
    text += "<p>Not connected — " + d.lastError().toHtmlEscaped() + "</p>";
  bool outdated = app_.mode() == QSAppDelegate::Mode::daemon && d.showsOutdatedNotice();
  if (outdated)
    text += "<p><b>The background daemon is running an older build.</b> Restart it to use the current version — this "
            "briefly restarts running servers.</p>";
  daemon_->setText(text);
  restartDaemon_->setVisible(outdated);
}

}  // namespace qs
