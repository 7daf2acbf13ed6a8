// Failures of taking, listing and restoring database snapshots; each case carries the user's text.
#pragma once

#include "core/models/case_coding.h"
#include "core/models/database_type.h"
#include "core/platform/error_exception.h"

#include <optional>
#include <string>

namespace qs {

namespace backupError {
using Unsupported = QSUnnamedCase<"unsupported", QSDatabaseType>;
using ToolMissing = QSUnnamedCase<"toolMissing", std::string>;     // the tool's name
using CommandFailed = QSUnnamedCase<"commandFailed", std::string>;  // the tool's error output
using FileMissing = QSUnnamedCase<"fileMissing", std::string>;      // the path given
using NotSQL = QSUnnamedCase<"notSQL", std::string>;                // the path given
// Snapshots are named by the second: a second backup within the same second would need the name
// of the first.
using SnapshotExists = QSUnnamedCase<"snapshotExists", std::string>;  // the snapshot's path
// A dump written by one engine's tool offered to a database of the other engine.
struct WrongEngine {
  static constexpr std::string_view caseName = "wrongEngine";
  std::string file;
  QSDatabaseType dumpedFrom = QSDatabaseType::postgresql;
  QSDatabaseType target = QSDatabaseType::mysql;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("file", self.file).field("dumpedFrom", self.dumpedFrom).field("target", self.target);
  }
  bool operator==(const WrongEngine&) const = default;
};
// A restore that failed after the database was emptied; the safety snapshot taken first was put
// back (`rollback` absent), or putting it back failed too (`rollback`: why).
struct RestoreFailed {
  static constexpr std::string_view caseName = "restoreFailed";
  std::string text;      // why the restore failed
  std::string snapshot;  // the safety snapshot's path
  std::optional<std::string> rollback;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("text", self.text).field("snapshot", self.snapshot).field("rollback", self.rollback);
  }
  bool operator==(const RestoreFailed&) const = default;
};
}  // namespace backupError

// E.g. QSBackupError(backupError::Unsupported{QSDatabaseType::sqlite}).message() ==
// "Backups aren't supported for SQLite — only PostgreSQL and MySQL can be dumped.".
struct QSBackupError
    : QSEnumeration<backupError::Unsupported, backupError::ToolMissing, backupError::CommandFailed,
                    backupError::FileMissing, backupError::NotSQL, backupError::WrongEngine,
                    backupError::SnapshotExists, backupError::RestoreFailed> {
  using QSEnumeration::QSEnumeration;
  static constexpr std::string_view typeName = "QSBackupError";
  std::string message() const;
};
using QSBackupException = QSErrorException<QSBackupError>;

}  // namespace qs
