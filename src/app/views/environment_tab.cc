#include "app/views/environment_tab.h"

#include "app/viewmodels/app_view_model.h"
#include "app/views/view_style.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace qs {

QSEnvironmentTab::QSEnvironmentTab(QSAppViewModel& model, QWidget* parent)
    : QSProjectTab(model, parent),
      table_(new QTableWidget(0, 4, this)),
      add_(new QPushButton("Add Variable…", this)),
      remove_(new QPushButton("Remove", this)) {
  table_->setHorizontalHeaderLabels({"On", "Key", "Value", "Database"});
  table_->horizontalHeader()->setSectionResizeMode(enabledColumn, QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setSectionResizeMode(keyColumn, QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setSectionResizeMode(valueColumn, QHeaderView::Stretch);
  table_->horizontalHeader()->setSectionResizeMode(linkColumn, QHeaderView::ResizeToContents);
  table_->verticalHeader()->hide();
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setFont(monospaceFont());

  auto* hint = new QLabel("Changes are written to the project's .env file and reach the server on its next start.",
                          this);
  hint->setWordWrap(true);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(add_);
  buttons->addWidget(remove_);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(hint);
  layout->addWidget(table_, 1);
  layout->addLayout(buttons);
  layout->addWidget(messageLabel());

  connect(table_, &QTableWidget::itemChanged, this, &QSEnvironmentTab::cellEdited);
  connect(add_, &QPushButton::clicked, this, &QSEnvironmentTab::askForVariable);
  connect(remove_, &QPushButton::clicked, this, &QSEnvironmentTab::removeSelected);
  connect(&model_, &QSAppViewModel::databasesChanged, this, [this] { refresh(); });
}

bool QSEnvironmentTab::isDatabaseKey(const QString& key) {
  static const QStringList keys{"DATABASE_URL", "DB_HOST",    "DB_PORT",    "DB_NAME",    "DB_USERNAME",   "DB_USER",
                                "DB_PASSWORD",  "REDIS_URL",  "REDIS_HOST", "REDIS_PORT", "REDIS_PASSWORD"};
  return keys.contains(key);
}

void QSEnvironmentTab::refresh() {
  const QSProject* p = project();
  setEnabled(p != nullptr);
  filling_ = true;
  table_->setRowCount(0);
  if (p) {
    const QSDatabase* sql = model_.database(p->databaseID);
    const QSDatabase* redis = model_.database(p->redisID);
    for (const QSEnvironmentVariable& v : p->environmentVariables) {
      int row = table_->rowCount();
      table_->insertRow(row);
      auto* on = new QTableWidgetItem;
      on->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      on->setCheckState(v.isEnabled ? Qt::Checked : Qt::Unchecked);
      auto* key = new QTableWidgetItem(QString::fromStdString(v.key));
      key->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      auto* value = new QTableWidgetItem(QString::fromStdString(v.value));
      QString keyText = key->text();
      const QSDatabase* linked = keyText.startsWith("REDIS") ? redis : sql;
      auto* link = new QTableWidgetItem(isDatabaseKey(keyText) && linked ? QString::fromStdString(linked->name) : "");
      link->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      if (!link->text().isEmpty()) link->setToolTip("Written by Quayside from the linked database");
      table_->setItem(row, enabledColumn, on);
      table_->setItem(row, keyColumn, key);
      table_->setItem(row, valueColumn, value);
      table_->setItem(row, linkColumn, link);
    }
  }
  filling_ = false;
}

void QSEnvironmentTab::cellEdited(QTableWidgetItem* item) {
  if (filling_ || !projectID()) return;
  QString key = table_->item(item->row(), keyColumn)->text();
  if (item->column() == valueColumn) model_.setEnvVar(*projectID(), key, item->text(), reportTo());
  if (item->column() == enabledColumn)
    model_.setEnvVarEnabled(*projectID(), key, item->checkState() == Qt::Checked, reportTo());
}

void QSEnvironmentTab::addVariable(const QString& key, const QString& value) {
  if (!projectID()) return;
  if (key.trimmed().isEmpty()) return report("A variable needs a name, for example API_KEY.", true);
  model_.setEnvVar(*projectID(), key.trimmed(), value, reportTo());
}

void QSEnvironmentTab::askForVariable() {
  bool ok = false;
  QString key = QInputDialog::getText(this, "Add Variable", "Name (for example API_KEY):", QLineEdit::Normal, "", &ok);
  if (!ok) return;
  QString value = QInputDialog::getText(this, "Add Variable", "Value of " + key + ":", QLineEdit::Normal, "", &ok);
  if (ok) addVariable(key, value);
}

void QSEnvironmentTab::removeSelected() {
  int row = table_->currentRow();
  if (row < 0 || !projectID()) return;
  model_.unsetEnvVar(*projectID(), table_->item(row, keyColumn)->text(), reportTo());
}

}  // namespace qs
