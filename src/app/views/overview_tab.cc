#include "app/views/overview_tab.h"

#include "app/viewmodels/app_view_model.h"
#include "app/viewmodels/package_updater.h"
#include "app/viewmodels/server_view_model.h"
#include "app/views/view_style.h"
#include "core/models/toolchain.h"
#include "core/protocol/daemon_command.h"
#include "core/platform/file_status.h"
#include "core/runtime/toolchain_service.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace qs {

QSOverviewTab::QSOverviewTab(QSAppViewModel& model, QWidget* parent)
    : QSProjectTab(model, parent),
      title_(new QLabel(this)),
      path_(new QLabel(this)),
      stateDot_(new QLabel(this)),
      state_(new QLabel(this)),
      build_(new QLabel(this)),
      port_(new QLabel(this)),
      urls_(new QLabel(this)),
      toolchain_(new QComboBox(this)),
      start_(new QPushButton("Start", this)),
      stop_(new QPushButton("Stop", this)),
      restart_(new QPushButton("Restart", this)),
      updatePackages_(new QPushButton("Update Packages", this)),
      cancelPackages_(new QPushButton("Cancel", this)),
      packageStatus_(new QLabel(this)),
      autoStart_(new QCheckBox("Start this project's server when Quayside starts", this)) {
  title_->setStyleSheet("font-size: 16pt; font-weight: 600;");
  path_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // Secondary text: two thirds of the way from the background to the text colour.
  QPalette muted = path_->palette();
  QColor text = muted.color(QPalette::WindowText), back = muted.color(QPalette::Window);
  QColor secondary((2 * text.red() + back.red()) / 3, (2 * text.green() + back.green()) / 3,
                   (2 * text.blue() + back.blue()) / 3);
  // The title and the line below it stay readable while the tab is disabled (no project).
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
    for (auto role : {QPalette::WindowText, QPalette::Text}) muted.setColor(group, role, secondary);
  path_->setPalette(muted);
  QPalette title = title_->palette();
  title.setColor(QPalette::Disabled, QPalette::WindowText, text);
  title_->setPalette(title);
  path_->setWordWrap(true);
  build_->setWordWrap(true);
  urls_->setOpenExternalLinks(true);
  urls_->setTextFormat(Qt::RichText);
  packageStatus_->setWordWrap(true);

  auto* stateRow = new QHBoxLayout;
  stateRow->addWidget(stateDot_);
  stateRow->addWidget(state_, 1);
  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignRight);
  form->addRow("State:", stateRow);
  form->addRow("Build:", build_);
  form->addRow("Port:", port_);
  form->addRow("Toolchain:", toolchain_);
  form->addRow("Open:", urls_);

  auto* packages = new QHBoxLayout;
  packages->addWidget(updatePackages_);
  packages->addWidget(cancelPackages_);
  packages->addWidget(packageStatus_, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title_);
  layout->addWidget(path_);
  layout->addSpacing(8);
  layout->addLayout(form);
  layout->addWidget(makeButtons());
  layout->addLayout(packages);
  layout->addWidget(autoStart_);
  layout->addWidget(messageLabel());
  layout->addStretch(1);

  connect(toolchain_, &QComboBox::activated, this, &QSOverviewTab::pinToolchain);
  connect(autoStart_, &QCheckBox::clicked, this, [this](bool on) {
    if (projectID()) model_.perform(cmd::SetAutoStart{*projectID(), on}, reportTo());
  });
  connect(updatePackages_, &QPushButton::clicked, this, &QSOverviewTab::runPackageUpdate);
  connect(cancelPackages_, &QPushButton::clicked, this, [this] {
    if (server()) server()->packages().cancelPackageUpdate();
  });
  connect(&model_, &QSAppViewModel::networkChanged, this, [this] { refresh(); });
  connect(&model_, &QSAppViewModel::connectionChanged, this, &QSOverviewTab::loadToolchains);
  loadToolchains();
}

QWidget* QSOverviewTab::makeButtons() {
  auto* row = new QWidget(this);
  auto* buttons = new QHBoxLayout(row);
  buttons->setContentsMargins(0, 8, 0, 8);
  for (QPushButton* b : {start_, stop_, restart_}) buttons->addWidget(b);
  buttons->addStretch(1);
  connect(start_, &QPushButton::clicked, this, [this] {
    if (projectID()) model_.startServer(*projectID(), reportTo());
  });
  connect(stop_, &QPushButton::clicked, this, [this] {
    if (projectID()) model_.stopServer(*projectID(), reportTo());
  });
  connect(restart_, &QPushButton::clicked, this, [this] {
    if (projectID()) model_.restartServer(*projectID(), reportTo());
  });
  return row;
}

