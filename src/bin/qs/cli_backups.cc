// `qs db backup|backups|restore|prune|console NAME`: snapshots of a database and its interactive
// client. The daemon says which databases exist (and their credentials); the dump and client
// tools then run here, in this process, by absolute path from the engine registry, so a long
// dump or restore never holds up the daemon and reads or writes files where the user points.
#include "bin/qs/cli_commands.h"
#include "bin/qs/database_resolver.h"
#include "bin/qs/json_output.h"
#include "bin/qs/output.h"

#include "core/databases/backup_error.h"
#include "core/databases/backup_service.h"
#include "core/databases/database_console.h"
#include "core/platform/exec_program.h"
#include "core/platform/paths.h"

#include <fmt/format.h>

#include <unistd.h>

#include <algorithm>
#include <memory>

namespace qs {
namespace {

namespace fs = std::filesystem;

struct BackupOptions {
  std::string database;
  std::string file;
  bool latest = false;
  bool yes = false;
  int keep = 0;
};

asio::awaitable<QSDatabase> findDatabase(QSCliSession& session, std::string query) {
  QSDaemonCommand list = cmd::ListDatabases{};
  auto databases = (co_await session.request<res::Databases>(list)).value;
  co_return resolveDatabase(databases, query);
}

// Runs a dump or restore; when the tool failed and the daemon last saw the database stopped, the
// likely cause is added to the tool's words.
template <class F>
auto withStoppedHint(const QSDatabase& db, F work) {
  try {
    return work();
  } catch (const QSBackupException& e) {
    if (!e.error().is<backupError::CommandFailed>() || db.status == QSDatabaseStatus::running) throw;
    throw QSCliError(std::string(e.what()) + "\n" + db.name + " isn't running: start it with 'qs db start " + db.name +
                     "' first.");
  }
}

QSBackupService backupService() { return QSBackupService(QSServiceRegistry(QSServiceRegistry::defaultFile())); }

// "812 bytes", "12.3 KB", "104.9 MB".
std::string sizeText(std::int64_t bytes) {
  if (bytes < 1000) return fmt::format("{} bytes", bytes);
  const char* units[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  int unit = -1;
  while (value >= 1000 && unit < 3) value /= 1000, ++unit;
  return fmt::format("{:.1f} {}", value, units[unit]);
}

output::Snapshot snapshotOutput(const QSBackupFile& file) {
  return {.path = file.url.string(), .createdAt = file.createdAt, .sizeBytes = file.sizeBytes};
}

asio::awaitable<int> takeBackup(QSCliSession& session, BackupOptions options) {
  QSDatabase db = co_await findDatabase(session, options.database);
  auto service = backupService();
  fs::path snapshot = withStoppedHint(db, [&] { return service.backup(db); });
  auto listed = service.backups(db);
  auto it = std::find_if(listed.begin(), listed.end(), [&](const auto& f) { return f.url == snapshot; });
  QSBackupFile file = it != listed.end() ? *it : QSBackupFile{snapshot, QSTime::now(), 0};
  if (session.json)
    fmt::print("{}", jsonText(snapshotOutput(file)));
  else
    fmt::print("Backed up {} to {} ({}).\n", db.name, snapshot.string(), sizeText(file.sizeBytes));
  co_return QSExitCode::success;
}

asio::awaitable<int> listBackups(QSCliSession& session, BackupOptions options) {
  QSDatabase db = co_await findDatabase(session, options.database);
  auto service = backupService();
  if (!QSBackupService::supports(db.type)) throw QSCliError(QSBackupError(backupError::Unsupported{db.type}).message());
  auto files = service.backups(db);
  if (session.json) {
    std::vector<output::Snapshot> list;
    for (const auto& file : files) list.push_back(snapshotOutput(file));
    fmt::print("{}", jsonText(list));
    co_return QSExitCode::success;
  }
  // The folder is named in the heading: databases whose names differ only in punctuation or
  // letter case keep their snapshots in folders of their own.
  fs::path folder = service.directory(db);
  if (files.empty()) {
    fmt::print("{} ({}) has no snapshots in {} yet. Take one with 'qs db backup {}'.\n", db.name,
               displayName(db.type), folder.string(), db.name);
    co_return QSExitCode::success;
  }
  fmt::print("Snapshots of {} ({}, id {}), newest first, in {}:\n", db.name, displayName(db.type), db.id.string(),
             folder.string());
  QSTextTable table({"SNAPSHOT", "TAKEN", "SIZE"});
  for (const auto& file : files)
    table.addRow({file.url.filename().string(), formatDate(file.createdAt), sizeText(file.sizeBytes)});
  fmt::print("{}", table.render("  ", standardOutputWidth()));
  co_return QSExitCode::success;
}

asio::awaitable<int> restoreBackup(QSCliSession& session, BackupOptions options) {
  QSDatabase db = co_await findDatabase(session, options.database);
  auto service = backupService();
  fs::path file;
  if (options.latest) {
    if (!QSBackupService::supports(db.type)) throw QSCliError(QSBackupError(backupError::Unsupported{db.type}).message());
    // The newest snapshot taken on purpose: the ones a restore kept aside would undo the last restore.
    auto files = service.backups(db);
    auto chosen = std::find_if(files.begin(), files.end(), [](const QSBackupFile& f) {
      return !f.url.stem().string().ends_with("-before-restore");
    });
    if (chosen == files.end())
      throw QSCliError(db.name + " has no snapshots to restore. Take one with 'qs db backup " + db.name + "'.");
    file = chosen->url;
  } else {
    file = fs::absolute(options.file);
  }
  if (!options.yes) {
    if (!::isatty(STDIN_FILENO))
      throw QSCliError("Restoring replaces the data in " + db.name + "; add --yes to do it without a question.");
    if (!confirm("Restore " + db.name + " from " + file.string() + "? Its current data will be replaced.")) {
      fmt::print("Nothing restored.\n");
      co_return QSExitCode::failure;
    }
  }
  fs::path safety = withStoppedHint(db, [&] { return service.restore(db, file); });
  fmt::print("Restored {} from {}.\nWhat it held before is kept in {}.\n", db.name, file.string(), safety.string());
  co_return QSExitCode::success;
}

asio::awaitable<int> pruneBackups(QSCliSession& session, BackupOptions options) {
  QSDatabase db = co_await findDatabase(session, options.database);
  auto service = backupService();
  if (!QSBackupService::supports(db.type)) throw QSCliError(QSBackupError(backupError::Unsupported{db.type}).message());
  std::size_t before = service.backups(db).size();
  service.prune(db, static_cast<std::size_t>(options.keep));
  std::size_t after = service.backups(db).size();
  fmt::print("Deleted {} of {}'s snapshots; {} kept.\n", before - after, db.name, after);
  co_return QSExitCode::success;
}

asio::awaitable<int> openConsole(QSCliSession& session, BackupOptions options) {
  QSDatabase db = co_await findDatabase(session, options.database);
  QSServiceRegistry registry(QSServiceRegistry::defaultFile());
  QSSystemEngines system;
  auto client = QSDatabaseConsole::clientURL(db.type, registry, system);
  if (!client)
    throw QSCliError(fmt::format("The {} client ({}) isn't installed. Install it with 'sudo {}'.",
                                 displayName(db.type), QSDatabaseConsole::clientName(db.type),
                                 system.packageCommand(db.type)));
  auto launch = QSDatabaseConsole::launch(db, *client, QSPaths::dataFolderPath() / "sqlite");
  session.disconnect();
  fmt::print(stderr, "Connecting to {} with {} (exit the client to come back).\n", db.name, client->filename().string());
  std::fflush(stderr);
  execProgram(launch.program, launch.arguments, launch.environment, launch.unsetEnvironment);
  co_return QSExitCode::failure;  // not reached: execProgram returns only by throwing
}

void addDatabaseArgument(CLI::App* command, std::shared_ptr<BackupOptions> options) {
  command->add_option("NAME", options->database, "The database's name or id")->required();
}

}  // namespace

void addBackupCommands(CLI::App& app, QSCliSession& session) {
  CLI::App* db = nullptr;
  try {
    db = app.get_subcommand("db");
  } catch (const CLI::OptionNotFound&) {
    db = addCommand(app, "db", "Databases: snapshots, restore and the console",
                    "  qs db backup blog\n  qs db backups blog\n  qs db restore blog --latest\n  qs db console blog\n");
    db->require_subcommand(1);
  }
  auto options = std::make_shared<BackupOptions>();

  auto* backup = addCommand(*db, "backup", "Take a snapshot of a PostgreSQL or MySQL database (a plain SQL dump)",
                            "  qs db backup blog\n  qs db backup blog --json\n");
  addDatabaseArgument(backup, options);
  addJsonFlag(backup, session);
  onRun(backup, session, [&session, options] { return takeBackup(session, *options); });

  auto* backups = addCommand(*db, "backups", "List a database's snapshots, newest first, with their sizes",
                             "  qs db backups blog\n  qs db backups blog --json\n");
  addDatabaseArgument(backups, options);
  addJsonFlag(backups, session);
  onRun(backups, session, [&session, options] { return listBackups(session, *options); });

  auto* restore = addCommand(*db, "restore", "Replace a database's data with a snapshot or any SQL dump",
                             "  qs db restore blog --latest\n  qs db restore blog ~/dumps/blog.sql --yes\n");
  addDatabaseArgument(restore, options);
  auto* file = restore->add_option("FILE", options->file, "The .sql file to restore");
  auto* latest = restore->add_flag("--latest", options->latest,
                                   "Restore the newest snapshot (not one a restore kept aside)");
  file->excludes(latest);
  restore->add_flag("--yes,-y", options->yes, "Don't ask for confirmation");
  restore->callback([&session, options] {
    if (options->file.empty() && !options->latest) throw CLI::RequiredError("FILE or --latest");
    session.action = [&session, options] { return restoreBackup(session, *options); };
  });

  auto* prune = addCommand(*db, "prune", "Delete all but a database's newest snapshots", "  qs db prune blog --keep 7\n");
  addDatabaseArgument(prune, options);
  prune->add_option("--keep", options->keep, "How many of the newest snapshots to keep")
      ->required()
      ->check(CLI::Range(1, 1000000));
  onRun(prune, session, [&session, options] { return pruneBackups(session, *options); });

  auto* console = addCommand(*db, "console",
                             "Open the database's own client (psql, mysql, redis-cli, sqlite3) in this terminal, connected",
                             "  qs db console blog\n");
  addDatabaseArgument(console, options);
  onRun(console, session, [&session, options] { return openConsole(session, *options); });
}

}  // namespace qs
