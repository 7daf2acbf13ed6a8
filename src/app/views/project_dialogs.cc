#include "app/views/project_dialogs.h"

#include "app/viewmodels/app_view_model.h"
#include "app/views/view_style.h"
#include "core/platform/paths.h"
#include "core/protocol/daemon_command.h"
#include "core/protocol/daemon_result.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace qs {

QSNewProjectDialog::QSNewProjectDialog(QSAppViewModel& model, QWidget* parent)
    : QDialog(parent),
      model_(model),
      name_(new QLineEdit(this)),
      folder_(new QLineEdit(QString::fromStdString(QSPaths::projectsFolder().string()), this)),
      port_(new QSpinBox(this)),
      git_(new QCheckBox("Initialise a git repository", this)),
      errorPages_(new QCheckBox("Include error pages", this)),
      database_(new QComboBox(this)),
      message_(makeMessageLabel(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Cancel, this)) {
  setWindowTitle("New Project");
  name_->setPlaceholderText("my-app");
  port_->setRange(1024, 65535);
  port_->setValue(8080);
  git_->setChecked(true);
  database_->addItem("None", -1);
  for (auto type : {QSDatabaseType::postgresql, QSDatabaseType::mysql, QSDatabaseType::sqlite, QSDatabaseType::redis})
    database_->addItem(databaseTypeName(type), static_cast<int>(type));
  auto* browse = new QPushButton("Choose…", this);
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(folder_, 1);
  folderRow->addWidget(browse);
  auto* form = new QFormLayout;
  form->addRow("Name:", name_);
  form->addRow("Folder:", folderRow);
  form->addRow("Port:", port_);
  form->addRow("Database:", database_);
  form->addRow("", git_);
  form->addRow("", errorPages_);
  auto* createButton = buttons_->addButton("Create", QDialogButtonBox::AcceptRole);
  createButton->setDefault(true);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(message_);
  layout->addWidget(buttons_);
  setMinimumWidth(480);
  connect(browse, &QPushButton::clicked, this, [this] {
    QString chosen = QFileDialog::getExistingDirectory(this, "Folder for the new project", folder_->text());
    if (!chosen.isEmpty()) folder_->setText(chosen);
  });
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QSNewProjectDialog::create);
}

void QSNewProjectDialog::create() {
  QString name = name_->text().trimmed();
  if (name.isEmpty()) return showMessage(message_, "Give the project a name, for example my-app.", true);
  QSProjectScaffoldOptions options;
  options.name = name.toStdString();
  options.parentDirectory = folder_->text().trimmed().toStdString();
  options.port = port_->value();
  options.initializeGitRepository = git_->isChecked();
  options.includeErrorPages = errorPages_->isChecked();
  if (database_->currentData().toInt() >= 0) options.databaseType = static_cast<QSDatabaseType>(database_->currentData().toInt());
  buttons_->setEnabled(false);
  showMessage(message_, "Creating " + name + "…", false);
  QPointer<QSNewProjectDialog> self(this);
  auto createdID = std::make_shared<QSUUID>();
  model_.perform(
      cmd::CreateProject{options},
      [self, createdID](const QString& error) {
        if (!self) return;
        if (!error.isEmpty()) {
          self->buttons_->setEnabled(true);
          return showMessage(self->message_, error, true);
        }
        self->provisionFor(*createdID);
      },
      [createdID](const QSDaemonResult& r) {
        if (const auto* p = r.get<res::Project>()) *createdID = p->value.id;
      });
}

void QSNewProjectDialog::provisionFor(const QSUUID& projectID) {
  int chosen = database_->currentData().toInt();
  if (chosen < 0) {
    emit created(projectID);
    return accept();
  }
  auto type = static_cast<QSDatabaseType>(chosen);
  showMessage(message_, "Provisioning " + databaseTypeName(type) + "…", false);
  QPointer<QSNewProjectDialog> self(this);
  model_.perform(cmd::ProvisionDatabase{.projectID = projectID, .type = type, .isRedis = type == QSDatabaseType::redis},
                 [self, projectID](const QString& error) {
                   if (!self) return;
                   self->buttons_->setEnabled(true);
                   emit self->created(projectID);
                   // The project exists either way; a failed database is said, and the
                   // Databases tab can provision it again.
                   if (!error.isEmpty())
                     return showMessage(self->message_, "The project was created, but its database wasn't: " + error,
                                        true);
                   self->accept();
                 });
}

QSRemoveProjectDialog::QSRemoveProjectDialog(QSAppViewModel& model, QSUUID projectID, QWidget* parent)
    : QDialog(parent),
      model_(model),
      projectID_(projectID),
      dropDatabase_(new QCheckBox("Also drop its database (when no other project uses it)", this)),
      trash_(new QCheckBox("Move the project folder to the trash", this)),
      message_(makeMessageLabel(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Cancel, this)) {
  const QSProject* project = model.project(projectID);
  QString name = project ? QString::fromStdString(project->name) : "this project";
  setWindowTitle("Remove " + name);
  auto* text = new QLabel("Remove " + name + " from Quayside? Its server is stopped first.", this);
  text->setWordWrap(true);
  dropDatabase_->setEnabled(project && (project->databaseID || project->redisID));
  buttons_->addButton("Remove", QDialogButtonBox::DestructiveRole);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addWidget(dropDatabase_);
  layout->addWidget(trash_);
  layout->addWidget(message_);
  layout->addWidget(buttons_);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(buttons_, &QDialogButtonBox::clicked, this, [this](QAbstractButton* b) {
    if (buttons_->buttonRole(b) == QDialogButtonBox::DestructiveRole) remove();
  });
}

void QSRemoveProjectDialog::remove() {
  buttons_->setEnabled(false);
  QPointer<QSRemoveProjectDialog> self(this);
  model_.removeProject(projectID_, dropDatabase_->isChecked(), trash_->isChecked(), [self](const QString& error) {
    if (!self) return;
    self->buttons_->setEnabled(true);
    if (!error.isEmpty()) return showMessage(self->message_, error, true);
    self->accept();
  });
}

}  // namespace qs
