// The request log of one project as a table: time, method, path, status, duration, size and
// source. Sortable through a QSortFilterProxyModel on Qt::UserRole (the raw value).
#pragma once

#include <QAbstractTableModel>
#include <QPointer>

namespace qs {

class QSServerViewModel;

class QSRequestLogTableModel : public QAbstractTableModel {
  Q_OBJECT
public:
  enum Column { timeColumn, methodColumn, pathColumn, statusColumn, durationColumn, sizeColumn, sourceColumn, columnCount_ };

  explicit QSRequestLogTableModel(QObject* parent = nullptr);

  // Shows `server`'s log (nothing: empty), following its changes.
  void setServer(QSServerViewModel* server);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
  void scheduleReset();

  QPointer<QSServerViewModel> server_;
  QMetaObject::Connection connection_;
  bool resetPending_ = false;
};

}  // namespace qs
