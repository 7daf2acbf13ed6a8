// What builds a project's server: the toolchain chosen for it, said on its console when the
// choice is not the obvious one, and what a watch-mode build of it runs with.
//
// Lives on the service loop, owned by the supervisor; the toolchains are looked up on the worker
// pool.
#pragma once

#include "core/engine/server_records.h"
#include "core/engine/toolchain_choice.h"
#include "core/models/project.h"
#include "core/runtime/swift_build.h"

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/thread_pool.hpp>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace qs {

// The project's enabled environment variables, which its server and its builds get.
std::map<std::string, std::string> enabledEnvironment(const QSProject& project);

class QSBuildSetup {
public:
  QSBuildSetup(asio::thread_pool& workers, asio::any_io_executor executor, std::shared_ptr<QSServerRecords> records,
               std::function<const QSProject*(const QSUUID&)> findProject);

  // The toolchain that builds the project, chosen off the loop; a note on the choice goes to the
  // server's console.
  asio::awaitable<QSToolchainChoice> chooseToolchain(const QSProject& project);
  // What to build now (toolchain, target, environment); nothing when the project is gone.
  asio::awaitable<std::optional<QSBuildRequest>> buildRequest(QSUUID projectID);

private:
  asio::thread_pool& workers_;
  asio::any_io_executor executor_;
  std::shared_ptr<QSServerRecords> records_;
  std::function<const QSProject*(const QSUUID&)> findProject_;
};

}  // namespace qs
