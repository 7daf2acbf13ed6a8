#include "engine_test_support.h"

#include "core/platform/child_process.h"
#include "core/platform/file_status.h"
#include "core/runtime/toolchain_service.h"
#include "support/process_helpers.h"
#include "support/test_locations.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using testing::EngineFixture;
using testing::failureMessage;
using testing::readTextFile;
using testing::runUntil;

bool hasLine(const std::vector<std::string>& lines, std::string_view text) {
  for (const auto& l : lines)
    if (l.find(text) != std::string::npos) return true;
  return false;
}

bool portIsHeld(int port) { return !QSPortScanner().processesListening(port).empty(); }

void startAndWaitUntilRunning(EngineFixture& f, const QSProject& p) {
  ASSERT_TRUE(f.handle(cmd::StartServer{p.id}).is<res::Ok>());
  ASSERT_TRUE(runUntil(f.io, [&] { return f.server(p.id).status == QSServerStatus::running; }));
}

TEST(EngineServerTest, StartsBuildsRunsAndStopsWithoutAnExitLine) {
  EngineFixture f;
  auto record = (f.home.home() / "record.txt").string();
  auto p = f.addRunnableProject("blog", "FAKE_SWIFT_RECORD=" + record + "\n# HIDDEN=yes\n");
  startAndWaitUntilRunning(f, p);

  EXPECT_TRUE(hasLine(f.logs(p.id), "Server started on http://"));
  EXPECT_EQ(readTextFile(record).find("HIDDEN"), std::string::npos) << "disabled variables are not passed";

  ASSERT_TRUE(f.handle(cmd::StopServer{p.id}).is<res::Ok>());
  EXPECT_EQ(f.server(p.id), (QSServer{p.id, QSServerStatus::stopped, p.port, {}, {}, {}}));
  f.io.run_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(hasLine(f.logs(p.id), "[Server stopped]")) << "a requested stop writes no exit line";
  EXPECT_EQ(f.server(p.id).status, QSServerStatus::stopped);
}

TEST(EngineServerTest, WithoutADefaultCompilerAPinNobodyHasFailsAndNoPinTakesTheNewestToolchain) {
  if (isExecutableFile(QSToolchainService::defaultCompilerPath())) GTEST_SKIP() << "this machine has a swift";
  EngineFixture f;
  auto p = f.addProject("blog");
  p.swiftVersion = "9.9";  // installed nowhere
  f.handle(cmd::UpdateProject{p});
  std::string expected =
      "Swift 9.9 (pinned for blog) isn't installed and no swift compiler was found on this machine. Install Swift "
      "(with swiftly, or unpacked into /opt/swift), or list a folder of toolchains in QS_TOOLCHAIN_DIRS, then start "
      "blog again.";
  EXPECT_EQ(failureMessage(f.handle(cmd::StartServer{p.id})), expected);
  EXPECT_EQ(f.server(p.id), (QSServer{p.id, QSServerStatus::error, p.port, {}, {}, expected}));

  // Unpinned, it builds with the newest installed toolchain and says so.
  auto unpinned = f.addRunnableProject("unpinned");
  unpinned.swiftVersion.reset();
  f.handle(cmd::UpdateProject{unpinned});
  startAndWaitUntilRunning(f, unpinned);
  EXPECT_EQ(f.logs(unpinned.id).front(),
            "[No swift compiler on PATH: building with swift-6.0.3 (Swift 6.0.3), the newest installed "
            "toolchain]");
}

// (A crash's error and console lines: the end-to-end servers test.)
TEST(EngineServerTest, ACleanExitIsStoppedAndAFailedLaunchAnErrorWithItsText) {
  EngineFixture f;
  auto clean = f.addRunnableProject("clean", "FAKE_SWIFT_EXIT_CODE=0\n");
  ASSERT_TRUE(f.handle(cmd::StartServer{clean.id}).is<res::Ok>());
  ASSERT_TRUE(runUntil(f.io, [&] {
    auto s = f.server(clean.id).status;
    return s == QSServerStatus::error || s == QSServerStatus::stopped;
  }));
  EXPECT_EQ(f.server(clean.id), (QSServer{clean.id, QSServerStatus::stopped, clean.port, {}, {}, {}}));
  EXPECT_EQ(f.logs(clean.id).back(), "[Server stopped]");

  // A launch that fails is recorded with its text.
  auto gone = f.addRunnableProject("gone");
  std::filesystem::remove_all(gone.path);
  std::string message = failureMessage(f.handle(cmd::StartServer{gone.id}));
  EXPECT_NE(message.find(gone.path.string()), std::string::npos) << message;
  EXPECT_EQ(f.server(gone.id), (QSServer{gone.id, QSServerStatus::error, gone.port, {}, {}, message}));
}

TEST(EngineServerTest, ConsoleBufferKeepsTheLast500Lines) {
  EngineFixture f;
  auto p = f.addRunnableProject("chatty", "FAKE_SWIFT_FLOOD=2000\n");
  ASSERT_TRUE(f.handle(cmd::StartServer{p.id}).is<res::Ok>());
  ASSERT_TRUE(runUntil(f.io, [&] {
    auto lines = f.logs(p.id, 1);
    return !lines.empty() && lines.back().find("2000") != std::string::npos;
  }));
  auto lines = f.logs(p.id);
  ASSERT_EQ(lines.size(), 500u);
  EXPECT_NE(lines.front().find("1501"), std::string::npos) << lines.front();
  f.handle(cmd::StopServer{p.id});
}

