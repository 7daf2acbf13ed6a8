#include "app/views/site_import_sheet.h"

#include "app/shell/gui_thread.h"
#include "app/site/site_error.h"
#include "app/site/site_import.h"
#include "app/viewmodels/app_view_model.h"
#include "app/views/view_style.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/runtime/git_service.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>


namespace qs {
namespace {

namespace fs = std::filesystem;

constexpr const char* kInitialCommit = "Initial commit from Quayside";

// "~/Quayside" for the usual projects folder, as the import's own messages say it.
QString folderLabel(const fs::path& folder) {
  if (folder == QSPaths::projectsFolder()) return "~/Quayside";
  std::string text = folder.string(), home = QSPaths::home().string();
  if (!home.empty() && text.rfind(home + "/", 0) == 0) return QString::fromStdString("~" + text.substr(home.size()));
  return QString::fromStdString(text);
}

struct ImportOutcome {
  QString error;
  QString folder;
};

}  // namespace

const char* const QSSiteImportSheet::documentFilter = "Site documents (*.brp)";

QSSiteImportSheet::QSSiteImportSheet(QSAppViewModel& model, QWidget* parent)
    : QDialog(parent),
      model_(model),
      document_(new QLineEdit(this)),
      name_(new QLineEdit(this)),
      folder_(new QLineEdit(QString::fromStdString(QSPaths::projectsFolder().string()), this)),
      git_(new QCheckBox("Initialise a git repository", this)),
      target_(new QLabel(this)),
      progress_(new QProgressBar(this)),
      message_(makeMessageLabel(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Cancel, this)) {
  setWindowTitle("New Project from Site Document");
  setWindowModality(Qt::WindowModal);
  auto* intro = new QLabel("Turns a Brindle Pages document into a Vapor project: a page per document page, its "
                           "styles, error pages and form handling. Later design changes come in with Re-sync.",
                           this);
  intro->setWordWrap(true);
  document_->setPlaceholderText("shop.brp");
  name_->setPlaceholderText("the document's name");
  git_->setChecked(true);
  target_->setWordWrap(true);
  progress_->setRange(0, 0);  // the import is one step; it shows that work goes on
  progress_->hide();
  auto* chooseDocument = new QPushButton("Choose…", this);
  auto* chooseFolder = new QPushButton("Choose…", this);
  auto* documentRow = new QHBoxLayout;
  documentRow->addWidget(document_, 1);
  documentRow->addWidget(chooseDocument);
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(folder_, 1);
  folderRow->addWidget(chooseFolder);
  auto* form = new QFormLayout;
  form->addRow("Document:", documentRow);
  form->addRow("Name:", name_);
  form->addRow("Create in:", folderRow);
  form->addRow("", target_);
  form->addRow("", git_);
  create_ = buttons_->addButton("Create Project", QDialogButtonBox::AcceptRole);
  create_->setDefault(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(intro);
  layout->addLayout(form);
  layout->addWidget(progress_);
  layout->addWidget(message_);
  layout->addStretch(1);
  layout->addWidget(buttons_);
  setMinimumWidth(560);

  connect(chooseDocument, &QPushButton::clicked, this, [this] {
    QString start = document_->text().isEmpty() ? QString::fromStdString(QSPaths::home().string())
                                                : QFileInfo(document_->text()).absolutePath();
    QString chosen = QFileDialog::getOpenFileName(this, "Choose a site document", start, documentFilter);
    if (!chosen.isEmpty()) setDocument(chosen);
  });
  connect(chooseFolder, &QPushButton::clicked, this, [this] {
    QString chosen = QFileDialog::getExistingDirectory(this, "Folder for the new project", folder_->text());
    if (!chosen.isEmpty()) folder_->setText(chosen);
  });
  connect(document_, &QLineEdit::textChanged, this, &QSSiteImportSheet::refreshTarget);
  connect(name_, &QLineEdit::textChanged, this, &QSSiteImportSheet::refreshTarget);
  connect(folder_, &QLineEdit::textChanged, this, &QSSiteImportSheet::refreshTarget);
  connect(buttons_, &QDialogButtonBox::rejected, this, [this] {
    if (!busy_) reject();
  });
  connect(buttons_, &QDialogButtonBox::accepted, this, &QSSiteImportSheet::create);
  refreshTarget();
}

std::vector<std::string> QSSiteImportSheet::existingNames() const {
  std::vector<std::string> names;
  for (const QSProject& project : model_.projects()) names.push_back(project.name);
  return names;
}

void QSSiteImportSheet::setDocument(const QString& path) {
  // A name the user typed stays; the one the previous document suggested follows the new one.
  bool followsDocument = name_->text().trimmed().isEmpty() || name_->text() == suggestedName_;
  suggestedName_ = QString::fromStdString(importProjectName("", path.toStdString(), existingNames()));
  document_->setText(path);
  if (followsDocument) name_->setText(suggestedName_);
}

// The folder the import will make, named as the import names it, or why it can't.
void QSSiteImportSheet::refreshTarget() {
  QString document = document_->text().trimmed();
  fs::path parent = folder_->text().trimmed().isEmpty() ? QSPaths::projectsFolder()
                                                        : fs::path(folder_->text().trimmed().toStdString());
  if (document.isEmpty() && name_->text().trimmed().isEmpty()) {
    target_->setText("Choose the document; the project is named after it unless you give a name.");
    target_->setStyleSheet("color: palette(placeholder-text);");
    create_->setEnabled(!busy_);
    return;
  }
  std::string name = importProjectName(name_->text().toStdString(), document.toStdString(), existingNames());
  bool taken = fileExists(parent / name);
  QSSiteError folderTaken(siteError::FolderExists{name, folderLabel(parent).toStdString()});
  target_->setText(taken ? QString::fromStdString(folderTaken.message())
                         : "Creates " + folderLabel(parent / name) + ".");
  target_->setStyleSheet(taken ? "color: #c0392b;" : "color: palette(text);");
  create_->setEnabled(!busy_ && !taken);
}

void QSSiteImportSheet::setBusy(bool busy, const QString& text) {
  busy_ = busy;
  for (QWidget* w : std::initializer_list<QWidget*>{document_, name_, folder_, git_}) w->setEnabled(!busy);
  buttons_->button(QDialogButtonBox::Cancel)->setEnabled(!busy);
  progress_->setVisible(busy);
  showMessage(message_, text, false);
  refreshTarget();
}

void QSSiteImportSheet::fail(const QString& text) {
  setBusy(false, "");
  showMessage(message_, text, true);
}

void QSSiteImportSheet::create() {
  if (busy_) return;
  QString document = document_->text().trimmed();
  if (document.isEmpty()) return showMessage(message_, "Choose the site document to import first.", true);
  QSSiteImportRequest request;
  request.document = fs::absolute(document.toStdString()).lexically_normal();
  if (!fileExists(request.document))
    return showMessage(message_, QString::fromStdString("No document at " + request.document.string() + "."), true);
  request.name = name_->text().toStdString();
  request.projectsFolder = folder_->text().trimmed().isEmpty()
                               ? QSPaths::projectsFolder()
                               : fs::absolute(folder_->text().trimmed().toStdString()).lexically_normal();
  request.existingProjectNames = existingNames();
  bool git = git_->isChecked();
  setBusy(true, "Importing " + QString::fromStdString(request.document.filename().string()) + "…");
  QPointer<QSSiteImportSheet> self(this);
  // Decoding, exporting and git take a moment: a thread of their own; the outcome comes back.
  QThread* worker = QThread::create([self, request, git] {
    ImportOutcome outcome;
    try {
      QSSiteImportResult imported = importSiteDocument(request);
      outcome.folder = QString::fromStdString(imported.folder.string());
      if (git) QSGitService::initializeRepository(imported.folder, kInitialCommit);
    } catch (const std::exception& e) {
      outcome.error = QString::fromUtf8(e.what());
    }
    backOnGui(self, [outcome](QSSiteImportSheet& sheet) {
      if (!outcome.error.isEmpty()) return sheet.fail(outcome.error);
      sheet.addToServices(outcome.folder);
    });
  });
  connect(worker, &QThread::finished, worker, &QObject::deleteLater);
  worker->start();
}

void QSSiteImportSheet::addToServices(const QString& folder) {
  showMessage(message_, "Adding " + folderLabel(folder.toStdString()) + " to Quayside…", false);
  QPointer<QSSiteImportSheet> self(this);
  // The model takes the new project in with the answer, so it can be selected right away.
  model_.addProject(folder, [self, folder](const QString& error) {
    if (!error.isEmpty()) {
      // The folder is this import's own: left behind, it would block the next try's name.
      std::error_code ignored;
      fs::remove_all(folder.toStdString(), ignored);
      if (self) self->fail(error + " The new folder was removed again.");
      return;
    }
    if (!self) return;
    self->busy_ = false;
    for (const QSProject& project : self->model_.projects())
      if (project.path == fs::path(folder.toStdString())) emit self->imported(project.id);
    self->accept();
  });
}

}  // namespace qs
