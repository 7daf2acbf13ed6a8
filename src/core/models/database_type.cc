#include "core/models/database_type.h"

namespace qs {

std::string_view displayName(QSDatabaseType type) {
  switch (type) {
    case QSDatabaseType::postgresql: return "PostgreSQL";
    case QSDatabaseType::mysql: return "MySQL";
    case QSDatabaseType::sqlite: return "SQLite";
    case QSDatabaseType::redis: return "Redis";
  }
  return "";
}

int defaultPort(QSDatabaseType type) {
  switch (type) {
    case QSDatabaseType::postgresql: return 5432;
    case QSDatabaseType::mysql: return 3306;
    case QSDatabaseType::sqlite: return 0;
    case QSDatabaseType::redis: return 6379;
  }
  return 0;
}

std::string_view systemImage(QSDatabaseType type) {
  switch (type) {
    case QSDatabaseType::postgresql: return "elephant";
    case QSDatabaseType::mysql: return "dolphin";
    case QSDatabaseType::sqlite: return "doc";
    case QSDatabaseType::redis: return "bolt.horizontal";
  }
  return "";
}

std::string_view dataDirectory(QSDatabaseType type) {
  switch (type) {
    case QSDatabaseType::postgresql: return "Quayside/postgresql/data";
    case QSDatabaseType::mysql: return "Quayside/mysql/data";
    case QSDatabaseType::sqlite: return "Quayside/sqlite";
    case QSDatabaseType::redis: return "Quayside/redis";
  }
  return "";
}

}  // namespace qs
