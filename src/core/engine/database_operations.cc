// The engine's databases: creation, provisioning for a project, start, stop, edits, removal, and
// keeping statuses true.
#include "core/engine/database_operations.h"

#include "core/databases/database_error.h"
#include "core/databases/service_account.h"
#include "core/platform/text.h"
#include "core/protocol/daemon_error.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/redirect_error.hpp>

#include <algorithm>

namespace qs {
namespace {

[[noreturn]] void fail(const std::string& message) {
  throw QSDaemonException(QSDaemonError(daemonError::OperationFailed{message}));
}

bool hasAccounts(QSDatabaseType type) { return type == QSDatabaseType::postgresql || type == QSDatabaseType::mysql; }

// The service account administers every cluster: its password must never reach a project's .env.
void refuseServiceAccount(QSDatabaseType type, const std::optional<std::string>& user) {
  if (hasAccounts(type) && user && *user == QSServiceAccount::name)
    fail("\u201cquayside\u201d is the account Quayside administers " + std::string(displayName(type)) +
         " with: choose another --user, or leave it out for a user of the database's own.");
}

void refuseReservedName(QSDatabaseType type, const std::string& name) {
  if (isReservedDatabaseName(type, name)) fail(reservedDatabaseNameMessage(type, name));
}

QSDatabase newRecord(const std::string& name, QSDatabaseType type, std::optional<int> port,
                     std::optional<std::string> username, std::optional<std::string> password) {
  QSDatabase record = QSDatabase::make(name, type, port);
  record.username = std::move(username);
  record.password = std::move(password);
  if (type != QSDatabaseType::redis) record.databaseName = name;
  return record;
}

}  // namespace

QSDatabaseOperations::QSDatabaseOperations(QSEngineState& state, QSEnvironmentOperations& environment,
                                           std::shared_ptr<QSDatabaseServicing> databases,
                                           std::chrono::milliseconds reconciliationInterval)
    : state_(state),
      environment_(environment),
      databases_(std::move(databases)),
      reconciliationInterval_(reconciliationInterval) {}

QSDatabase* QSDatabaseOperations::database(const QSUUID& id) {
  auto& databases = state_.config.databases;
  auto it = std::find_if(databases.begin(), databases.end(), [&](const QSDatabase& d) { return d.id == id; });
  return it == databases.end() ? nullptr : &*it;
}

QSDatabaseServicing& QSDatabaseOperations::requireDatabases() {
  if (!databases_) fail("Managing databases (PostgreSQL, MySQL, Redis) isn't available in this build of quaysided yet.");
  return *databases_;
}

void QSDatabaseOperations::storeDatabase(const QSDatabase& record) {
  if (auto* stored = database(record.id)) {
    *stored = record;
    state_.save();
  }
}

std::string QSDatabaseOperations::uniqueDatabaseName(const std::string& base, QSDatabaseType type) const {
  std::string candidate;
  for (unsigned char c : asciiLowercased(base)) candidate += (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ? char(c) : '_';
  auto taken = [&](const std::string& name) {
    // A project named mysql gets mysql_2: the engine's own catalogue is not the project's.
    return isReservedDatabaseName(type, name) ||
           std::any_of(state_.config.databases.begin(), state_.config.databases.end(), [&](const QSDatabase& d) {
             return d.type == type && asciiLowercased(d.effectiveDatabaseName()) == name;
           });
  };
  if (!taken(candidate)) return candidate;
  for (int n = 2;; ++n)
    if (!taken(candidate + "_" + std::to_string(n))) return candidate + "_" + std::to_string(n);
}

// A login of the database's own, named after it, that no other record of the type uses: its
// password then belongs to this database alone.
std::string QSDatabaseOperations::uniqueRoleName(const std::string& databaseName, QSDatabaseType type) const {
  // PostgreSQL keeps pg_… role names for itself; both engines bound names to about 64 bytes.
  std::string base = (databaseName.starts_with("pg_") ? "app_" : "") + databaseName.substr(0, 56);
  auto taken = [&](const std::string& name) {
    for (const char* own : {"quayside", "postgres", "root", "mysql", "mariadb.sys", "public"})
      if (asciiLowercased(name) == own) return true;
    return std::any_of(state_.config.databases.begin(), state_.config.databases.end(),
                       [&](const QSDatabase& d) { return d.type == type && d.username == name; });
  };
  if (!taken(base)) return base;
  for (int n = 2;; ++n)
    if (!taken(base + "_" + std::to_string(n))) return base + "_" + std::to_string(n);
}

std::optional<std::string> QSDatabaseOperations::defaultUsername(const std::string& databaseName, QSDatabaseType type,
                                                            const std::optional<std::string>& given) const {
  refuseServiceAccount(type, given);
  if (given || !hasAccounts(type)) return given;
  return uniqueRoleName(databaseName, type);
}

asio::awaitable<QSDatabase> QSDatabaseOperations::createDatabase(const cmd::CreateDatabase& c) {
  auto& engines = requireDatabases();
  if (c.name.empty()) fail("Give the database a name.");
  refuseReservedName(c.type, c.name);
  // Names are unique within a type: two records of one database would drop it for each other.
  for (const auto& other : state_.config.databases)
    if (other.type == c.type && asciiLowercased(other.effectiveDatabaseName()) == asciiLowercased(c.name))
      fail("A " + std::string(displayName(c.type)) + " database named \u201c" + c.name + "\u201d already exists.");
  auto username = hasAccounts(c.type) ? defaultUsername(c.name, c.type, c.username) : c.username.value_or("quayside");
  QSDatabase record = newRecord(c.name, c.type, c.port, username, c.password);
  auto [provisioned, variables] = co_await engines.provision(record);
  provisioned.status = provisioned.type == QSDatabaseType::sqlite ? QSDatabaseStatus::stopped : QSDatabaseStatus::running;
  state_.config.databases.push_back(provisioned);
  state_.save();
  state_.emit(evt::DatabaseChanged{provisioned});
  co_return provisioned;
}

asio::awaitable<QSProject> QSDatabaseOperations::provisionDatabase(const cmd::ProvisionDatabase& c) {
  auto& engines = requireDatabases();
  QSProject snapshot = state_.requireProject(c.projectID);
  if (c.type != QSDatabaseType::sqlite && !(co_await engines.isInstalled(c.type)))
    fail(QSDatabaseError(databaseError::ServiceNotInstalled{c.type}).message());
  bool isRedis = c.isRedis || c.type == QSDatabaseType::redis;
  std::string name = uniqueDatabaseName(snapshot.name + (isRedis ? "_redis" : ""), c.type);
  std::optional<std::string> username = c.username;
  if (hasAccounts(c.type)) username = defaultUsername(name, c.type, c.username);
  if (c.type == QSDatabaseType::redis) username = c.username.value_or("quayside");
  QSDatabase record = newRecord(name, c.type, std::nullopt, username, c.password);
  std::pair<QSDatabase, std::vector<QSEnvironmentVariable>> result;
  try {
    result = co_await engines.provision(record);
  } catch (const std::exception& e) {
    fail(e.what());
  }
  auto& [provisioned, variables] = result;
  provisioned.status = QSDatabaseStatus::running;
  state_.config.databases.push_back(provisioned);
  QSProject& p = state_.requireProject(c.projectID);  // re-read: other requests ran meanwhile
  try {
    environment_.adoptHandAddedVariables(p);
  } catch (const QSDaemonException& e) {
    state_.log(std::string(QSEngineState::logPrefix) + e.error().message());
  }
  auto& link = isRedis ? p.redisID : p.databaseID;
  // The keys the replaced link wrote go with it, unless the new one writes them again.
  if (auto* replaced = link ? database(*link) : nullptr) {
    for (const auto& old : databases_->generateEnvVars(*replaced)) {
      bool rewritten = std::any_of(variables.begin(), variables.end(), [&](const auto& v) { return v.key == old.key; });
      if (!rewritten)
        std::erase_if(p.environmentVariables, [&](const QSEnvironmentVariable& v) { return v.key == old.key; });
    }
  }
  link = provisioned.id;
  for (const auto& variable : variables) {
    auto existing = std::find_if(p.environmentVariables.begin(), p.environmentVariables.end(),
                                 [&](const QSEnvironmentVariable& v) { return v.key == variable.key; });
    if (existing == p.environmentVariables.end())
      p.environmentVariables.push_back(variable);
    else
      existing->value = variable.value;
  }
  environment_.writeEnvFile(p);
  QSProject linked = p;
  state_.save();
  state_.emit(evt::DatabaseChanged{provisioned});
  state_.emitProjectsChanged();
  co_return linked;
}

asio::awaitable<void> QSDatabaseOperations::startDatabase(const QSUUID& id) {
  auto* found = database(id);
  if (!found) throw QSDaemonException(QSDaemonError(daemonError::DatabaseNotFound{id.string()}));
  QSDatabase record = *found;
  if (record.type == QSDatabaseType::sqlite) {
    record.status = QSDatabaseStatus::running;
    storeDatabase(record);
    state_.emit(evt::DatabaseChanged{record});
    environment_.syncEnvVars(record);
    co_return;
  }
  auto& engines = requireDatabases();
  std::optional<std::string> failure;
  std::optional<std::string> username = record.username;
  std::optional<std::string> password;
  try {
    co_await engines.initialize(record.type);
    int port = co_await engines.clusterPort(record.type);
    if (co_await engines.status(record.type) != QSDatabaseStatus::running) co_await engines.start(record.type, port);
    record.port = co_await engines.clusterPort(record.type);  // where it runs, should the start have moved it
    if (hasAccounts(record.type) && QSServiceAccount::isServiceAccount(record.username)) {
      // A record from before per-database logins signs in as the service account, whose
      // password is not the project's to hold: it gets a login of its own, which takes over
      // the tables, and the linked .env files follow.
      QSDatabase own = record;
      own.username = uniqueRoleName(record.effectiveDatabaseName(), record.type);
      own.password = randomPassword();
      co_await engines.applyCredentials(own, std::string(QSServiceAccount::name));
      username = own.username;
      password = own.password;
    } else {
      // Redis from before service passwords: the one the server now demands.
      password = (co_await engines.withServiceCredentials(record)).password;
    }
  } catch (const std::exception& e) {
    failure = e.what();
  }
  int port = record.port;
  if (auto* current = database(id)) record = *current;  // re-read: other requests ran meanwhile
  if (password) {
    record.username = username;
    record.password = password;
  }
  if (failure) {
    record.status = QSDatabaseStatus::error;
    record.errorMessage = failure;
    storeDatabase(record);
    state_.emit(evt::DatabaseChanged{record});
    fail(*failure);
  }
  record.port = port;
  record.status = QSDatabaseStatus::running;
  record.errorMessage.reset();
  storeDatabase(record);
  state_.emit(evt::DatabaseChanged{record});
  environment_.syncEnvVars(record);
}

asio::awaitable<void> QSDatabaseOperations::stopDatabase(const QSUUID& id) {
  auto* found = database(id);
  if (!found) throw QSDaemonException(QSDaemonError(daemonError::DatabaseNotFound{id.string()}));
  QSDatabaseType type = found->type;
  if (type != QSDatabaseType::sqlite) co_await requireDatabases().stop(type);
  if (auto* current = database(id)) {
    current->status = QSDatabaseStatus::stopped;
    QSDatabase stopped = *current;
    state_.save();
    state_.emit(evt::DatabaseChanged{stopped});
  }
}

asio::awaitable<void> QSDatabaseOperations::removeDatabase(const QSUUID& id) {
  if (auto* found = database(id)) {
    QSDatabase record = *found;
    co_await requireDatabases().dropDatabase(record.effectiveDatabaseName(), record.type, record.port);
  }
  std::erase_if(state_.config.databases, [&](const QSDatabase& d) { return d.id == id; });
  unlinkDatabaseFromProjects(id);
  state_.save();
  state_.emit(evt::DatabasesChanged{state_.config.databases});
}

asio::awaitable<QSDatabase> QSDatabaseOperations::updateDatabase(QSDatabase record) {
  auto* stored = database(record.id);
  if (!stored) throw QSDaemonException(QSDaemonError(daemonError::DatabaseNotFound{record.id.string()}));
  bool credentialsChanged = stored->username != record.username || stored->password != record.password;
  if (credentialsChanged && hasAccounts(record.type)) {
    if (stored->username != record.username) refuseServiceAccount(record.type, record.username);
    if (QSServiceAccount::isServiceAccount(record.username))
      fail(std::string(displayName(record.type)) + " database " + record.name +
           " signs in as quayside, the account Quayside administers the engine with, whose password is "
           "Quayside's own: give it a user of its own with --user NAME (its tables move to that user).");
    std::optional<std::string> previousUser = stored->username.value_or(std::string(QSServiceAccount::name));
    // A new user never inherits the service password, nor goes without one.
    bool carriedOver = record.password == stored->password && QSServiceAccount::isServiceAccount(stored->username);
    if (carriedOver || record.password.value_or("").empty()) record.password = randomPassword();
    try {
      co_await requireDatabases().applyCredentials(record, previousUser);
    } catch (const std::exception& e) {
      fail(e.what());
    }
    environment_.syncEnvVars(record);
  }
  if (auto* current = database(record.id)) *current = record;
  state_.save();
  state_.emit(evt::DatabaseChanged{record});
  co_return record;
}

void QSDatabaseOperations::unlinkDatabaseFromProjects(const QSUUID& id) {
  bool changed = false;
  for (auto& p : state_.config.projects) {
    if (p.databaseID == id) p.databaseID.reset(), changed = true;
    if (p.redisID == id) p.redisID.reset(), changed = true;
  }
  if (changed) state_.emitProjectsChanged();
}

// Database status reconciliation: a database recorded as running whose engine has gone is
// reported stopped. Nothing is saved: the status is run-time knowledge.
void QSDatabaseOperations::startStatusReconciliation() {
  if (statusReconciliationTask_) return;
  auto timer = std::make_shared<asio::steady_timer>(state_.executor);
  statusReconciliationTask_ = timer;
  std::weak_ptr<QSDatabaseOperations> weak = state_.weakHandle(*this);
  auto interval = reconciliationInterval_;
  asio::co_spawn(
      state_.executor,
      [weak, timer, interval]() -> asio::awaitable<void> {
        for (;;) {
          timer->expires_after(interval);
          asio::error_code ec;
          co_await timer->async_wait(asio::redirect_error(asio::use_awaitable, ec));
          if (ec) co_return;  // cancelled
          auto self = weak.lock();
          if (!self) co_return;
          co_await self->reconcileDatabaseStatuses();
        }
      },
      asio::detached);
}

void QSDatabaseOperations::stopStatusReconciliation() {
  if (statusReconciliationTask_) {
    statusReconciliationTask_->cancel();
    statusReconciliationTask_.reset();
  }
}

asio::awaitable<void> QSDatabaseOperations::reconcileDatabaseStatuses() {
  if (!databases_) co_return;
  std::vector<QSUUID> candidates;
  for (const auto& db : state_.config.databases)
    if (db.type != QSDatabaseType::sqlite && db.status == QSDatabaseStatus::running) candidates.push_back(db.id);
  for (const auto& id : candidates) {
    QSDatabaseType type{};
    for (const auto& db : state_.config.databases)
      if (db.id == id) type = db.type;
    auto live = co_await databases_->status(type);
    if (live == QSDatabaseStatus::running) continue;
    for (auto& db : state_.config.databases) {
      if (db.id == id && db.status == QSDatabaseStatus::running) {
        db.status = QSDatabaseStatus::stopped;
        state_.emit(evt::DatabaseChanged{db});
      }
    }
  }
}

}  // namespace qs
