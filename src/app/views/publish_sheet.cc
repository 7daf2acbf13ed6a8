#include "app/views/publish_sheet.h"

#include "app/publish/hosting_configuration.h"
#include "app/publish/hub_token_service.h"
#include "app/publish/publish_service.h"
#include "app/publish/subdomain.h"
#include "app/shell/app_delegate.h"
#include "app/shell/gui_thread.h"
#include "app/shell/service_loop.h"
#include "app/viewmodels/app_view_model.h"
#include "app/views/view_style.h"
#include "core/platform/files.h"
#include "core/platform/text.h"

#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/co_spawn.hpp>
#include <asio/post.hpp>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace qs {

namespace config = QSHostingConfiguration;
using Kind = QSPublishPhase::Kind;

namespace {

constexpr Kind kSteps[] = {Kind::checkingAPI, Kind::preparingSite, Kind::provisioning,
                           Kind::packaging,   Kind::uploading,     Kind::deploying};

QString qtext(const std::string& text) { return QString::fromStdString(text); }

// What an exception caught from the loop says.
std::string messageOf(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "an unknown error";
  }
}

// A build log line as plain text: control characters (a terminal's escape sequences) become
// the replacement character, so that they show as what they are.
QString logLine(const std::string& line) {
  QString text = QString::fromStdString(line);
  for (QChar& c : text)
    if (c.unicode() < 0x20 && c != '\t') c = QChar(0xFFFD);
  return text;
}

}  // namespace

// One publish: its own token exchange and flow, living on the service loop until the flow has
// wound down, whatever became of the sheet.
struct QSPublishSheet::Run {
  Run(const std::string& hubURL, const std::string& hostingURL, const std::string& key)
      : tokens(hubURL, QSHTTPSession::shared()), service(QSHostingClient::make(hostingURL, key, tokens)) {}
  QSHubTokenService tokens;
  QSPublishService service;
  asio::cancellation_signal cancel;  // emitted on the loop only

  // Stops the flow at its next step (on the loop). Qt's `emit` keyword would eat the
  // signal's member of that name.
#pragma push_macro("emit")
#undef emit
  void stop() { cancel.emit(asio::cancellation_type::terminal); }
#pragma pop_macro("emit")
};

