// The one seam between the desktop app and whoever owns the services: the daemon reached
// through the control socket, or the engine the app runs itself. Both take the same commands
// and give the same events; the view models never know which one they have.
//
// Everything here lives on the service loop.
#pragma once

#include "core/platform/async_queue.h"
#include "core/protocol/daemon_command.h"
#include "core/protocol/daemon_result.h"
#include "core/protocol/event.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include <memory>

namespace qs {

class QSDaemonClient;
class QSEngineHost;

class QSServiceEndpoint {
public:
  virtual ~QSServiceEndpoint() = default;
  // Runs one command. Never throws: a broken connection or a reply that could not be read
  // comes back as a `failure` result.
  virtual asio::awaitable<QSDaemonResult> call(QSDaemonCommand command) = 0;
  // The stream of every event; it finishes when the connection ends (or the engine stops).
  // Throws when no stream can be had (the connection broke meanwhile).
  virtual asio::awaitable<std::shared_ptr<QSAsyncQueue<QSEvent>>> events() = 0;
  // Stops delivering: the event stream finishes, later calls fail.
  virtual void close() = 0;
};

// The daemon through a connected client.
std::shared_ptr<QSServiceEndpoint> makeDaemonEndpoint(std::shared_ptr<QSDaemonClient> client);

// The engine this process runs. `mirror` is the host's mirror stream (QSEngineHost::mirrorEvents).
std::shared_ptr<QSServiceEndpoint> makeEngineEndpoint(std::shared_ptr<QSEngineHost> host,
                                                      std::shared_ptr<QSAsyncQueue<QSEvent>> mirror);

}  // namespace qs
