// The real programs the desktop app's tests run beside it: quaysided, qs and the app itself,
// sharing the test's HOME, socket and lock.
#pragma once

#include "core/platform/child_process.h"
#include "core/platform/process_runner.h"
#include "core/platform/unix_socket.h"
#include "support/app_test_home.h"
#include "support/test_locations.h"

#include <QTest>

#include <csignal>

namespace qs::testing {

// qs run under the test's HOME, its standard error merged into the output.
inline QSProcessResult runQs(const AppTestHome& home, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), qs::testing::binFolder() + "/qs");
  return runProcess(arguments, {.workingDirectory = home.home(),
                                .environment = home.childEnvironment(),
                                .mergeErrorIntoOutput = true});
}

// A program of the build started under the test's HOME, its output appended to HOME/NAME.log.
inline std::shared_ptr<QSChildProcess> spawnProgram(const AppTestHome& home, const std::string& name,
                                                    std::map<std::string, std::string> extra = {}) {
  auto environment = home.childEnvironment();
  for (auto& [key, value] : extra) environment[key] = value;
  return QSChildProcess::spawn({.executable = qs::testing::binFolder() + "/" + name,
                                .workingDirectory = home.home(),
                                .environment = environment,
                                .outputFile = home.home() / (name + ".log")});
}

// Waits (within `limitMs`) until someone serves the test's socket.
inline bool socketServed(const AppTestHome& home, int limitMs = 30000) {
  return QTest::qWaitFor([&] { return isListenedOn(home.socketPath()); }, limitMs);
}

// Waits (within `limitMs`) until the child has exited; its status.
inline std::optional<int> exitOf(QSChildProcess& child, int limitMs = 30000) {
  std::optional<int> status;
  return QTest::qWaitFor([&] { return (status = child.reap()).has_value(); }, limitMs) ? status : std::nullopt;
}

}  // namespace qs::testing