TEST(EngineServerTest, RestartReplacesTheProcessAndAShutdownDuringOneLeavesNoServerRunning) {
  EngineFixture f;
  auto p = f.addRunnableProject("blog");
  startAndWaitUntilRunning(f, p);
  ASSERT_TRUE(f.handle(cmd::RestartServer{p.id}).is<res::Ok>());
  ASSERT_TRUE(runUntil(f.io, [&] { return f.server(p.id).status == QSServerStatus::running; }));
  f.io.run_for(std::chrono::milliseconds(300));
  EXPECT_EQ(f.server(p.id).status, QSServerStatus::running) << "the old process's exit was not taken as ours";
  EXPECT_FALSE(hasLine(f.logs(p.id), "[Server stopped]"));

  // A shutdown while a restart waits for a server that ignores SIGTERM.
  auto stubborn = f.addRunnableProject("stubborn", "FAKE_SWIFT_IGNORE_SIGTERM=1\n");
  startAndWaitUntilRunning(f, stubborn);
  std::optional<QSDaemonResult> restarted;
  asio::co_spawn(f.io, f.engine->handle(cmd::RestartServer{stubborn.id}),
                 [&](std::exception_ptr, QSDaemonResult result) { restarted = result; });
  testing::runUntilDone(f.io, f.engine->shutdown());
  ASSERT_TRUE(runUntil(f.io, [&] { return restarted.has_value(); }));
  EXPECT_EQ(failureMessage(*restarted), "quaysided is shutting down; no server is started now.");
  EXPECT_FALSE(portIsHeld(stubborn.port));
  EXPECT_FALSE(portIsHeld(p.port));
  EXPECT_EQ(failureMessage(f.handle(cmd::ListProjects{})), "quaysided is shutting down.");
}

TEST(EngineServerTest, StopEndsAForkedHelperOnThePortAndAStartOnAnotherServersPortFails) {
  EngineFixture f;
  auto p = f.addRunnableProject("forking", "FAKE_SWIFT_FORK_AND_EXIT=1\n");
  ASSERT_TRUE(f.handle(cmd::StartServer{p.id}).is<res::Ok>());
  ASSERT_TRUE(runUntil(f.io, [&] { return f.server(p.id).status == QSServerStatus::stopped; }));
  ASSERT_TRUE(portIsHeld(p.port)) << "the forked helper serves on";
  ASSERT_TRUE(f.handle(cmd::StopServer{p.id}).is<res::Ok>());
  EXPECT_FALSE(portIsHeld(p.port));

  // Another project's server holds the port.
  auto alpha = f.addRunnableProject("alpha");
  auto beta = f.addRunnableProject("beta");
  beta.port = alpha.port;
  f.handle(cmd::UpdateProject{beta});
  startAndWaitUntilRunning(f, alpha);
  std::string expected = "Port " + std::to_string(alpha.port) +
                         " is used by alpha's server. Stop alpha, or give beta another port, then start it again.";
  EXPECT_EQ(failureMessage(f.handle(cmd::StartServer{beta.id})), expected);
  EXPECT_EQ(f.server(beta.id).errorMessage, expected);
  EXPECT_EQ(f.server(alpha.id).status, QSServerStatus::running);
  EXPECT_TRUE(portIsHeld(alpha.port));
}

TEST(EngineServerTest, AProjectRenamedOrRemovedWhileItsServerStarts) {
  EngineFixture f;
  auto p = f.addRunnableProject("slow", "FAKE_SWIFT_HOLD_BUILD=1\n");
  ASSERT_TRUE(f.handle(cmd::StartServer{p.id}).is<res::Ok>());
  ASSERT_EQ(f.server(p.id).status, QSServerStatus::building);
  ASSERT_TRUE(f.handle(cmd::RenameProject{p.id, "slower"}).is<res::Project>());
  EXPECT_EQ(f.server(p.id).status, QSServerStatus::stopped);

  // Removed while its start chooses a toolchain: not launched.
  auto fleeting = f.addRunnableProject("fleeting");
  std::optional<QSDaemonResult> started;
  asio::co_spawn(f.io, f.engine->handle(cmd::StartServer{fleeting.id}),
                 [&](std::exception_ptr, QSDaemonResult result) { started = result; });
  ASSERT_TRUE(f.handle(cmd::RemoveProject{fleeting.id, false, false}).is<res::Ok>());
  ASSERT_TRUE(runUntil(f.io, [&] { return started.has_value(); }));
  EXPECT_EQ(failureMessage(*started), "No project matching '" + fleeting.id.string() + "'.");
  EXPECT_FALSE(portIsHeld(fleeting.port));
}

TEST(EngineServerTest, BootstrapStopsTheServersOfACrashedDaemon) {
  EngineFixture f;
  auto p = f.addRunnableProject("survivor");
  // What a crashed daemon leaves behind: the project's server, running on its own.
  QSChildLaunch launch{std::filesystem::path(qs::testing::fakeToolchainRoot()) / "usr/bin/swift",
                       {"run", "App", "serve", "--hostname", "127.0.0.1", "--port", std::to_string(p.port)},
                       p.path,
                       {}};
  auto leftover = QSChildProcess::spawn(launch);
  auto output = leftover->takeStandardOutput();
  while (testing::readFromPipe(output.get(), true).find("Server started") == std::string::npos) {
  }
  auto second = f.makeEngine();
  testing::runUntilDone(f.io, second->bootstrap());
  EXPECT_TRUE(testing::waitUntilGone(leftover->pid()));
  EXPECT_FALSE(portIsHeld(p.port));
  testing::runUntilDone(f.io, second->shutdown());
}

}  // namespace
}  // namespace qs
