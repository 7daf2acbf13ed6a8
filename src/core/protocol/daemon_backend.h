// The daemon server's view of the engine: requests in, results out, and one stream of events.
#pragma once

#include "core/platform/async_queue.h"
#include "core/protocol/daemon_command.h"
#include "core/protocol/daemon_result.h"
#include "core/protocol/event.h"

#include <asio/awaitable.hpp>

#include <optional>
#include <string>

namespace qs {

class QSDaemonBackend {
public:
  virtual ~QSDaemonBackend() = default;
  // Runs one command. Never throws: failures come back as a `failure` result.
  virtual asio::awaitable<QSDaemonResult> handle(QSDaemonCommand command) = 0;
  // The compact JSON text of the result handle(command) would give, for the commands whose
  // answers the backend keeps encoded; nothing for the others (and whenever it cannot say), which
  // then go to handle(). Never throws.
  virtual asio::awaitable<std::optional<std::string>> encodedResult(const QSDaemonCommand&) { co_return std::nullopt; }
  // The single stream of events; its one consumer fans them out to subscribers.
  virtual QSAsyncQueue<QSEvent>& eventStream() = 0;
};

}  // namespace qs
