#include "app/views/launch_actions.h"

#include "app/shell/editor_launcher.h"
#include "app/shell/terminal_launcher.h"
#include "core/models/database.h"
#include "core/models/project.h"

namespace qs {
namespace {

template <class Launch>
QSLaunchReport reported(const QString& subject, Launch launch) {
  try {
    QSLaunchResult result = launch();
    if (!result.notice.empty()) return {QString::fromStdString(result.notice), false};
    return {QString("Opened %1 in %2.").arg(subject, QString::fromStdString(result.application)), false};
  } catch (const std::exception& e) {
    return {QString("Couldn't open %1: %2").arg(subject, QString::fromUtf8(e.what())), true};
  }
}

}  // namespace

QSLaunchReport openInEditor(const QSSettings& settings, const QSProject& project) {
  QString name = QString::fromStdString(project.name);
  return reported(name, [&] { return QSEditorLauncher(settings).open(project.path); });
}

QSLaunchReport openInTerminal(const QSSettings& settings, const QSProject& project) {
  return reported("a shell in " + QString::fromStdString(project.name), [&] {
    return QSTerminalLauncher(settings).run(QSTerminalLauncher::shellCommand(project.path), project.name);
  });
}

QSLaunchReport openDatabaseConsole(const QSSettings& settings, const QSDatabase& database, const QString& command) {
  return reported("the console of " + QString::fromStdString(database.name), [&] {
    return QSTerminalLauncher(settings).run(command.toStdString(), database.name + " console");
  });
}

}  // namespace qs
