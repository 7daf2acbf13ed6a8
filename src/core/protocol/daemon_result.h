// What the daemon answers to a command, or pushes as an event.
#pragma once

#include "core/models/database.h"
#include "core/models/domain.h"
#include "core/models/environment_variable.h"
#include "core/models/project.h"
#include "core/models/server.h"
#include "core/models/case_coding.h"
#include "core/models/toolchain.h"
#include "core/protocol/daemon_error.h"
#include "core/protocol/event.h"
#include "core/protocol/status.h"

#include <string>
#include <vector>

namespace qs {

// Cases of QSDaemonResult.
namespace res {
using Ok = QSEmptyCase<"ok">;
using Projects = QSUnnamedCase<"projects", std::vector<QSProject>>;
using Project = QSUnnamedCase<"project", QSProject>;
using Databases = QSUnnamedCase<"databases", std::vector<QSDatabase>>;
using Database = QSUnnamedCase<"database", QSDatabase>;
using Server = QSUnnamedCase<"server", QSServer>;
using Domain = QSUnnamedCase<"domain", QSDomain>;
using EnvVars = QSUnnamedCase<"envVars", std::vector<QSEnvironmentVariable>>;
using LogLines = QSUnnamedCase<"logLines", std::vector<std::string>>;
using Status = QSUnnamedCase<"status", QSFullStatus>;
using Health = QSUnnamedCase<"health", QSHealthReport>;
using Event = QSUnnamedCase<"event", QSEvent>;
struct Pong {
  static constexpr std::string_view caseName = "pong";
  std::string version;
  std::string build;  // the daemon's build fingerprint
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("version", self.version).field("build", self.build);
  }
  bool operator==(const Pong&) const = default;
};
using Failure = QSUnnamedCase<"failure", QSDaemonError>;
// Beyond the shared protocol: the answer to listToolchains.
using Toolchains = QSUnnamedCase<"toolchains", std::vector<QSToolchain>>;
// The answer to getRequestLog.
using LogEntries = QSUnnamedCase<"logEntries", std::vector<QSLogEntry>>;
}  // namespace res

// The outcome of a command (any command may end in `failure`), or an event for a subscriber.
struct QSDaemonResult
    : QSEnumeration<res::Ok, res::Projects, res::Project, res::Databases, res::Database, res::Server,
                    res::Domain, res::EnvVars, res::LogLines, res::Status, res::Health, res::Event, res::Pong,
                    res::Failure, res::Toolchains, res::LogEntries> {
  using QSEnumeration::QSEnumeration;
  static constexpr std::string_view typeName = "QSDaemonResult";
};

}  // namespace qs
