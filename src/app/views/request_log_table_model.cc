#include "app/views/request_log_table_model.h"

#include "app/viewmodels/server_view_model.h"

#include <QBrush>
#include <QDateTime>
#include <QTimer>

namespace qs {
namespace {

QColor categoryColor(QSStatusCategory category) {
  switch (category) {
    case QSStatusCategory::success: return QColor(0x2e, 0x8b, 0x3e);
    case QSStatusCategory::redirect: return QColor(0x1f, 0x6f, 0xb2);
    case QSStatusCategory::clientError: return QColor(0xc2, 0x7c, 0x0e);
    case QSStatusCategory::serverError: return QColor(0xc0, 0x39, 0x2b);
    case QSStatusCategory::unknown: break;
  }
  return QColor(0x80, 0x80, 0x80);
}

QString sizeText(std::optional<std::int64_t> size) {
  if (!size) return "—";
  if (*size < 1024) return QString("%1 B").arg(*size);
  if (*size < 1024 * 1024) return QString("%1 KB").arg(*size / 1024.0, 0, 'f', 1);
  return QString("%1 MB").arg(*size / (1024.0 * 1024.0), 0, 'f', 1);
}

}  // namespace

QSRequestLogTableModel::QSRequestLogTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void QSRequestLogTableModel::setServer(QSServerViewModel* server) {
  beginResetModel();
  disconnect(connection_);
  server_ = server;
  if (server) connection_ = connect(server, &QSServerViewModel::logsChanged, this, &QSRequestLogTableModel::scheduleReset);
  endResetModel();
}

// A burst of requests costs one reset per event-loop turn.
void QSRequestLogTableModel::scheduleReset() {
  if (resetPending_) return;
  resetPending_ = true;
  QTimer::singleShot(0, this, [this] {
    resetPending_ = false;
    beginResetModel();
    endResetModel();
  });
}

int QSRequestLogTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || !server_ ? 0 : static_cast<int>(server_->logs().size());
}

int QSRequestLogTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columnCount_; }

QVariant QSRequestLogTableModel::data(const QModelIndex& index, int role) const {
  if (!server_ || index.row() >= static_cast<int>(server_->logs().size())) return {};
  const QSLogEntry& e = server_->logs()[static_cast<std::size_t>(index.row())];
  bool raw = role == Qt::UserRole;
  if (role == Qt::ForegroundRole && index.column() == statusColumn) return QBrush(categoryColor(e.statusCategory()));
  if (role == Qt::TextAlignmentRole && index.column() >= statusColumn && index.column() <= sizeColumn)
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  if (role != Qt::DisplayRole && !raw) return {};
  switch (index.column()) {
    case timeColumn: {
      auto ms = e.timestamp.time_since_epoch().count();
      if (raw) return QVariant::fromValue<qint64>(ms);
      return QDateTime::fromMSecsSinceEpoch(ms).toString("HH:mm:ss.zzz");
    }
    case methodColumn: return QString::fromUtf8(rawValue(e.method).data(), static_cast<qsizetype>(rawValue(e.method).size()));
    case pathColumn: return QString::fromStdString(e.path);
    case statusColumn: return raw ? QVariant(e.statusCode) : QVariant(e.statusCode ? QString::number(e.statusCode) : "—");
    case durationColumn:
      if (raw) return e.duration;
      // A console line says nothing of how long its request took.
      if (e.duration == 0 && e.source != QSLogSource::proxy) return "—";
      return QString("%1 ms").arg(e.duration * 1000.0, 0, 'f', 1);
    case sizeColumn: return raw ? QVariant::fromValue<qint64>(e.responseSize.value_or(-1)) : QVariant(sizeText(e.responseSize));
    case sourceColumn: return e.source == QSLogSource::proxy ? "proxy" : "console";
  }
  return {};
}

QVariant QSRequestLogTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* titles[] = {"Time", "Method", "Path", "Status", "Duration", "Size", "Source"};
  return section >= 0 && section < columnCount_ ? titles[section] : QVariant();
}

}  // namespace qs
