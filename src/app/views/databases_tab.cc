#include "app/views/databases_tab.h"

#include "core/databases/database_console.h"

#include "app/viewmodels/app_view_model.h"
#include "app/views/launch_actions.h"
#include "app/views/view_style.h"
#include "core/databases/backup_service.h"
#include "core/databases/database_console.h"
#include "core/databases/service_registry.h"
#include "core/platform/paths.h"
#include "core/platform/settings.h"
#include "core/protocol/daemon_command.h"

#include <QClipboard>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace qs {
namespace {

// Snapshots on disk for the database; SQLite and Redis keep none.
int snapshotCount(const QSDatabase& database) {
  if (database.type == QSDatabaseType::sqlite || database.type == QSDatabaseType::redis) return 0;
  try {
    QSBackupService backups(QSServiceRegistry(QSServiceRegistry::defaultFile()));
    return static_cast<int>(backups.backups(database).size());
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace

QSDatabasesTab::QSDatabasesTab(QSAppViewModel& model, QWidget* parent)
    : QSProjectTab(model, parent),
      table_(new QTableWidget(0, 5, this)),
      start_(new QPushButton("Start", this)),
      stop_(new QPushButton("Stop", this)),
      copyURL_(new QPushButton("Copy URL", this)),
      console_(new QLineEdit(this)),
      openConsole_(new QPushButton("Open Console", this)),
      type_(new QComboBox(this)),
      user_(new QLineEdit(this)),
      password_(new QLineEdit(this)),
      provision_(new QPushButton("Provision Database", this)) {
  table_->setHorizontalHeaderLabels({"Database", "Type", "State", "URL", "Snapshots"});
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setSectionResizeMode(urlColumn, QHeaderView::Stretch);
  table_->verticalHeader()->hide();
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  console_->setReadOnly(true);
  console_->setFont(monospaceFont());
  console_->setPlaceholderText("Select a database to see the command that opens its console");

  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {start_, stop_, copyURL_}) buttons->addWidget(b);
  buttons->addStretch(1);
  auto* consoleLine = new QHBoxLayout;
  consoleLine->addWidget(console_, 1);
  consoleLine->addWidget(openConsole_);
  auto* consoleRow = new QFormLayout;
  consoleRow->addRow("Console:", consoleLine);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_, 1);
  layout->addLayout(buttons);
  layout->addLayout(consoleRow);
  layout->addWidget(makeProvisionBox());
  layout->addWidget(messageLabel());

  connect(table_, &QTableWidget::itemSelectionChanged, this, &QSDatabasesTab::selectionMoved);
  connect(start_, &QPushButton::clicked, this, [this] {
    if (const QSDatabase* d = selected()) model_.perform(cmd::StartDatabase{d->id}, reportTo());
  });
  connect(stop_, &QPushButton::clicked, this, [this] {
    if (const QSDatabase* d = selected()) model_.perform(cmd::StopDatabase{d->id}, reportTo());
  });
  connect(copyURL_, &QPushButton::clicked, this, [this] {
    if (const QSDatabase* d = selected()) QGuiApplication::clipboard()->setText(QString::fromStdString(d->connectionString()));
  });
  connect(openConsole_, &QPushButton::clicked, this, [this] {
    const QSDatabase* d = selected();
    if (!d) return;
    // Read at the click, so a terminal chosen in Settings a moment ago applies.
    QSLaunchReport outcome = openDatabaseConsole(QSSettings::standard(), *d, terminalCommandFor(*d));
    report(outcome.text, outcome.isError);
  });
  connect(&model_, &QSAppViewModel::databasesChanged, this, [this] { refresh(); });
}

QWidget* QSDatabasesTab::makeProvisionBox() {
  auto* box = new QGroupBox("New database for this project", this);
  for (auto type : {QSDatabaseType::postgresql, QSDatabaseType::mysql, QSDatabaseType::sqlite, QSDatabaseType::redis})
    type_->addItem(databaseTypeName(type), static_cast<int>(type));
  user_->setPlaceholderText("the engine's default user");
  password_->setPlaceholderText("none");
  password_->setEchoMode(QLineEdit::Password);
  auto* form = new QFormLayout(box);
  form->addRow("Type:", type_);
  form->addRow("User:", user_);
  form->addRow("Password:", password_);
  form->addRow("", provision_);
  connect(provision_, &QPushButton::clicked, this, &QSDatabasesTab::provision);
  return box;
}

// The same line `qs db console` would run, every word quoted for the shell; the engine keeps
// SQLite files in the data folder.
QString QSDatabasesTab::consoleCommandFor(const QSDatabase& d) {
  return QString::fromStdString(QSDatabaseConsole::command(d, QSDatabaseConsole::clientName(d.type),
                                                           QSPaths::dataFolderPath() / "sqlite"));
}

QString QSDatabasesTab::terminalCommandFor(const QSDatabase& d) {
  std::string client = QSDatabaseConsole::clientName(d.type);
  try {
    QSServiceRegistry registry(QSServiceRegistry::defaultFile());
    if (auto found = QSDatabaseConsole::clientURL(d.type, registry)) client = found->string();
  } catch (const std::exception&) {
    // An unreadable registry leaves the client to the terminal's PATH.
  }
  return QString::fromStdString(QSDatabaseConsole::command(d, client, QSPaths::dataFolderPath() / "sqlite"));
}

std::vector<const QSDatabase*> QSDatabasesTab::linked() const {
  std::vector<const QSDatabase*> out;
  if (const QSProject* p = project())
    for (const auto& id : {p->databaseID, p->redisID})
      if (const QSDatabase* d = model_.database(id)) out.push_back(d);
  return out;
}

const QSDatabase* QSDatabasesTab::selected() const {
  auto list = linked();
  int row = table_->currentRow();
  return row >= 0 && row < static_cast<int>(list.size()) ? list[row] : nullptr;
}

void QSDatabasesTab::refresh() {
  setEnabled(project() != nullptr);
  int row = std::max(table_->currentRow(), 0);
  QSignalBlocker quiet(table_);
  table_->setRowCount(0);
  for (const QSDatabase* d : linked()) {
    int r = table_->rowCount();
    table_->insertRow(r);
    table_->setItem(r, nameColumn, new QTableWidgetItem(QString::fromStdString(d->name)));
    table_->setItem(r, typeColumn, new QTableWidgetItem(databaseTypeName(d->type)));
    auto* state = new QTableWidgetItem(dotIcon(stateColor(d->status)), stateText(d->status));
    if (d->errorMessage) state->setToolTip(QString::fromStdString(*d->errorMessage));
    table_->setItem(r, stateColumn, state);
    table_->setItem(r, urlColumn, new QTableWidgetItem(QString::fromStdString(d->displayConnectionString())));
    table_->setItem(r, backupsColumn, new QTableWidgetItem(QString::number(snapshotCount(*d))));
  }
  if (table_->rowCount() > 0) table_->setCurrentCell(std::min(row, table_->rowCount() - 1), 0);
  quiet.unblock();
  selectionMoved();
}

void QSDatabasesTab::selectionMoved() {
  const QSDatabase* d = selected();
  bool sqlite = d && d->type == QSDatabaseType::sqlite;
  start_->setEnabled(d && !sqlite && d->status != QSDatabaseStatus::running);
  stop_->setEnabled(d && !sqlite && d->status == QSDatabaseStatus::running);
  copyURL_->setEnabled(d != nullptr);
  openConsole_->setEnabled(d != nullptr);
  console_->setText(d ? consoleCommandFor(*d) : "");
}

void QSDatabasesTab::provision() {
  if (!projectID()) return;
  auto type = static_cast<QSDatabaseType>(type_->currentData().toInt());
  cmd::ProvisionDatabase request{.projectID = *projectID(), .type = type, .isRedis = type == QSDatabaseType::redis};
  if (!user_->text().isEmpty()) request.username = user_->text().toStdString();
  if (!password_->text().isEmpty()) request.password = password_->text().toStdString();
  report("Provisioning " + databaseTypeName(type) + "… (the first one may download and set up the engine)", false);
  model_.perform(request, reportTo());
}

}  // namespace qs
