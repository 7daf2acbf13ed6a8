// The daemon server's view of the engine: requests in, results out, and one stream of events.
#pragma once

#include "core/engine/async_queue.h"
#include "core/protocol/daemon_command.h"
#include "core/protocol/daemon_result.h"
#include "core/protocol/event.h"

#include <asio/awaitable.hpp>

namespace qs {

class QSDaemonBackend {
public:
  virtual ~QSDaemonBackend() = default;
  // Runs one command. Never throws: failures come back as a `failure` result.
  virtual asio::awaitable<QSDaemonResult> handle(QSDaemonCommand command) = 0;
  // The single stream of events; its one consumer fans them out to subscribers.
  virtual QSAsyncQueue<QSEvent>& eventStream() = 0;
};

}  // namespace qs
