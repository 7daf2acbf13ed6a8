#include "app/views/view_style.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPainter>
#include <QPen>
#include <QPixmap>

// Outside any namespace, as Q_INIT_RESOURCE requires.
static void registerViewResources() { Q_INIT_RESOURCE(resources); }

namespace qs {

QColor stateColor(QSServerStatus status) {
  switch (status) {
    case QSServerStatus::running: return QColor(0x2e, 0xa0, 0x43);
    case QSServerStatus::error: return QColor(0xd0, 0x3b, 0x2f);
    case QSServerStatus::stopped: return QColor(0x9a, 0xa0, 0xa6);
    default: return QColor(0xe6, 0x9b, 0x1e);
  }
}

QColor stateColor(QSDatabaseStatus status) {
  switch (status) {
    case QSDatabaseStatus::running: return stateColor(QSServerStatus::running);
    case QSDatabaseStatus::error: return stateColor(QSServerStatus::error);
    case QSDatabaseStatus::stopped: return stateColor(QSServerStatus::stopped);
    default: return stateColor(QSServerStatus::building);
  }
}

QString stateText(QSServerStatus status) {
  switch (status) {
    case QSServerStatus::stopped: return "Stopped";
    case QSServerStatus::starting: return "Starting…";
    case QSServerStatus::building: return "Building…";
    case QSServerStatus::running: return "Running";
    case QSServerStatus::stopping: return "Stopping…";
    case QSServerStatus::error: return "Error";
  }
  return {};
}

QString stateText(QSDatabaseStatus status) {
  switch (status) {
    case QSDatabaseStatus::stopped: return "Stopped";
    case QSDatabaseStatus::starting: return "Starting…";
    case QSDatabaseStatus::running: return "Running";
    case QSDatabaseStatus::stopping: return "Stopping…";
    case QSDatabaseStatus::error: return "Error";
  }
  return {};
}

QIcon dotIcon(const QColor& color, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  // A light ring keeps the dot readable on a selected (coloured) row too.
  painter.setPen(QPen(QColor(255, 255, 255, 220), 1.5));
  painter.setBrush(color);
  painter.drawEllipse(QRectF(1, 1, size - 2, size - 2));
  painter.end();
  // Unchanged on a selected row: the style would blend it with the selection colour.
  QIcon icon(pixmap);
  icon.addPixmap(pixmap, QIcon::Selected);
  return icon;
}

QIcon appIcon() {
  // The resources of a static library are registered by hand, once.
  static const bool registered = [] {
    registerViewResources();
    return true;
  }();
  (void)registered;
  return QIcon(":/icons/app.brindle.Quayside.svg");
}

QLabel* makeMessageLabel(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setWordWrap(true);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->hide();
  return label;
}

void showMessage(QLabel* label, const QString& text, bool isError) {
  label->setText(text);
  label->setStyleSheet(isError ? "color: #c0392b;" : "color: palette(text);");
  label->setVisible(!text.isEmpty());
}

QFont monospaceFont() { return QFontDatabase::systemFont(QFontDatabase::FixedFont); }

QString databaseTypeName(QSDatabaseType type) {
  std::string_view name = displayName(type);
  return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace qs
