// Database engines and their states.
#pragma once

#include "core/models/json_coding.h"

#include <array>
#include <string_view>
#include <utility>

namespace qs {

enum class QSDatabaseType { postgresql, mysql, sqlite, redis };

enum class QSDatabaseStatus { stopped, starting, running, stopping, error };

template <>
struct QSRawEnum<QSDatabaseType> {
  static constexpr std::string_view typeName = "QSDatabaseType";
  static constexpr std::array<std::pair<QSDatabaseType, std::string_view>, 4> cases{{
      {QSDatabaseType::postgresql, "postgresql"},
      {QSDatabaseType::mysql, "mysql"},
      {QSDatabaseType::sqlite, "sqlite"},
      {QSDatabaseType::redis, "redis"},
  }};
};

template <>
struct QSRawEnum<QSDatabaseStatus> {
  static constexpr std::string_view typeName = "QSDatabaseStatus";
  static constexpr std::array<std::pair<QSDatabaseStatus, std::string_view>, 5> cases{{
      {QSDatabaseStatus::stopped, "stopped"},
      {QSDatabaseStatus::starting, "starting"},
      {QSDatabaseStatus::running, "running"},
      {QSDatabaseStatus::stopping, "stopping"},
      {QSDatabaseStatus::error, "error"},
  }};
};

// "PostgreSQL", "MySQL", "SQLite", "Redis".
std::string_view displayName(QSDatabaseType type);
// 5432, 3306, 0 (no engine), 6379.
int defaultPort(QSDatabaseType type);
// Name of the symbol image shown for the type.
std::string_view systemImage(QSDatabaseType type);
// Data folder below the application-support folder, e.g. "Quayside/postgresql/data".
std::string_view dataDirectory(QSDatabaseType type);

}  // namespace qs
