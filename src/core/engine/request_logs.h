// The request log of each project, for `getRequestLog`: the requests the proxy relayed and the
// request lines the servers printed, each request once, the last 500 per project. Run-time
// knowledge only, never saved.
#pragma once

#include "core/engine/engine_state.h"
#include "core/models/log_entry.h"
#include "core/protocol/event.h"
#include "core/runtime/request_log_merge.h"

#include <cstddef>
#include <map>
#include <vector>

namespace qs {

class QSRequestLogs {
public:
  static constexpr std::size_t maxRequestLogEntries = 500;

  explicit QSRequestLogs(QSEngineState& state);

  // A request the proxy relayed; published to subscribers.
  void recordRequest(QSLogEntry entry);
  // A server's console line that reports a request joins the request log.
  void recordConsoleRequest(const evt::LogLine& line);
  // The project's last `count` requests, oldest first.
  std::vector<QSLogEntry> entries(const QSUUID& projectID, int count) const;
  // Forgets a removed project's requests.
  void forget(const QSUUID& projectID);

private:
  QSRequestLogMerge& requestLog(const QSUUID& projectID);

  QSEngineState& state_;
  std::map<QSUUID, QSRequestLogMerge> requestLogs_;
};

}  // namespace qs
