#include "app/views/project_sidebar.h"

#include "app/viewmodels/app_view_model.h"
#include "app/viewmodels/server_view_model.h"
#include "app/views/view_style.h"

#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QVBoxLayout>

namespace qs {
namespace {

constexpr int kIdRole = Qt::UserRole + 1;

QSUUID idOf(const QListWidgetItem* item) {
  return QSUUID::parse(item->data(kIdRole).toString().toStdString()).value_or(QSUUID());
}

}  // namespace

QSProjectSidebar::QSProjectSidebar(QSAppViewModel& model, QWidget* parent)
    : QWidget(parent), model_(model), list_(new QListWidget(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* title = new QLabel("Projects", this);
  title->setStyleSheet("font-weight: 600; padding: 6px 4px 2px 4px;");
  layout->addWidget(title);
  layout->addWidget(list_);
  list_->setIconSize(QSize(12, 12));
  list_->setSpacing(2);
  list_->setAccessibleName("Projects");
  setMinimumWidth(220);
  connect(list_, &QListWidget::currentRowChanged, this, &QSProjectSidebar::selectionChanged);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list_, &QListWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QListWidgetItem* item = list_->itemAt(at);
    if (!item) return;
    QMenu* menu = contextMenu(idOf(item));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(list_->viewport()->mapToGlobal(at));
  });
  connect(&model_, &QSAppViewModel::projectsChanged, this, &QSProjectSidebar::rebuild);
  connect(&model_, &QSAppViewModel::networkChanged, this, &QSProjectSidebar::rebuild);
  rebuild();
}

std::optional<QSUUID> QSProjectSidebar::selectedProject() const {
  const QListWidgetItem* item = list_->currentItem();
  if (!item) return std::nullopt;
  return idOf(item);
}

void QSProjectSidebar::selectProject(const QSUUID& id) {
  for (int row = 0; row < list_->count(); ++row)
    if (idOf(list_->item(row)) == id) list_->setCurrentRow(row);
}

QMenu* QSProjectSidebar::contextMenu(const QSUUID& id) {
  auto* menu = new QMenu(this);
  menu->addAction("Open in Editor", this, [this, id] { emit openInEditorRequested(id); });
  menu->addAction("Open in Terminal", this, [this, id] { emit openInTerminalRequested(id); });
  return menu;
}

void QSProjectSidebar::rebuild() {
  std::optional<QSUUID> selected = selectedProject();
  QSignalBlocker quiet(list_);
  list_->clear();
  for (const QSProject& project : model_.projects()) {
    auto* item = new QListWidgetItem(list_);
    item->setData(kIdRole, QString::fromStdString(project.id.string()));
    QSServerViewModel* server = model_.serverViewModel(project.id);
    // Each row follows its server: one connection per server model, made the first time.
    if (followed_.insert(project.id).second)
      connect(server, &QSServerViewModel::serverChanged, this, [this, id = project.id] {
        for (int row = 0; row < list_->count(); ++row)
          if (idOf(list_->item(row)) == id) refreshItem(list_->item(row));
      });
    refreshItem(item);
  }
  quiet.unblock();
  if (selected) selectProject(*selected);
  if (!list_->currentItem() && list_->count() > 0) list_->setCurrentRow(0);
  if (!selected || selectedProject() != selected) emit selectionChanged();
}

void QSProjectSidebar::refreshItem(QListWidgetItem* item) {
  const QSProject* project = model_.project(idOf(item));
  if (!project) return;
  QSServerStatus status = model_.serverViewModel(project->id)->server().status;
  item->setIcon(dotIcon(stateColor(status)));
  item->setText(QString::fromStdString(project->name) + "\n" + model_.projectURL(*project));
  item->setToolTip(stateText(status) + " — " + QString::fromStdString(project->path.string()));
}

}  // namespace qs
