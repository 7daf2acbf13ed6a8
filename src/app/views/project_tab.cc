#include "app/views/project_tab.h"

#include "app/viewmodels/app_view_model.h"
#include "app/viewmodels/server_view_model.h"
#include "app/views/view_style.h"

#include <QLabel>
#include <QPointer>

namespace qs {

QSProjectTab::QSProjectTab(QSAppViewModel& model, QWidget* parent)
    : QWidget(parent), model_(model), message_(makeMessageLabel(this)) {
  connect(&model_, &QSAppViewModel::projectsChanged, this, [this] { refresh(); });
}

void QSProjectTab::setProject(std::optional<QSUUID> id) {
  bool changed = id != projectID_;
  projectID_ = id;
  if (changed) {
    for (auto& c : serverConnections_) disconnect(c);
    serverConnections_.clear();
    showMessage(message_, "", false);
    if (QSServerViewModel* s = server()) followServer(*s);
  }
  refresh();
}

const QSProject* QSProjectTab::project() const { return projectID_ ? model_.project(*projectID_) : nullptr; }

QSServerViewModel* QSProjectTab::server() const {
  return project() ? model_.serverViewModel(*projectID_) : nullptr;
}

std::function<void(const QString&)> QSProjectTab::reportTo() {
  QPointer<QSProjectTab> self(this);
  return [self](const QString& error) {
    if (self) self->report(error, !error.isEmpty());
  };
}

void QSProjectTab::report(const QString& text, bool isError) { showMessage(message_, text, isError); }

}  // namespace qs
