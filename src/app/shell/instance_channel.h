// One app per user: the first instance holds a lock and serves a local socket in the user's
// runtime folder; a later launch hands its files (possibly none) to it and exits. The socket and
// the lock are the user's alone (mode 0600 in a folder only the user can enter).
#pragma once

#include "core/platform/unique_fd.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

namespace qs {

class QSInstanceChannel : public QObject {
  Q_OBJECT
public:
  explicit QSInstanceChannel(QObject* parent = nullptr);
  ~QSInstanceChannel() override;

  // $XDG_RUNTIME_DIR/quayside/app.socket when the runtime folder is set, else the data folder's
  // "app.socket"; the lock is "app.lock" beside it.
  static QString socketPath();
  static QString lockPath();

  // Takes the lock and serves the socket (replacing a socket a crashed instance left). False
  // when another instance holds the lock, or the socket can't be served (`error()` says why).
  bool becomePrimary();
  QString error() const { return error_; }

  // Sends the paths (made absolute) to the instance that holds the lock, waiting up to
  // `timeoutMs` for it to serve its socket and answer. True when it took them.
  static bool handOff(const QStringList& paths, int timeoutMs = 5000);

signals:
  // A later launch's files (empty: it only asked for the window).
  void filesReceived(const QStringList& paths);

private:
  void serveOne();

  UniqueFd lock_;
  QLocalServer* server_ = nullptr;
  QString error_;
};

}  // namespace qs
