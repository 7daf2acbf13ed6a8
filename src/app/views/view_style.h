// Colours, dots and words the windows share, so every screen shows a state the same way.
#pragma once

#include "core/models/database.h"
#include "core/models/server.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>

class QLabel;
class QWidget;

namespace qs {

// stopped (grey), building (amber: starting, building, stopping), running (green), error (red).
QColor stateColor(QSServerStatus status);
QColor stateColor(QSDatabaseStatus status);
// "Stopped", "Starting…", "Building…", "Running", "Stopping…", "Error".
QString stateText(QSServerStatus status);
QString stateText(QSDatabaseStatus status);
// A filled circle of `color`, `size` pixels wide.
QIcon dotIcon(const QColor& color, int size = 12);
// The app's icon (its own drawing).
QIcon appIcon();
// A label for messages: wraps, selectable, red for errors, hidden while empty.
QLabel* makeMessageLabel(QWidget* parent);
void showMessage(QLabel* label, const QString& text, bool isError);
// The body text size's fixed-width font for consoles and addresses.
QFont monospaceFont();
// "PostgreSQL", "MySQL", "SQLite", "Redis".
QString databaseTypeName(QSDatabaseType type);

}  // namespace qs
