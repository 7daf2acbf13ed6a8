// The app's ways of handing a project to other applications: its folder to the preferred
// editor, a shell in its folder or a database console to the preferred terminal. Each returns
// the line the calling view shows: what opened where, the fallback that was taken, or why
// nothing could open.
#pragma once

#include <QString>

namespace qs {

class QSSettings;
struct QSDatabase;
struct QSProject;

struct QSLaunchReport {
  QString text;
  bool isError = false;
};

QSLaunchReport openInEditor(const QSSettings& settings, const QSProject& project);
QSLaunchReport openInTerminal(const QSSettings& settings, const QSProject& project);
// Runs `command` (the database's console line) in the preferred terminal.
QSLaunchReport openDatabaseConsole(const QSSettings& settings, const QSDatabase& database, const QString& command);

}  // namespace qs