QSPublishSheet::QSPublishSheet(QSAppDelegate& app, QSUUID projectID, QWidget* parent)
    : QDialog(parent),
      app_(app),
      projectID_(projectID),
      keyState_(new QLabel(this)),
      keyEdit_(new QLineEdit(this)),
      saveKey_(new QPushButton("Save Key", this)),
      removeKey_(new QPushButton("Remove Key", this)),
      subdomain_(new QLineEdit(this)),
      availability_(new QLabel(this)),
      availabilityDelay_(new QTimer(this)),
      size_(new QComboBox(this)),
      region_(new QComboBox(this)),
      database_(new QCheckBox("Provision a database for the site", this)),
      excludeEnv_(new QCheckBox("Leave the project's .env out of the upload", this)),
      phases_(new QListWidget(this)),
      phaseLabel_(new QLabel(this)),
      detail_(new QLabel(this)),
      log_(new QPlainTextEdit(this)),
      address_(new QLabel(this)),
      message_(makeMessageLabel(this)),
      publish_(new QPushButton("Publish", this)),
      cancel_(new QPushButton("Cancel", this)) {
  const QSProject* project = app.appViewModel().project(projectID);
  QString name = project ? qtext(project->name) : QString("the project");
  if (project) projectFolder_ = project->path.string();
  setWindowTitle("Publish " + name);
  setWindowModality(Qt::WindowModal);

  keyEdit_->setEchoMode(QLineEdit::Password);
  keyEdit_->setPlaceholderText("Paste your Brindle Hosting API key");
  auto* keyRow = new QHBoxLayout;
  keyRow->addWidget(keyState_, 1);
  keyRow->addWidget(keyEdit_, 2);
  keyRow->addWidget(saveKey_);
  keyRow->addWidget(removeKey_);

  subdomain_->setText(qtext(defaultSubdomain(project ? project->name : "")));
  subdomain_->setMaxLength(63);
  availability_->setWordWrap(true);
  availability_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  availabilityDelay_->setSingleShot(true);
  availabilityDelay_->setInterval(500);
  for (const auto& choice : machineSizeChoices()) size_->addItem(qtext(choice.label));
  for (const auto& choice : regionChoices()) region_->addItem(qtext(choice.label), qtext(choice.code));
  bool usesDatabase = !projectFolder_.empty() && QSPublishService::usesDatabase(projectFolder_);
  database_->setChecked(usesDatabase);
  database_->setToolTip("On by default when the project uses Fluent.");
  auto* envNote = new QLabel("The project's .env goes with the upload, as the hosted build reads it; it holds "
                             "whatever you put there, local database passwords included.",
                             this);
  envNote->setWordWrap(true);
  envNote->setVisible(!projectFolder_.empty() && fileExists(std::filesystem::path(projectFolder_) / ".env"));

  auto* form = new QFormLayout;
  form->addRow("API key:", keyRow);
  form->addRow("Subdomain:", subdomain_);
  form->addRow("", availability_);
  form->addRow("Machine:", size_);
  form->addRow("Region:", region_);
  form->addRow("", database_);
  form->addRow("", excludeEnv_);
  form->addRow("", envNote);

  for (Kind step : kSteps) phases_->addItem(qtext(QSPublishPhase{step}.label()));
  phases_->setSelectionMode(QAbstractItemView::NoSelection);
  phases_->setFocusPolicy(Qt::NoFocus);
  phases_->setFixedHeight(phases_->sizeHintForRow(0) * 6 + 2 * phases_->frameWidth() + 4);
  QFont bold = phaseLabel_->font();
  bold.setBold(true);
  phaseLabel_->setFont(bold);
  phaseLabel_->setWordWrap(true);
  phaseLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  detail_->setWordWrap(true);
  log_->setReadOnly(true);
  log_->setFont(monospaceFont());
  log_->setMaximumBlockCount(static_cast<int>(QSPublishService::consoleLimit));
  log_->setLineWrapMode(QPlainTextEdit::NoWrap);
  log_->setPlaceholderText("The build log appears here while Brindle Hosting builds the project.");
  address_->setTextFormat(Qt::RichText);
  address_->setOpenExternalLinks(true);
  address_->setTextInteractionFlags(Qt::TextBrowserInteraction);
  address_->hide();

  auto* progress = new QGroupBox("Progress", this);
  auto* progressLayout = new QVBoxLayout(progress);
  progressLayout->addWidget(phases_);
  progressLayout->addWidget(phaseLabel_);
  progressLayout->addWidget(detail_);
  progressLayout->addWidget(address_);
  progressLayout->addWidget(new QLabel("Build log:", progress));
  progressLayout->addWidget(log_, 1);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(cancel_, QDialogButtonBox::RejectRole);
  buttons->addButton(publish_, QDialogButtonBox::AcceptRole);
  publish_->setDefault(true);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(progress, 1);
  layout->addWidget(message_);
  layout->addWidget(buttons);
  resize(720, 720);

  connect(saveKey_, &QPushButton::clicked, this, &QSPublishSheet::saveKey);
  connect(keyEdit_, &QLineEdit::returnPressed, this, &QSPublishSheet::saveKey);
  connect(removeKey_, &QPushButton::clicked, this, &QSPublishSheet::removeKey);
  connect(subdomain_, &QLineEdit::textEdited, this, [this] {
    availability_->clear();
    availabilityDelay_->start();
  });
  connect(availabilityDelay_, &QTimer::timeout, this, &QSPublishSheet::checkAvailability);
  connect(publish_, &QPushButton::clicked, this, &QSPublishSheet::publish);
  connect(cancel_, &QPushButton::clicked, this, &QSPublishSheet::cancel);
  refreshKey();
  showPhase({});
  if (!project) {
    showMessage(message_, "This project is no longer known to Quayside.", true);
    publish_->setEnabled(false);
  }
}

QSPublishSheet::~QSPublishSheet() {
  if (!running_) return;
  auto run = running_;
  asio::post(app_.loop().executor(), [run] { run->stop(); });
}

std::string QSPublishSheet::hostingURL() const { return config::hostingBaseURL(); }
// The settings as they are now: `qs hosting login` may have stored a key since the app started.
QSSettings QSPublishSheet::currentSettings() const { return QSSettings(app_.settings().file()); }
std::string QSPublishSheet::hubURL() const { return config::hubBaseURL(currentSettings()); }

void QSPublishSheet::refreshKey() {
  QSSettings settings = currentSettings();
  auto source = config::apiKeySource(settings);
  std::string key = config::apiKey(settings);
  if (!source) {
    keyState_->setText("No key stored yet.");
  } else if (*source == "settings") {
    keyState_->setText("Stored: " + qtext(config::maskedAPIKey(key)));
  } else {
    keyState_->setText("From " + qtext(*source) + ": " + qtext(config::maskedAPIKey(key)));
  }
  bool editable = !running_;
  keyEdit_->setVisible(!source);
  saveKey_->setVisible(!source);
  removeKey_->setVisible(source && *source == "settings");
  keyEdit_->setEnabled(editable);
  saveKey_->setEnabled(editable);
  removeKey_->setEnabled(editable);
}

