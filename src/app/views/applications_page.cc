#include "app/views/applications_page.h"

#include "app/shell/editor_app.h"
#include "app/shell/editor_launcher.h"
#include "app/shell/terminal_app.h"
#include "app/shell/terminal_launcher.h"
#include "app/views/view_style.h"
#include "core/platform/settings.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>

#include <algorithm>

namespace qs {
namespace {

QString text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

QSApplicationsPage::QSApplicationsPage(QSSettings& settings, QWidget* parent)
    : QWidget(parent), settings_(settings), editor_(new QComboBox(this)), terminal_(new QComboBox(this)),
      message_(makeMessageLabel(this)) {
  editor_->setAccessibleName("Editor");
  terminal_->setAccessibleName("Terminal");
  auto* note = new QLabel("Open in Editor opens a project's folder in the editor; with System Default, its "
                          "Package.swift opens in the application your desktop uses for it. Open in Terminal and "
                          "database consoles open in the terminal. Only applications installed on this computer "
                          "are listed (found through their menu entries and PATH).",
                          this);
  note->setWordWrap(true);
  auto* form = new QFormLayout(this);
  form->addRow("Editor:", editor_);
  form->addRow("Terminal:", terminal_);
  form->addRow("", note);
  form->addRow("", message_);
  connect(editor_, &QComboBox::activated, this,
          [this] { store("qs.preferredEditor", editor_->currentData().toString()); });
  connect(terminal_, &QComboBox::activated, this,
          [this] { store("qs.preferredTerminal", terminal_->currentData().toString()); });
  reload();
}

void QSApplicationsPage::showEvent(QShowEvent* event) {
  reload();
  QWidget::showEvent(event);
}

void QSApplicationsPage::reload() {
  QSignalBlocker quietEditor(editor_), quietTerminal(terminal_);
  editor_->clear();
  QSEditorApp chosenEditor = QSEditorLauncher(settings_).preferred();
  std::vector<QSEditorApp> editors = QSEditorApps::installed();
  for (QSEditorApp e : editors) editor_->addItem(text(QSEditorApps::displayName(e)), text(QSEditorApps::rawValue(e)));
  // A choice that is missing here (removed, or from another computer's settings) stays visible.
  if (std::find(editors.begin(), editors.end(), chosenEditor) == editors.end())
    editor_->addItem(text(QSEditorApps::displayName(chosenEditor)) + " (not installed: the default application opens)",
                     text(QSEditorApps::rawValue(chosenEditor)));
  editor_->setCurrentIndex(editor_->findData(text(QSEditorApps::rawValue(chosenEditor))));

  terminal_->clear();
  for (QSTerminalApp t : QSTerminalApps::installed())
    terminal_->addItem(text(QSTerminalApps::displayName(t)), text(QSTerminalApps::rawValue(t)));
  std::string stored = settings_.stringValue("qs.preferredTerminal");
  auto chosenTerminal = QSTerminalApps::fromRawValue(stored);
  if (chosenTerminal && terminal_->findData(text(stored)) < 0)
    terminal_->addItem(text(QSTerminalApps::displayName(*chosenTerminal)) + " (not installed: the default opens)",
                       text(stored));
  int index = terminal_->findData(text(QSTerminalApps::rawValue(chosenTerminal.value_or(QSTerminalApp::terminal))));
  terminal_->setCurrentIndex(std::max(index, 0));
  if (terminal_->count() == 0) {
    terminal_->addItem("No terminal found", QString());
    terminal_->setEnabled(false);
  } else {
    terminal_->setEnabled(true);
  }
}

void QSApplicationsPage::store(const char* key, const QString& raw) {
  if (raw.isEmpty()) return;
  try {
    settings_.set(key, raw.toStdString());
    showMessage(message_, "", false);
  } catch (const std::exception& e) {
    showMessage(message_, QString("Couldn't save the setting: ") + e.what(), true);
  }
}

}  // namespace qs
