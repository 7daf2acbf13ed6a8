#include "core/engine/database_service_adapter.h"

#include "core/engine/off_loop.h"

namespace qs {
namespace {
struct Done {};  // the result of work that returns nothing
}  // namespace

QSDatabaseServiceAdapter::QSDatabaseServiceAdapter(asio::any_io_executor loop, std::filesystem::path dataRoot,
                                                   QSSystemEngines system)
    : loop_(loop), service_(std::make_unique<QSDatabaseService>(std::move(dataRoot), std::move(system))) {}

QSDatabaseServiceAdapter::~QSDatabaseServiceAdapter() { worker_.join(); }

asio::awaitable<void> QSDatabaseServiceAdapter::reapOrphanedProcesses() {
  auto work = [this] { return service_->reapOrphanedProcesses(), Done{}; };
  co_await runOffLoop(worker_, loop_, work);
}

asio::awaitable<void> QSDatabaseServiceAdapter::stopAll() {
  auto work = [this] { return service_->stopAll(), Done{}; };
  co_await runOffLoop(worker_, loop_, work);
}

asio::awaitable<QSDatabaseStatus> QSDatabaseServiceAdapter::status(QSDatabaseType type) {
  auto work = [this, type] { return service_->status(type); };
  co_return co_await runOffLoop(worker_, loop_, work);
}

std::vector<QSEnvironmentVariable> QSDatabaseServiceAdapter::generateEnvVars(const QSDatabase& database) {
  return service_->generateEnvVars(database);  // pure: reads nothing the worker changes
}

asio::awaitable<void> QSDatabaseServiceAdapter::initialize(QSDatabaseType type) {
  auto work = [this, type] { return service_->initialize(type), Done{}; };
  co_await runOffLoop(worker_, loop_, work);
}

asio::awaitable<void> QSDatabaseServiceAdapter::start(QSDatabaseType type, int port) {
  auto work = [this, type, port] { return service_->start(type, port), Done{}; };
  co_await runOffLoop(worker_, loop_, work);
}

asio::awaitable<void> QSDatabaseServiceAdapter::stop(QSDatabaseType type) {
  auto work = [this, type] { return service_->stop(type), Done{}; };
  co_await runOffLoop(worker_, loop_, work);
}

asio::awaitable<int> QSDatabaseServiceAdapter::clusterPort(QSDatabaseType type) {
  auto work = [this, type] { return service_->clusterPort(type); };
  co_return co_await runOffLoop(worker_, loop_, work);
}

asio::awaitable<bool> QSDatabaseServiceAdapter::isInstalled(QSDatabaseType type) {
  auto work = [this, type] { return service_->isInstalled(type); };
  co_return co_await runOffLoop(worker_, loop_, work);
}

asio::awaitable<std::pair<QSDatabase, std::vector<QSEnvironmentVariable>>> QSDatabaseServiceAdapter::provision(
    QSDatabase database) {
  auto work = [this, database] {
    auto result = service_->provision(database);
    return std::make_pair(result.database, result.envVars);
  };
  co_return co_await runOffLoop(worker_, loop_, work);
}

asio::awaitable<void> QSDatabaseServiceAdapter::applyCredentials(QSDatabase database,
                                                                 std::optional<std::string> previousUser) {
  auto work = [this, database, previousUser] { return service_->applyCredentials(database, previousUser), Done{}; };
  co_await runOffLoop(worker_, loop_, work);
}

asio::awaitable<QSDatabase> QSDatabaseServiceAdapter::withServiceCredentials(QSDatabase database) {
  auto work = [this, database] { return service_->withServiceCredentials(database); };
  co_return co_await runOffLoop(worker_, loop_, work);
}

asio::awaitable<void> QSDatabaseServiceAdapter::dropDatabase(std::string name, QSDatabaseType type, int port) {
  auto work = [this, name, type, port] { return service_->dropDatabase(name, type, port), Done{}; };
  co_await runOffLoop(worker_, loop_, work);
}

asio::awaitable<std::vector<QSDatabase>> QSDatabaseServiceAdapter::adoptableDatabases(
    std::vector<QSEnvDatabaseReference> references, std::string projectName) {
  auto work = [this, references, projectName] { return service_->adoptableDatabases(references, projectName); };
  co_return co_await runOffLoop(worker_, loop_, work);
}

}  // namespace qs
