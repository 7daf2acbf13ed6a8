// A project's Overview tab: the server's state and build progress, port, toolchain, addresses,
// Start/Stop/Restart, package updates and auto-start.
#pragma once

#include "app/views/project_tab.h"
#include "core/models/toolchain.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace qs {

class QSOverviewTab : public QSProjectTab {
  Q_OBJECT
public:
  QSOverviewTab(QSAppViewModel& model, QWidget* parent = nullptr);

  QPushButton* startButton() const { return start_; }
  QPushButton* stopButton() const { return stop_; }
  QPushButton* restartButton() const { return restart_; }
  QPushButton* updatePackagesButton() const { return updatePackages_; }
  QLabel* stateLabel() const { return state_; }
  QLabel* packageStatusLabel() const { return packageStatus_; }
  QComboBox* toolchainBox() const { return toolchain_; }
  QCheckBox* autoStartBox() const { return autoStart_; }

protected:
  void refresh() override;
  void followServer(QSServerViewModel& server) override;

private:
  QWidget* makeButtons();
  void refreshServer();
  void refreshPackages();
  void loadToolchains();
  void pinToolchain(int index);
  void runPackageUpdate();

  QLabel* title_;
  QLabel* path_;
  QLabel* stateDot_;
  QLabel* state_;
  QLabel* build_;
  QLabel* port_;
  QLabel* urls_;
  QComboBox* toolchain_;
  QPushButton* start_;
  QPushButton* stop_;
  QPushButton* restart_;
  QPushButton* updatePackages_;
  QPushButton* cancelPackages_;
  QLabel* packageStatus_;
  QCheckBox* autoStart_;
  std::vector<QSToolchain> toolchains_;
};

}  // namespace qs