void QSOverviewTab::followServer(QSServerViewModel& server) {
  serverConnections_.push_back(connect(&server, &QSServerViewModel::serverChanged, this, [this] { refreshServer(); }));
  serverConnections_.push_back(
      connect(&server, &QSServerViewModel::buildProgressChanged, this, [this] { refreshServer(); }));
  serverConnections_.push_back(
      connect(&server.packages(), &QSPackageUpdater::changed, this, [this] { refreshPackages(); }));
}

void QSOverviewTab::refresh() {
  const QSProject* p = project();
  setEnabled(p != nullptr);
  if (!p) {
    if (model_.projects().empty()) {
      title_->setText("No projects yet");
      path_->setText("Add a Vapor project's folder with Add Project…, or make a new one with New Project….");
    } else {
      title_->setText("No project selected");
      path_->clear();
    }
    return;
  }
  title_->setText(QString::fromStdString(p->name));
  path_->setText(QString::fromStdString(p->path.string()));
  port_->setText(QString::number(p->port));
  QString local = QString("http://localhost:%1").arg(p->port);
  QString links = QString("<a href=\"%1\">%1</a>").arg(local);
  QString routed = model_.projectURL(*p);
  if (routed != local) links = QString("<a href=\"%1\">%1</a><br>").arg(routed) + links;
  urls_->setText(links);
  QSignalBlocker quiet(autoStart_);
  autoStart_->setChecked(p->runsServerAtLogin());
  int index = 0;
  for (std::size_t i = 0; i < toolchains_.size(); ++i)
    if (!toolchains_[i].isDefault && p->swiftVersion == toolchains_[i].version) index = static_cast<int>(i) + 1;
  toolchain_->setCurrentIndex(index);
  refreshServer();
  refreshPackages();
}

void QSOverviewTab::refreshServer() {
  QSServerViewModel* s = server();
  if (!s) return;
  const QSServer& record = s->server();
  stateDot_->setPixmap(dotIcon(stateColor(record.status)).pixmap(12, 12));
  QString text = stateText(record.status);
  if (record.status == QSServerStatus::running && record.pid) text += QString(" (pid %1)").arg(*record.pid);
  if (record.errorMessage && record.status == QSServerStatus::error)
    text += " — " + QString::fromStdString(*record.errorMessage);
  state_->setText(text);
  QString progress = s->buildProgress();
  if (!s->coldBuildText().isEmpty()) progress = (progress.isEmpty() ? "" : progress + "\n") + s->coldBuildText();
  build_->setText(progress.isEmpty() ? "—" : progress);
  bool idle = record.status == QSServerStatus::stopped || record.status == QSServerStatus::error;
  start_->setEnabled(idle);
  stop_->setEnabled(!idle && record.status != QSServerStatus::stopping);
  restart_->setEnabled(record.status == QSServerStatus::running);
}

void QSOverviewTab::refreshPackages() {
  QSServerViewModel* s = server();
  if (!s) return;
  QSPackageUpdater& p = s->packages();
  updatePackages_->setEnabled(!p.isUpdatingPackages());
  cancelPackages_->setVisible(p.isUpdatingPackages());
  if (p.packageUpdateError())
    showMessage(packageStatus_, *p.packageUpdateError(), true);
  else if (p.packageUpdateSuccess())
    showMessage(packageStatus_, *p.packageUpdateSuccess(), false);
  else if (p.isUpdatingPackages())
    showMessage(packageStatus_, p.packageUpdateStatus().value_or("Updating packages…"), false);
  else
    showMessage(packageStatus_, "", false);
}

void QSOverviewTab::loadToolchains() {
  QPointer<QSOverviewTab> self(this);
  model_.listToolchains([self, this](std::vector<QSToolchain> list) {
    if (!self) return;  // the window closed before the answer came
    toolchains_ = std::move(list);
    QSignalBlocker quiet(toolchain_);
    toolchain_->clear();
    toolchain_->addItem("Default toolchain");
    for (const auto& t : toolchains_) toolchain_->addItem(QString::fromStdString(t.displayName()));
    refresh();
  });
}

void QSOverviewTab::pinToolchain(int index) {
  if (!projectID()) return;
  std::optional<std::string> version;
  if (index > 0 && !toolchains_[index - 1].isDefault) version = toolchains_[index - 1].version;
  model_.perform(cmd::PinSwiftVersion{*projectID(), version}, reportTo());
}

void QSOverviewTab::runPackageUpdate() {
  const QSProject* p = project();
  if (!p) return;
  QSToolchainService toolchains;
  // The compiler the server builds with: the pinned toolchain, else the system's swift, else the
  // newest installed toolchain.
  std::optional<std::filesystem::path> root = toolchains.toolchainPath(*p);
  if (!root && !isExecutableFile(QSToolchainService::defaultCompilerPath()))
    if (auto newest = toolchains.newestInstalledToolchain()) root = newest->path;
  std::filesystem::path swift = root ? *root / "usr" / "bin" / "swift" : QSToolchainService::defaultCompilerPath();
  server()->packages().updatePackages(swift, p->path);
}

}  // namespace qs
