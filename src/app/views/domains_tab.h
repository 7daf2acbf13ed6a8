// A project's Domains tab: its .test name with HTTPS, and the machine-wide .test routing with
// the warning when another program holds port 80 or 443.
#pragma once

#include "app/views/project_tab.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qs {

class QSDomainsTab : public QSProjectTab {
  Q_OBJECT
public:
  QSDomainsTab(QSAppViewModel& model, QWidget* parent = nullptr);

  QLineEdit* hostnameEdit() const { return hostname_; }
  QCheckBox* httpsBox() const { return https_; }
  QPushButton* saveButton() const { return save_; }
  QPushButton* removeButton() const { return remove_; }
  QPushButton* routingButton() const { return routing_; }
  QLabel* routingLabel() const { return routingState_; }
  QLabel* conflictLabel() const { return conflict_; }

protected:
  void refresh() override;

private:
  void saveDomain();
  void toggleRouting();

  QLabel* current_;
  QLineEdit* hostname_;
  QCheckBox* https_;
  QPushButton* save_;
  QPushButton* remove_;
  QLabel* routingState_;
  QPushButton* routing_;
  QLabel* conflict_;
};

}  // namespace qs
