// The GUI thread's handle on a service endpoint: sends commands to it on the service loop and
// brings the replies and events back to the GUI thread as queued calls.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

namespace qs {

class QSServiceEndpoint;
class QSServiceLoop;
struct QSDaemonCommand;
struct QSDaemonResult;
struct QSEvent;

class QSServiceChannel : public QObject {
  Q_OBJECT
public:
  using Reply = std::function<void(const QSDaemonResult&)>;

  // `endpoint` lives on `loop`, which must outlive the channel.
  QSServiceChannel(QSServiceLoop& loop, std::shared_ptr<QSServiceEndpoint> endpoint, QObject* parent = nullptr);
  // Closes the channel.
  ~QSServiceChannel() override;

  // Sends `command`; `reply` runs on the GUI thread with the result (a `failure` for a broken
  // connection), unless the channel was closed or destroyed meanwhile.
  void send(const QSDaemonCommand& command, Reply reply);
  // Starts delivering the endpoint's events (eventsAvailable, then takeEvents). Once only.
  void subscribe();
  // Stops delivering and closes the endpoint; `ended` is not emitted for this. Idempotent.
  void close();
  bool isClosed() const;

  // The events that arrived since the last call, oldest first. Events come in batches so that
  // a flood (a server printing thousands of lines a second) costs one queued call per batch.
  std::vector<QSEvent> takeEvents();

  // The batch shared with the service loop (service_channel.cc).
  struct Shared;

signals:
  // Events wait in takeEvents().
  void eventsAvailable();
  // The event stream ended without close(): the daemon went away.
  void ended();

private:
  QSServiceLoop& loop_;
  std::shared_ptr<QSServiceEndpoint> endpoint_;
  std::shared_ptr<Shared> shared_;
  bool subscribed_ = false;
};

}  // namespace qs
