// The database service as the engine sees it: every operation runs on a worker thread of its
// own, one at a time, and resumes on the service loop.
#pragma once

#include "core/databases/database_service.h"
#include "core/engine/engine_services.h"

#include <asio/any_io_executor.hpp>
#include <asio/thread_pool.hpp>

#include <filesystem>
#include <memory>

namespace qs {

class QSDatabaseServiceAdapter : public QSDatabaseServicing {
public:
  // Engines and clusters under `dataRoot` (the Quayside data folder).
  QSDatabaseServiceAdapter(asio::any_io_executor loop, std::filesystem::path dataRoot,
                           QSSystemEngines system = QSSystemEngines());
  ~QSDatabaseServiceAdapter() override;
  // Waits for the operation under way on the worker thread to end.
  void waitForBlockingWork() { worker_.join(); }

  asio::awaitable<void> reapOrphanedProcesses() override;
  asio::awaitable<void> stopAll() override;
  asio::awaitable<QSDatabaseStatus> status(QSDatabaseType type) override;
  std::vector<QSEnvironmentVariable> generateEnvVars(const QSDatabase& database) override;
  asio::awaitable<void> initialize(QSDatabaseType type) override;
  asio::awaitable<void> start(QSDatabaseType type, int port) override;
  asio::awaitable<void> stop(QSDatabaseType type) override;
  asio::awaitable<int> clusterPort(QSDatabaseType type) override;
  asio::awaitable<bool> isInstalled(QSDatabaseType type) override;
  asio::awaitable<std::pair<QSDatabase, std::vector<QSEnvironmentVariable>>> provision(QSDatabase database) override;
  asio::awaitable<void> applyCredentials(QSDatabase database, std::optional<std::string> previousUser) override;
  asio::awaitable<QSDatabase> withServiceCredentials(QSDatabase database) override;
  asio::awaitable<void> dropDatabase(std::string name, QSDatabaseType type, int port) override;
  asio::awaitable<std::vector<QSDatabase>> adoptableDatabases(std::vector<QSEnvDatabaseReference> references,
                                                              std::string projectName) override;

private:
  asio::any_io_executor loop_;
  asio::thread_pool worker_{1};  // one thread: the service's operations never overlap
  std::unique_ptr<QSDatabaseService> service_;
};

}  // namespace qs
