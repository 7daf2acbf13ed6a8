// What every tab of a project's detail view shares: the model, the project shown, and a line
// for the outcome of the last operation started there.
#pragma once

#include "core/models/project.h"

#include <QMetaObject>
#include <QWidget>

#include <optional>
#include <vector>

class QLabel;

namespace qs {

class QSAppViewModel;
class QSServerViewModel;

class QSProjectTab : public QWidget {
  Q_OBJECT
public:
  QSProjectTab(QSAppViewModel& model, QWidget* parent = nullptr);

  // Shows `id` (nothing: no project selected) and refreshes.
  void setProject(std::optional<QSUUID> id);
  const std::optional<QSUUID>& projectID() const { return projectID_; }
  // The message line: the engine's text after a failed operation, else empty.
  QLabel* messageLabel() const { return message_; }

protected:
  // Fills the widgets from the model.
  virtual void refresh() = 0;
  // Called after the project changed, to follow its server model's signals.
  virtual void followServer(QSServerViewModel&) {}
  const QSProject* project() const;
  QSServerViewModel* server() const;
  // For operations: shows the failure (or clears the line on success).
  std::function<void(const QString&)> reportTo();
  void report(const QString& text, bool isError);

  QSAppViewModel& model_;
  // Connections to the shown project's server model, dropped when another project is shown.
  std::vector<QMetaObject::Connection> serverConnections_;

private:
  std::optional<QSUUID> projectID_;
  QLabel* message_;
};

}  // namespace qs
