// A real engine on a test loop, over a temporary HOME, with the fake Swift toolchain installed.
#pragma once

#include "core/engine/daemon_service.h"
#include "core/runtime/port_scanner.h"
#include "support/async_helpers.h"
#include "support/test_support.h"
#include "support/test_locations.h"

#include <asio/io_context.hpp>

#include <set>

namespace qs::testing {

class EngineFixture {
public:
  EngineFixture() { engine = makeEngine(); }
  ~EngineFixture() {
    if (engine) runUntilDone(io, engine->shutdown());
  }

  using Adjustment = std::function<void(QSDaemonServiceOptions&)>;

  // An engine of the test's options, which `adjust` may change.
  std::shared_ptr<QSDaemonService> makeEngine(const Adjustment& adjust = {}) {
    QSDaemonServiceOptions options;
    options.version = "test";
    options.log = [this](const std::string& line) { logLines.push_back(line); };
    // The .test services on ports the system picks, never the user's 7080, 7443 and 5300.
    options.network = {.proxyPort = 0, .proxyTLSPort = 0, .dnsPort = 0};
    if (adjust) adjust(options);
    return QSDaemonService::make(io.get_executor(), std::move(options));
  }

  // Replaces the engine with one made as `adjust` says.
  void remakeEngine(const Adjustment& adjust) {
    runUntilDone(io, engine->shutdown());
    engine = makeEngine(adjust);
  }

  QSDaemonResult handle(QSDaemonCommand command) { return runUntilDone(io, engine->handle(std::move(command))); }

  // Adds a Vapor package folder named `name` under HOME and returns the project record.
  QSProject addProject(const std::string& name, const std::string& dotenv = "") {
    auto folder = home.home() / name;
    writeVaporPackage(folder, name, dotenv);
    auto result = handle(cmd::AddProject{folder.string()});
    auto* added = result.get<res::Project>();
    if (!added) throw std::runtime_error("add failed: " + std::string(result.caseName()));
    return added->value;
  }

  // A project pinned to the fake toolchain, on a port that is free and no other project has,
  // with extra variables for the fake.
  QSProject addRunnableProject(const std::string& name, const std::string& extraEnv = "") {
    std::set<int> taken;
    for (const auto& other : engine->configuration().projects) taken.insert(other.port);
    int port = testing::freeTestPort(testing::PortBand::engine, taken);
    QSProject p = addProject(name, "PORT=" + std::to_string(port) + "\n" + extraEnv);
    p.swiftVersion = "6.0.3";
    handle(cmd::UpdateProject{p});
    return p;
  }

  // The server record and the console lines (the newest `lines`) of `project`.
  QSServer server(const QSUUID& project) { return handle(cmd::GetServerStatus{project}).get<res::Server>()->value; }
  std::vector<std::string> logs(const QSUUID& project, int lines = 500) {
    return handle(cmd::Logs{QSServiceRef(svc::Server{project}), lines, false}).get<res::LogLines>()->value;
  }

  // Drains the event stream into `events` (call after operations; events are queued).
  void collectEvents() {
    while (engine->eventStream().size() > 0) events.push_back(*runUntilDone(io, engine->eventStream().next()));
  }

  IsolatedHome home;
  ScopedEnvironment toolchains{{{"QS_TOOLCHAIN_DIRS", qs::testing::fakeToolchainsFolder()}}};
  asio::io_context io;
  std::vector<std::string> logLines;
  std::vector<QSEvent> events;
  std::shared_ptr<QSDaemonService> engine;
};

inline std::string failureMessage(const QSDaemonResult& result) {
  auto* failure = result.get<res::Failure>();
  return failure ? failure->value.message() : "(no failure: " + std::string(result.caseName()) + ")";
}

}  // namespace qs::testing
