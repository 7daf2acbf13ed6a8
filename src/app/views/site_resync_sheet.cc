#include "app/views/site_resync_sheet.h"

#include "app/shell/gui_thread.h"
#include "app/site/pages_decoding.h"
#include "app/site/site_error.h"
#include "app/viewmodels/app_view_model.h"
#include "app/views/site_import_sheet.h"
#include "app/views/view_style.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <map>
#include <stdexcept>

namespace qs {

namespace fs = std::filesystem;

// A plan as the sheet shows it: the core's plan with the document it came from, and one row per
// file that changes (design files whose bytes stay the same are only counted).
struct QSSiteResyncSheet::PlanView {
  struct Row {
    QString change;
    QString path;
    bool conflict = false;
    bool removal = false;  // a conflict whose file the design no longer has
  };
  QSResyncPlan plan;
  QSPagesProject document;
  fs::path documentPath;
  std::vector<Row> rows;
  int updates = 0, additions = 0, removals = 0, conflicts = 0, unchanged = 0;
};

namespace {

bool contains(const std::vector<std::string>& list, const std::string& item) {
  return std::binary_search(list.begin(), list.end(), item);
}

QString displayPath(const fs::path& path) {
  std::string text = path.string(), home = QSPaths::home().string();
  if (!home.empty() && text.rfind(home + "/", 0) == 0) return QString::fromStdString("~" + text.substr(home.size()));
  return QString::fromStdString(text);
}

QString fromView(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString count(int n, const char* one, const char* many) { return QString("%1 %2").arg(n).arg(n == 1 ? one : many); }

// Whether the project still is what the plan was made from.
bool samePlan(const QSResyncPlan& a, const QSResyncPlan& b) {
  return a.conflicts == b.conflicts && a.unownedConflicts == b.unownedConflicts && a.designUpdates == b.designUpdates &&
         a.prunes == b.prunes && a.scaffoldAdditions == b.scaffoldAdditions && a.refused == b.refused;
}

using PlanView = QSSiteResyncSheet::PlanView;

std::shared_ptr<const PlanView> makeView(QSResyncPlan plan, QSPagesProject document, fs::path documentPath) {
  auto view = std::make_shared<PlanView>();
  std::vector<PlanView::Row> conflicts, changes;
  for (const auto& path : plan.designUpdates) {
    QString shown = QString::fromStdString(path);
    if (contains(plan.conflicts, path)) {
      conflicts.push_back({"Edited since the last export", shown, true, false});
      continue;
    }
    if (contains(plan.unownedConflicts, path)) {
      conflicts.push_back({"Your own file; the design now has one here", shown, true, false});
      continue;
    }
    const ExportedFile* file = nullptr;
    for (const auto& f : plan.exported.files)
      if (f.relativePath == path) file = &f;
    auto onDisk = readFileIfPresent(plan.directory / path);
    if (!onDisk) {
      changes.push_back({"Add", shown});
      ++view->additions;
    } else if (!file || *onDisk != file->content) {
      changes.push_back({"Update", shown});
      ++view->updates;
    } else {
      ++view->unchanged;
    }
  }
  for (const auto& path : plan.prunes) {
    QString shown = QString::fromStdString(path);
    if (contains(plan.conflicts, path)) {
      conflicts.push_back({"Edited since the last export; gone from the design", shown, true, true});
    } else {
      changes.push_back({"Remove", shown});
      ++view->removals;
    }
  }
  for (const auto& path : plan.scaffoldAdditions) {
    changes.push_back({"Add (missing scaffold file)", QString::fromStdString(path)});
    ++view->additions;
  }
  for (const auto& path : plan.refused) changes.push_back({"Refused: outside the project", QString::fromStdString(path)});
  view->conflicts = static_cast<int>(conflicts.size());
  view->rows = std::move(conflicts);
  view->rows.insert(view->rows.end(), changes.begin(), changes.end());
  view->plan = std::move(plan);
  view->document = std::move(document);
  view->documentPath = std::move(documentPath);
  return view;
}

QString reportText(const QSResyncReport& report) {
  QStringList parts;
  auto add = [&](std::size_t n, const char* one, const char* many) {
    if (n) parts << count(static_cast<int>(n), one, many);
  };
  add(report.updated.size(), "file written", "files written");
  add(report.scaffoldAdded.size(), "scaffold file added", "scaffold files added");
  add(report.pruned.size(), "file removed", "files removed");
  add(report.skippedConflicts.size() + report.keptUnowned.size(), "edited file kept", "edited files kept");
  add(report.overwrittenConflicts.size() + report.overwrittenUnowned.size(), "edited file overwritten",
      "edited files overwritten");
  add(report.refused.size(), "path refused", "paths refused");
  return "Re-synced: " + (parts.isEmpty() ? QString("nothing to change") : parts.join(", ")) + ".";
}

}  // namespace

QSSiteResyncSheet::QSSiteResyncSheet(QSAppViewModel& model, QSUUID projectID, QWidget* parent)
    : QDialog(parent),
      model_(model),
      projectID_(projectID),
      document_(new QLineEdit(this)),
      choose_(new QPushButton("Choose…", this)),
      summary_(new QLabel(this)),
      table_(new QTableWidget(0, 3, this)),
      keepAll_(new QPushButton("Keep My Edits", this)),
      overwriteAll_(new QPushButton("Overwrite All", this)),
      structural_(new QLabel(this)),
      follow_(new QCheckBox(this)),
      progress_(new QProgressBar(this)),
      message_(makeMessageLabel(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Cancel, this)) {
  const QSProject* project = model.project(projectID);
  QString name = project ? QString::fromStdString(project->name) : "project";
  if (project) folder_ = project->path;
  setWindowTitle("Re-sync " + name + " from Site Document");
  setWindowModality(Qt::WindowModal);
  auto* intro = new QLabel("Brings the document's design changes into " + name +
                               ". Your code (Package.swift, configure.swift, routes.swift and your own files) is "
                               "left alone; generated files you edited are listed as conflicts for you to decide.",
                           this);
  intro->setWordWrap(true);
  document_->setPlaceholderText("the updated .brp document");
  summary_->setWordWrap(true);
  table_->setHorizontalHeaderLabels({"Change", "File", "Your choice"});
  table_->horizontalHeader()->setSectionResizeMode(changeColumn, QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setSectionResizeMode(fileColumn, QHeaderView::Stretch);
  table_->horizontalHeader()->setSectionResizeMode(choiceColumn, QHeaderView::ResizeToContents);
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionMode(QAbstractItemView::NoSelection);
  table_->setWordWrap(false);
  structural_->setWordWrap(true);
  structural_->setTextFormat(Qt::RichText);
  structural_->setStyleSheet("background: #fff4d6; color: #5c4400; padding: 6px; border-radius: 4px;");
  structural_->hide();
  follow_->hide();
  progress_->hide();
  apply_ = buttons_->addButton("Apply", QDialogButtonBox::AcceptRole);
  apply_->setDefault(true);

  auto* documentRow = new QHBoxLayout;
  documentRow->addWidget(new QLabel("Document:", this));
  documentRow->addWidget(document_, 1);
  documentRow->addWidget(choose_);
  auto* choiceRow = new QHBoxLayout;
  choiceRow->addWidget(summary_, 1);
  choiceRow->addWidget(keepAll_);
  choiceRow->addWidget(overwriteAll_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(intro);
  layout->addLayout(documentRow);
  layout->addLayout(choiceRow);
  layout->addWidget(table_, 1);
  layout->addWidget(structural_);
  layout->addWidget(follow_);
  layout->addWidget(progress_);
  layout->addWidget(message_);
  layout->addWidget(buttons_);
  resize(760, 440);

  connect(choose_, &QPushButton::clicked, this, [this] {
    QString start = document_->text().isEmpty() ? QString::fromStdString(QSPaths::home().string())
                                                : QFileInfo(document_->text()).absolutePath();
    QString chosen =
        QFileDialog::getOpenFileName(this, "Choose the updated site document", start, QSSiteImportSheet::documentFilter);
    if (!chosen.isEmpty()) setDocument(chosen);
  });
  connect(document_, &QLineEdit::editingFinished, this, [this] {
    if (!plan_ || QString::fromStdString(plan_->documentPath.string()) != document_->text().trimmed()) plan();
  });
  connect(keepAll_, &QPushButton::clicked, this, [this] { chooseAll(true); });
  connect(overwriteAll_, &QPushButton::clicked, this, [this] { chooseAll(false); });
  connect(apply_, &QPushButton::clicked, this, &QSSiteResyncSheet::apply);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QSSiteResyncSheet::cancel);

  setBusy(false);
  auto manifest = folder_.empty() ? std::nullopt : QSSyncManifest::read(folder_);
  if (!manifest) {
    choose_->setEnabled(false);
    document_->setEnabled(false);
    showMessage(message_, QString::fromStdString(QSSiteError(siteError::NotASyncedProject{}).message()), true);
    return;
  }
  if (manifest->sourceBrpBookmark) followed_ = QSSyncManifest::bookmarkedPath(*manifest->sourceBrpBookmark);
  if (followed_ && fileExists(*followed_)) {
    setDocument(QString::fromStdString(followed_->string()));
  } else {
    showMessage(message_,
                QString::fromStdString(QSSiteError(siteError::SourceDocumentMissing{}).message()) +
                    " Choose the document to re-sync from.",
                true);
  }
}

QSSiteResyncSheet::~QSSiteResyncSheet() {
  // An apply still running stops before anything is put in place.
  if (cancelRequested_) cancelRequested_->store(true);
}

QPushButton* QSSiteResyncSheet::cancelButton() const { return buttons_->button(QDialogButtonBox::Cancel); }

QComboBox* QSSiteResyncSheet::choiceFor(const QString& path) const {
  for (int row = 0; row < table_->rowCount(); ++row)
    if (table_->item(row, fileColumn)->text() == path)
      return qobject_cast<QComboBox*>(table_->cellWidget(row, choiceColumn));
  return nullptr;
}

void QSSiteResyncSheet::setDocument(const QString& path) {
  document_->setText(path);
  plan();
}

void QSSiteResyncSheet::setBusy(bool busy) {
  busy_ = busy;
  bool planned = plan_ != nullptr && !busy && !applied_;
  apply_->setEnabled(planned);
  keepAll_->setEnabled(planned && plan_->conflicts > 0);
  overwriteAll_->setEnabled(planned && plan_->conflicts > 0);
  choose_->setEnabled(!busy && !applying_);
  document_->setEnabled(!busy && !applying_);
  follow_->setEnabled(!busy);
  for (int row = 0; row < table_->rowCount(); ++row)
    if (QWidget* choice = table_->cellWidget(row, choiceColumn)) choice->setEnabled(!busy && !applied_);
}

void QSSiteResyncSheet::plan() {
  QString text = document_->text().trimmed();
  if (text.isEmpty()) return;
  fs::path document = fs::absolute(text.toStdString()).lexically_normal();
  int generation = ++generation_;
  plan_.reset();
  applied_ = false;
  table_->setRowCount(0);
  structural_->hide();
  summary_->setText("Making the plan (nothing is changed yet)…");
  showMessage(message_, "", false);
  setBusy(true);
  QPointer<QSSiteResyncSheet> self(this);
  fs::path folder = folder_;
  QThread* worker = QThread::create([self, document, folder, generation] {
    std::shared_ptr<const PlanView> view;
    QString error;
    try {
      if (!fileExists(document)) throw std::runtime_error("No document at " + document.string() + ".");
      QSPagesProject decoded = readPagesDocument(document);
      view = makeView(planResync(decoded, folder), decoded, document);
    } catch (const std::exception& e) {
      error = QString::fromUtf8(e.what());
    }
    backOnGui(self, [view, error, generation](QSSiteResyncSheet& sheet) {
      if (generation != sheet.generation_) return;
      if (!error.isEmpty()) {
        sheet.summary_->setText("");
        sheet.setBusy(false);
        return showMessage(sheet.message_, error, true);
      }
      sheet.showPlan(view);
    });
  });
  connect(worker, &QThread::finished, worker, &QObject::deleteLater);
  worker->start();
}

void QSSiteResyncSheet::showPlan(std::shared_ptr<const PlanView> view) {
  // Choices made on the plan before stay with their files.
  std::map<QString, int> earlier;
  for (int row = 0; row < table_->rowCount(); ++row)
    if (auto* box = qobject_cast<QComboBox*>(table_->cellWidget(row, choiceColumn)))
      earlier[table_->item(row, fileColumn)->text()] = box->currentIndex();
  plan_ = view;
  table_->setRowCount(0);
  for (const auto& r : view->rows) {
    int row = table_->rowCount();
    table_->insertRow(row);
    auto* change = new QTableWidgetItem(r.change);
    if (r.conflict) change->setForeground(QColor("#b35900"));
    table_->setItem(row, changeColumn, change);
    auto* file = new QTableWidgetItem(r.path);
    file->setToolTip(QString::fromStdString((view->plan.directory / r.path.toStdString()).string()));
    table_->setItem(row, fileColumn, file);
    table_->setItem(row, choiceColumn, new QTableWidgetItem());
    if (r.conflict) {
      auto* box = new QComboBox(table_);
      box->addItem(keepMineText, static_cast<int>(QSResyncPolicy::keepConflicts));
      box->addItem(r.removal ? "Remove" : overwriteText, static_cast<int>(QSResyncPolicy::overwriteConflicts));
      if (auto it = earlier.find(r.path); it != earlier.end()) box->setCurrentIndex(it->second);
      table_->setCellWidget(row, choiceColumn, box);
    }
  }
  table_->resizeRowsToContents();
  QStringList parts{count(view->updates, "file to update", "files to update"), QString("%1 to add").arg(view->additions),
                    QString("%1 to remove").arg(view->removals), count(view->conflicts, "conflict", "conflicts")};
  summary_->setText("<b>Plan:</b> " + parts.join(", ") + QString("; %1 unchanged.").arg(view->unchanged));
  if (view->plan.structuralChangeNeeded) {
    structural_->setText("<b>" + fromView(QSResyncTexts::structuralTitle) + "</b><br>" +
                         fromView(QSResyncTexts::structuralBefore).toHtmlEscaped());
    structural_->show();
  }
  bool other = !followed_ || *followed_ != view->documentPath;
  follow_->setText("Re-sync from " + displayPath(view->documentPath) + " from now on (instead of " +
                   (followed_ ? displayPath(*followed_) : QString("no document")) + ")");
  follow_->setVisible(other);
  follow_->setChecked(other && !(followed_ && fileExists(*followed_)));
  setBusy(false);
}

void QSSiteResyncSheet::chooseAll(bool keep) {
  for (int row = 0; row < table_->rowCount(); ++row)
    if (auto* box = qobject_cast<QComboBox*>(table_->cellWidget(row, choiceColumn))) box->setCurrentIndex(keep ? 0 : 1);
}

void QSSiteResyncSheet::apply() {
  if (!plan_ || busy_ || applied_) return;
  QSResyncApplyOptions options;
  for (int row = 0; row < table_->rowCount(); ++row)
    if (auto* box = qobject_cast<QComboBox*>(table_->cellWidget(row, choiceColumn)))
      options.choices[table_->item(row, fileColumn)->text().toStdString()] =
          static_cast<QSResyncPolicy>(box->currentData().toInt());
  bool follow = follow_->isVisible() && follow_->isChecked();
  auto cancelRequested = std::make_shared<std::atomic<bool>>(false);
  cancelRequested_ = cancelRequested;
  applying_ = true;
  setBusy(true);
  progress_->setRange(0, 0);
  progress_->show();
  showMessage(message_, "Applying the plan…", false);
  QPointer<QSSiteResyncSheet> self(this);
  std::shared_ptr<const PlanView> view = plan_;
  options.progress = [self, cancelRequested](std::size_t done, std::size_t total) {
    backOnGui(self, [done, total](QSSiteResyncSheet& sheet) {
      sheet.progress_->setRange(0, static_cast<int>(total));
      sheet.progress_->setValue(static_cast<int>(done));
    });
    return !cancelRequested->load();
  };
  QThread* worker = QThread::create([self, view, options, follow] {
    QSResyncReport report;
    QString error;
    std::shared_ptr<const PlanView> replan;
    try {
      // Files edited since the dry run would change the plan: then the new one is shown instead.
      QSResyncPlan now = planResync(view->document, view->plan.directory);
      if (!samePlan(now, view->plan)) {
        replan = makeView(std::move(now), view->document, view->documentPath);
      } else {
        QSResyncPlan plan = view->plan;
        if (follow) plan.sourceBrpBookmark = QSSyncManifest::bookmark(view->documentPath);
        report = applyResync(plan, QSResyncPolicy::keepConflicts, options);
      }
    } catch (const std::exception& e) {
      error = QString::fromUtf8(e.what());
    }
    backOnGui(self, [report, error, replan](QSSiteResyncSheet& sheet) {
      sheet.applied(report, error, replan != nullptr, replan);
    });
  });
  connect(worker, &QThread::finished, worker, &QObject::deleteLater);
  worker->start();
}

void QSSiteResyncSheet::applied(const QSResyncReport& report, const QString& error, bool planChanged,
                                std::shared_ptr<const PlanView> replan) {
  applying_ = false;
  cancelRequested_.reset();
  progress_->hide();
  if (planChanged) {
    showPlan(replan);
    return showMessage(message_,
                       "Files of the project changed since the plan was made, so nothing was written. This is the "
                       "plan now: check it and apply again.",
                       true);
  }
  if (!error.isEmpty()) {
    setBusy(false);
    return showMessage(message_, error, true);
  }
  if (report.cancelled) {
    setBusy(false);
    return showMessage(message_, "Re-sync cancelled; nothing in the project changed.", false);
  }
  applied_ = true;
  if (follow_->isVisible() && follow_->isChecked() && plan_) followed_ = plan_->documentPath;
  setBusy(false);
  QString text = reportText(report);
  if (report.structuralChangeNeeded) text += "\n" + fromView(QSResyncTexts::structuralAfter);
  showMessage(message_, text, false);
  cancelButton()->setText("Done");
  emit resynced();
}

void QSSiteResyncSheet::cancel() {
  if (applying_) {
    if (cancelRequested_) cancelRequested_->store(true);
    showMessage(message_, "Cancelling…", false);
    return;
  }
  QDialog::reject();
}

void QSSiteResyncSheet::reject() { cancel(); }

}  // namespace qs
