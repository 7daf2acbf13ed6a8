// The Settings page that picks the editor projects open in and the terminal consoles open in,
// from those installed on this machine.
#pragma once

#include <QWidget>

class QComboBox;
class QLabel;

namespace qs {

class QSSettings;

class QSApplicationsPage : public QWidget {
  Q_OBJECT
public:
  QSApplicationsPage(QSSettings& settings, QWidget* parent = nullptr);

  QComboBox* editorBox() const { return editor_; }
  QComboBox* terminalBox() const { return terminal_; }
  // Lists what is installed now, with the current choices selected.
  void reload();

protected:
  void showEvent(QShowEvent* event) override;

private:
  void store(const char* key, const QString& raw);

  QSSettings& settings_;
  QComboBox* editor_;
  QComboBox* terminal_;
  QLabel* message_;
};

}  // namespace qs