void QSPublishSheet::saveKey() {
  std::string key(trimmed(keyEdit_->text().toStdString()));
  if (key.empty()) return showMessage(message_, "Paste the API key from your Brindle account first.", true);
  saveKey_->setEnabled(false);
  showMessage(message_, "Checking the key with Brindle…", false);
  auto tokens = std::make_shared<QSHubTokenService>(hubURL(), QSHTTPSession::shared());
  QPointer<QSPublishSheet> self(this);
  asio::co_spawn(app_.loop().executor(), tokens->jwt(key), [tokens, self, key](std::exception_ptr error, std::string) {
    std::string failure = error ? messageOf(error) : std::string();
    backOnGui(self, [failure, key](QSPublishSheet& sheet) {
      sheet.saveKey_->setEnabled(true);
      if (!failure.empty()) return showMessage(sheet.message_, qtext(failure + " The key was not stored."), true);
      try {
        config::storeAPIKey(sheet.app_.settings(), key);
      } catch (const std::exception& e) {
        return showMessage(sheet.message_, QString("Couldn't store the key: ") + e.what(), true);
      }
      sheet.keyEdit_->clear();
      showMessage(sheet.message_, "Brindle accepted the key; it is stored, readable only by you.", false);
      sheet.refreshKey();
    });
  });
}

void QSPublishSheet::removeKey() {
  try {
    app_.settings().remove(config::apiKeySetting);
    showMessage(message_, "Removed the stored API key.", false);
  } catch (const std::exception& e) {
    showMessage(message_, QString("Couldn't remove the key: ") + e.what(), true);
  }
  refreshKey();
}

void QSPublishSheet::checkAvailability() {
  availabilityDelay_->stop();
  std::string subdomain = subdomain_->text().trimmed().toStdString();
  int generation = ++availabilityGeneration_;
  auto setText = [this](const QString& text, bool bad) {
    availability_->setText(text);
    availability_->setStyleSheet(bad ? "color: #b3261e;" : "");
  };
  if (auto problem = subdomainProblem(subdomain)) return setText(qtext(*problem), true);
  std::string address = subdomain + "." + config::publicSiteDomain;
  setText(qtext("Checking " + address + "…"), false);
  auto client = std::make_shared<QSHostingClient>(
      QSHostingClient::make(hostingURL(), std::string(), QSHubTokenService::shared()));
  QPointer<QSPublishSheet> self(this);
  asio::co_spawn(app_.loop().executor(), client->checkSubdomainAvailability(subdomain),
                 [client, self, generation, address](std::exception_ptr error, QSSubdomainAvailability answer) {
                   std::string failure = error ? messageOf(error) : std::string();
                   backOnGui(self, [=](QSPublishSheet& sheet) {
                     if (generation != sheet.availabilityGeneration_) return;
                     sheet.availability_->setStyleSheet(failure.empty() && answer.available ? "color: #1e7b34;"
                                                                                            : "color: #b3261e;");
                     if (!failure.empty())
                       sheet.availability_->setText(qtext("Couldn't check " + address + ": " + failure));
                     else if (answer.available)
                       sheet.availability_->setText(qtext(address + " is available."));
                     else
                       sheet.availability_->setText(qtext(address + " is taken. Publishing there works only when the "
                                                          "site is already yours."));
                   });
                 });
}

void QSPublishSheet::setEditable(bool editable) {
  for (QWidget* w : std::initializer_list<QWidget*>{subdomain_, size_, region_, database_, excludeEnv_})
    w->setEnabled(editable);
  publish_->setEnabled(editable);
  refreshKey();
}

