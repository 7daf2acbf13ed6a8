#include "core/engine/build_setup.h"

#include "core/engine/off_loop.h"
#include "core/engine/toolchain_choice.h"
#include "core/runtime/process_manager.h"
#include "core/runtime/project_detector.h"

namespace qs {

std::map<std::string, std::string> enabledEnvironment(const QSProject& project) {
  std::map<std::string, std::string> environment;
  for (const auto& variable : project.environmentVariables)
    if (variable.isEnabled) environment[variable.key] = variable.value;
  return environment;
}

QSBuildSetup::QSBuildSetup(asio::thread_pool& workers, asio::any_io_executor executor,
                           std::shared_ptr<QSServerRecords> records,
                           std::function<const QSProject*(const QSUUID&)> findProject)
    : workers_(workers), executor_(std::move(executor)), records_(std::move(records)),
      findProject_(std::move(findProject)) {}

asio::awaitable<QSToolchainChoice> QSBuildSetup::chooseToolchain(const QSProject& project) {
  auto lookup = [path = project.path, name = project.name, version = project.swiftVersion] {
    return chooseToolchainFor(path, name, version);
  };
  QSToolchainChoice choice = co_await runOffLoop(workers_, executor_, lookup);
  if (choice.note) records_->appendLog(project.id, *choice.note);
  co_return choice;
}

asio::awaitable<std::optional<QSBuildRequest>> QSBuildSetup::buildRequest(QSUUID projectID) {
  const QSProject* found = findProject_(projectID);
  if (!found) co_return std::nullopt;
  auto toolchain = (co_await chooseToolchain(*found)).path;
  const QSProject* project = findProject_(projectID);
  if (!project) co_return std::nullopt;
  QSBuildRequest request;
  request.swift = QSProcessManager::swiftExecutable(toolchain);
  request.projectPath = project->path;
  request.target = QSProjectDetector().executableTargetName(project->path).value_or("App");
  request.environment = enabledEnvironment(*project);
  co_return request;
}

}  // namespace qs
