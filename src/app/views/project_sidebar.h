// The list of projects on the left of the main window: each with its state dot, name and URL.
#pragma once

#include "core/models/project.h"

#include <QWidget>

#include <optional>
#include <set>

class QListWidget;
class QListWidgetItem;
class QMenu;

namespace qs {

class QSAppViewModel;

class QSProjectSidebar : public QWidget {
  Q_OBJECT
public:
  QSProjectSidebar(QSAppViewModel& model, QWidget* parent = nullptr);

  std::optional<QSUUID> selectedProject() const;
  void selectProject(const QSUUID& id);
  QListWidget* list() const { return list_; }
  // The menu a right click on the project's row opens (the caller owns it).
  QMenu* contextMenu(const QSUUID& id);

signals:
  void selectionChanged();
  void openInEditorRequested(const QSUUID& id);
  void openInTerminalRequested(const QSUUID& id);

private:
  void rebuild();
  void refreshItem(QListWidgetItem* item);

  QSAppViewModel& model_;
  QListWidget* list_;
  std::set<QSUUID> followed_;
};

}  // namespace qs
