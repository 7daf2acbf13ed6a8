#include "app/shell/editor_launcher.h"

#include "core/platform/files.h"
#include "core/platform/process_runner.h"
#include "core/platform/settings.h"

namespace qs {

QSEditorApp QSEditorLauncher::preferred() const {
  if (auto chosen = QSEditorApps::fromRawValue(settings_.stringValue("qs.preferredEditor"))) return *chosen;
  return QSEditorApps::isInstalled(QSEditorApp::brindleEditor) ? QSEditorApp::brindleEditor
                                                               : QSEditorApp::systemDefault;
}

QSLaunchResult QSEditorLauncher::open(const std::filesystem::path& projectFolder) const {
  if (!isDirectory(projectFolder))
    throw QSLaunchError("The project's folder " + projectFolder.string() + " doesn't exist any more.");
  QSEditorApp editor = preferred();
  QSLaunchResult result;
  if (editor != QSEditorApp::systemDefault) {
    if (auto line = QSEditorApps::commandLine(editor, projectFolder)) {
      result.commandLine = *line;
      result.application = QSEditorApps::displayName(editor);
      launchDetached(result.commandLine);
      return result;
    }
    result.notice = std::string(QSEditorApps::displayName(editor)) +
                    " isn't installed, so the project opened with the default application. Choose another editor "
                    "in Settings.";
  }
  std::filesystem::path manifest = projectFolder / "Package.swift";
  std::optional<std::filesystem::path> opener = findExecutable("xdg-open");
  if (!opener)
    throw QSLaunchError("Nothing can open the project: xdg-open (from xdg-utils) isn't installed, and neither is "
                        "the chosen editor. Install one of them, or choose an installed editor in Settings.");
  result.commandLine = {opener->string(), (fileExists(manifest) ? manifest : projectFolder).string()};
  result.application = "the default application";
  launchDetached(result.commandLine);
  return result;
}

}  // namespace qs
