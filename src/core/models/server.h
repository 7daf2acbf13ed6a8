// The run-time state of a project's server (never persisted).
#pragma once

#include "core/models/json_coding.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace qs {

enum class QSServerStatus { stopped, starting, building, running, stopping, error };

template <>
struct QSRawEnum<QSServerStatus> {
  static constexpr std::string_view typeName = "QSServerStatus";
  static constexpr std::array<std::pair<QSServerStatus, std::string_view>, 6> cases{{
      {QSServerStatus::stopped, "stopped"},
      {QSServerStatus::starting, "starting"},
      {QSServerStatus::building, "building"},
      {QSServerStatus::running, "running"},
      {QSServerStatus::stopping, "stopping"},
      {QSServerStatus::error, "error"},
  }};
};

struct QSServer {
  static constexpr std::string_view recordName = "QSServer";
  QSUUID id;  // the owning project's id
  QSServerStatus status = QSServerStatus::stopped;
  int port = 0;
  std::optional<std::int32_t> pid;
  std::optional<QSTimestamp> startedAt;
  std::optional<std::string> errorMessage;
  // What the server is doing beside serving: "rebuilding" while watch mode builds the project's
  // changed sources and the running server goes on answering. Absent otherwise.
  std::optional<std::string> activity;

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("id", self.id)
        .field("status", self.status)
        .field("port", self.port)
        .field("pid", self.pid)
        .field("startedAt", self.startedAt)
        .field("errorMessage", self.errorMessage)
        .field("activity", self.activity);
  }

  bool operator==(const QSServer&) const = default;
};

}  // namespace qs
