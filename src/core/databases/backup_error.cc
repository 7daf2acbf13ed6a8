#include "core/databases/backup_error.h"

namespace qs {

std::string QSBackupError::message() const {
  using namespace backupError;
  return visit(QSOverloaded{
      [](const Unsupported& e) {
        return "Backups aren't supported for " + std::string(displayName(e.value)) +
               " — only PostgreSQL and MySQL can be dumped.";
      },
      [](const ToolMissing& e) {
        return "The " + e.value + " tool isn't available yet. Start the database once so Quayside installs its engine.";
      },
      [](const CommandFailed& e) { return "The database tool failed: " + e.value; },
      [](const FileMissing& e) { return "There is no file at " + e.value + "."; },
      [](const NotSQL& e) {
        return e.value + " isn't an SQL dump: restore takes the plain SQL text that pg_dump or mysqldump writes.";
      },
      [](const WrongEngine& e) {
        return e.file + " was dumped from " + std::string(displayName(e.dumpedFrom)) +
               "; it can't be restored into a " + std::string(displayName(e.target)) + " database.";
      },
      [](const SnapshotExists& e) {
        return "A snapshot was taken this very second (" + e.value + "); wait a moment and back up again.";
      },
      [](const RestoreFailed& e) {
        if (!e.rollback)
          return "The restore failed: " + e.text + "\nThe database was put back as it was before, from the snapshot " +
                 e.snapshot + ".";
        return "The restore failed: " + e.text + "\nPutting the database back failed too: " + *e.rollback +
               "\nIts data from before the restore is in " + e.snapshot + ": restore that file once the cause is fixed.";
      },
  });
}

}  // namespace qs