void QSPublishSheet::publish() {
  if (running_) return;
  std::string subdomain = subdomain_->text().trimmed().toStdString();
  if (auto problem = subdomainProblem(subdomain)) return showMessage(message_, qtext(*problem), true);
  std::string key = config::apiKey(currentSettings());
  if (key.empty()) return showMessage(message_, "Add your Brindle Hosting API key above before publishing.", true);
  if (projectFolder_.empty() || !isDirectory(projectFolder_))
    return showMessage(message_, qtext("The project's folder is gone (" + projectFolder_ + ")."), true);

  QSServerOptions options = QSServerOptions::standard();
  const auto& size = machineSizeChoices().at(static_cast<std::size_t>(std::max(0, size_->currentIndex())));
  options.memoryMB = size.memoryMB;
  options.cpus = size.cpus;
  options.cpuKind = size.cpuKind;
  options.region = region_->currentData().toString().toStdString();
  bool database = database_->isChecked();

  showMessage(message_, "", false);
  log_->clear();
  address_->hide();
  cancelled_ = false;
  auto run = std::make_shared<Run>(hubURL(), hostingURL(), key);
  run->service.excludeEnv = excludeEnv_->isChecked();
  QPointer<QSPublishSheet> self(this);
  run->service.onPhaseChange = [self](const QSPublishPhase& phase) {
    backOnGui(self, [phase](QSPublishSheet& sheet) { sheet.showPhase(phase); });
  };
  run->service.onConsoleLines = [self](const std::vector<std::string>& lines) {
    backOnGui(self, [lines](QSPublishSheet& sheet) { sheet.appendLog(lines); });
  };
  running_ = run;
  setEditable(false);
  cancel_->setText("Cancel");
  std::filesystem::path folder = projectFolder_;
  asio::any_io_executor loop = app_.loop().executor();
  asio::post(loop, [loop, run, self, folder, subdomain, options, database] {
    asio::co_spawn(loop, run->service.publish(folder, subdomain, options, database),
                   asio::bind_cancellation_slot(run->cancel.slot(), [run, self](std::exception_ptr) {
                     QSPublishPhase outcome = run->service.phase();
                     backOnGui(self, [outcome](QSPublishSheet& sheet) { sheet.finish(outcome); });
                   }));
  });
}

void QSPublishSheet::cancel() {
  if (!running_) return reject();
  cancelled_ = true;
  cancel_->setEnabled(false);
  showMessage(message_, "Cancelling…", false);
  auto run = running_;
  asio::post(app_.loop().executor(), [run] { run->stop(); });
}

void QSPublishSheet::showPhase(const QSPublishPhase& phase) {
  phase_ = phase;
  // The steps before the current one are done; the failing one is marked.
  int current = -1;
  for (int i = 0; i < 6; ++i)
    if (kSteps[i] == phase.kind) current = i;
  for (int i = 0; i < 6; ++i) {
    QListWidgetItem* item = phases_->item(i);
    QString label = qtext(QSPublishPhase{kSteps[i]}.label());
    bool done = phase.kind == Kind::succeeded || (current >= 0 && i < current) ||
                (phase.kind == Kind::failed && item->data(Qt::UserRole).toString() == "done");
    bool active = i == current;
    QString was = item->data(Qt::UserRole).toString();
    bool failedHere = phase.kind == Kind::failed && (was == "active" || was == "failed");
    QString mark = done ? "\u2713" : active ? "\u25B6" : failedHere ? "\u2717" : "\u2022";
    item->setText(mark + "  " + label);
    item->setData(Qt::UserRole, done ? "done" : active ? "active" : failedHere ? "failed" : "");
    QFont font = item->font();
    font.setBold(active);
    item->setFont(font);
    item->setForeground(failedHere ? QColor("#b3261e") : done ? QColor("#1e7b34") : palette().color(QPalette::Text));
  }
  phaseLabel_->setText(qtext(phase.label()));
  phaseLabel_->setStyleSheet(phase.kind == Kind::failed ? "color: #b3261e;" : "");
  auto detail = phase.detail();
  detail_->setText(detail ? qtext(*detail) : QString());
  detail_->setVisible(detail.has_value());
}

void QSPublishSheet::appendLog(const std::vector<std::string>& lines) {
  QScrollBar* bar = log_->verticalScrollBar();
  bool following = bar->value() >= bar->maximum();
  for (const auto& line : lines) log_->appendPlainText(logLine(line));
  if (following) bar->setValue(bar->maximum());
}

void QSPublishSheet::finish(const QSPublishPhase& phase) {
  running_.reset();
  setEditable(true);
  cancel_->setEnabled(true);
  cancel_->setText("Close");
  if (cancelled_ && phase.kind != Kind::succeeded) {
    showPhase(QSPublishPhase::failed("Publishing was cancelled."));
    showMessage(message_, "The project is as it was. What already reached Brindle Hosting stays there.", false);
    return;
  }
  showPhase(phase);
  showMessage(message_, "", false);
  if (phase.kind == Kind::succeeded) {
    QString url = qtext(phase.url);
    address_->setText("Your site is live at <a href=\"" + url.toHtmlEscaped() + "\">" + url.toHtmlEscaped() + "</a>");
    address_->show();
    publish_->setText("Publish Again");
  }
}

}  // namespace qs
