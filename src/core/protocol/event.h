// Events the engine pushes to subscribers, the kinds they subscribe by, and service references.
#pragma once

#include "core/models/database.h"
#include "core/models/log_entry.h"
#include "core/models/project.h"
#include "core/models/server.h"
#include "core/models/case_coding.h"
#include "core/protocol/mail_records.h"
#include "core/protocol/status.h"

#include <array>
#include <string>
#include <vector>

namespace qs {

// What a subscription asks for; coded as its bare text ("servers"). `all` matches every event of
// the first five kinds. Kinds added later (`mail`, `logBatches`) are delivered only to
// subscriptions that name them: a client built before a kind existed subscribes to `all` and
// could not decode its events. A connection subscribed to `logBatches` gets console lines as
// `logBatch` events, several lines a frame, instead of one `logLine` event per line (under its
// `logs` or `all` subscription); request lines still come as `requestLogged` under those.
enum class QSEventKind { projects, databases, servers, network, logs, all, mail, logBatches };

template <>
struct QSRawEnum<QSEventKind> {
  static constexpr std::string_view typeName = "QSEventKind";
  static constexpr std::array<std::pair<QSEventKind, std::string_view>, 8> cases{{
      {QSEventKind::projects, "projects"},
      {QSEventKind::databases, "databases"},
      {QSEventKind::servers, "servers"},
      {QSEventKind::network, "network"},
      {QSEventKind::logs, "logs"},
      {QSEventKind::all, "all"},
      {QSEventKind::mail, "mail"},
      {QSEventKind::logBatches, "logBatches"},
  }};
};

// Cases of QSServiceRef.
namespace svc {
using Daemon = QSEmptyCase<"daemon">;
using DNS = QSEmptyCase<"dns">;
using Proxy = QSEmptyCase<"proxy">;
using Database = QSIdentifiedCase<"database", "id">;
using Server = QSIdentifiedCase<"server", "projectID">;
}  // namespace svc

// A service whose log lines are asked for or reported.
struct QSServiceRef : QSEnumeration<svc::Daemon, svc::DNS, svc::Proxy, svc::Database, svc::Server> {
  using QSEnumeration::QSEnumeration;
  static constexpr std::string_view typeName = "QSServiceRef";
};

// Cases of QSEvent.
namespace evt {
using ProjectsChanged = QSUnnamedCase<"projectsChanged", std::vector<QSProject>>;  // the whole list
using DatabaseChanged = QSUnnamedCase<"databaseChanged", QSDatabase>;
using DatabasesChanged = QSUnnamedCase<"databasesChanged", std::vector<QSDatabase>>;  // the whole list
using ServerChanged = QSUnnamedCase<"serverChanged", QSServer>;
using NetworkChanged = QSUnnamedCase<"networkChanged", QSFullStatus>;
struct LogLine {
  static constexpr std::string_view caseName = "logLine";
  QSServiceRef source;
  std::string line;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("_0", self.source).field("line", self.line);
  }
  bool operator==(const LogLine&) const = default;
};
// Consecutive console lines of one service, oldest first: what a `logBatches` subscription gets
// in place of one `logLine` event per line.
struct LogBatch {
  static constexpr std::string_view caseName = "logBatch";
  QSServiceRef source;
  std::vector<std::string> lines;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("_0", self.source).field("lines", self.lines);
  }
  bool operator==(const LogBatch&) const = default;
};
using RequestLogged = QSUnnamedCase<"requestLogged", QSLogEntry>;
using MailReceived = QSUnnamedCase<"mailReceived", QSMailSummary>;  // stored in the mail folder
}  // namespace evt

// A change pushed by the engine to the connections that subscribed to its kind.
struct QSEvent : QSEnumeration<evt::ProjectsChanged, evt::DatabaseChanged, evt::DatabasesChanged,
                               evt::ServerChanged, evt::NetworkChanged, evt::LogLine, evt::RequestLogged,
                               evt::MailReceived, evt::LogBatch> {
  using QSEnumeration::QSEnumeration;
  static constexpr std::string_view typeName = "QSEvent";

  // The kind this event belongs to (never `all`).
  QSEventKind kind() const;
};

// Whether a subscription to `kind` receives `event`: its own kind, or `all` for the kinds that
// `all` covers.
bool matches(QSEventKind kind, const QSEvent& event);
// Whether `all` subscriptions receive events of `kind`.
bool coveredByAll(QSEventKind kind);

}  // namespace qs
