// The real toolchain end to end: a package that serves like a Vapor app, added, built, run,
// logged, restarted, stopped and watched through qs and the real daemon.
#include "toolchain/toolchain_support.h"

#include "e2e/e2e_support.h"
#include "support/test_locations.h"

#include <fmt/format.h>

namespace qs::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kProject = "fixture-app";

// Each test keeps its package in a folder of the build tree, so that its `.build` survives from
// one run to the next and a run compiles only what it changed.
fs::path cachedPackage() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  return fs::path(qs::testing::toolchainCacheFolder()) / (std::string(test->test_suite_name()) + "." + test->name());
}

std::string greetingSource(const std::string& text) { return "let greeting = \"" + text + "\"\n"; }

class RealToolchain : public E2ETest {
protected:
  void SetUp() override {
    QS_REQUIRE_SWIFT();
    port = freePort();
    app = cachedPackage();
    copyFixtureApp(app);
    writeTextFile(app / ".env", fmt::format("PORT={}\n", port));
    // A greeting of this run: the build compiles it, and the server that answers with it is new.
    greeting = "Hello from " + QSUUID::random().string();
    writeTextFile(app / "Sources/App/Greeting.swift", greetingSource(greeting));
    startDaemon("");  // no toolchain folders: the machine's own Swift
    auto added = qsOK({"add", app.string()});
    ASSERT_EQ(added.rfind(std::string("Added ") + kProject + ".", 0), 0u) << added;
  }

  std::string logs() { return qsOK({"logs", kProject, "-n", "500"}); }
  bool answers(const std::string& text) { return httpGet(port, "/hello").find(text) != std::string::npos; }

  int port = 0;
  fs::path app;
  std::string greeting;
};

TEST_F(RealToolchain, StartLogsRequestsRestartStopAndABuildError) {
  auto started = qs({"start", kProject, "--wait"});
  ASSERT_EQ(started.status, 0) << started.err << daemon->log();
  // Progress as plain lines (no terminal), from `swift run`'s own output, then the address.
  EXPECT_NE(started.out.find("Compiling ["), std::string::npos) << started.out;
  EXPECT_NE(started.out.find("Starting server…"), std::string::npos) << started.out;
  EXPECT_NE(started.out.find(fmt::format("Running on http://127.0.0.1:{}\n", port)), std::string::npos);
  auto servers = json::parse(qsOK({"servers", "--json"}));
  EXPECT_EQ(servers[0]["status"], "running");

  EXPECT_TRUE(answers(greeting));
  httpGet(port, "/missing?page=2");
  std::string console = logs();
  for (std::string line : {std::string("Build of product 'App' complete!"),
                           fmt::format("[ NOTICE ] Server started on http://0.0.0.0:{}", port),
                           std::string("[ INFO ] GET /hello [request-id: "),
                           std::string("[ INFO ] GET /missing [request-id: ")})
    EXPECT_NE(console.find(line), std::string::npos) << line << "\n" << console;

  auto restarted = qs({"restart", kProject, "--wait"});
  ASSERT_EQ(restarted.status, 0) << restarted.err;
  EXPECT_TRUE(answers(greeting));
  EXPECT_EQ(qsOK({"stop", kProject}), std::string("Stopped ") + kProject + ".\n");
  EXPECT_EQ(httpGet(port, "/hello"), "");
  EXPECT_TRUE(QSPortScanner().processesListening(port).empty()) << "nothing is left on the port";

  // A syntax error: the compiler's lines, and the start ends in error.
  writeTextFile(app / "Sources/App/Greeting.swift", "let greeting = \"broken\" +\n");
  auto failed = qs({"start", kProject, "--wait"});
  EXPECT_EQ(failed.status, 1) << failed.out;
  EXPECT_EQ(failed.err.rfind("qs: Process exited with code 1\nThe console's last lines:\n", 0), 0u) << failed.err;
  EXPECT_NE(failed.err.find("Greeting.swift:2:1: error: expected expression after operator"), std::string::npos)
      << failed.err;
  EXPECT_EQ(json::parse(qsOK({"servers", "--json"}))[0]["status"], "error");
}

TEST_F(RealToolchain, WatchRebuildsBesideTheServerAndKeepsItOnAFailedBuild) {
  RunningQs events({"events", "servers"}, environment, home.home());
  auto started = qs({"start", kProject, "--watch", "--wait"});
  ASSERT_EQ(started.status, 0) << started.err << daemon->log();
  EXPECT_NE(started.out.find(std::string("Watching ") + kProject), std::string::npos) << started.out;
  EXPECT_TRUE(answers(greeting));
  EXPECT_NE(qsOK({"info", kProject}).find("Watch"), std::string::npos);

  // A save rebuilds it, and the server that answers afterwards runs the new build.
  std::string changed = greeting + " (changed)";
  writeTextFile(app / "Sources/App/Greeting.swift", greetingSource(changed));
  ASSERT_TRUE(pollUntil([&] { return answers(changed); }, std::chrono::seconds(300))) << logs();
  events.readUntil("\"activity\":\"rebuilding\"");
  std::string console = logs();
  EXPECT_NE(console.find(std::string("[Rebuilding ") + kProject + ": Sources/App/Greeting.swift changed]"),
            std::string::npos)
      << console;
  EXPECT_NE(console.find("Build of product 'App' complete!"), std::string::npos) << console;

  // A save that does not compile: the compiler's lines, the failure on the record, and the
  // server of the last good build goes on answering.
  writeTextFile(app / "Sources/App/Greeting.swift", "let greeting = \"broken\" +\n");
  ASSERT_TRUE(pollUntil([&] { return logs().find("[Rebuild failed (exit 1)") != std::string::npos; },
                        std::chrono::seconds(300)));
  console = logs();
  EXPECT_NE(console.find("Greeting.swift:2:1: error: expected expression after operator"), std::string::npos)
      << console;
  auto server = json::parse(qsOK({"servers", "--json"}))[0];
  EXPECT_EQ(server["status"], "running");
  EXPECT_NE(std::string(server["errorMessage"]).find("The rebuild failed"), std::string::npos) << server.dump();
  EXPECT_TRUE(answers(changed));
  EXPECT_EQ(qsOK({"stop", kProject}), std::string("Stopped ") + kProject + ".\n");
}

// What the toolchain leaves in a package tells a first build from a later one.
TEST_F(RealToolchain, DiscoveryAndColdBuildsFromTheRealBuildFolder) {
  auto toolchains = json::parse(qsOK({"toolchains", "--json"}));
  auto swift = realSwift()->string();
  auto version = runProcess({swift, "--version"});
  bool listed = false;
  for (const auto& t : toolchains) {
    // Paths travel as file URLs.
    std::string text = t["path"];
    fs::path path = text.rfind("file://", 0) == 0 ? text.substr(7) : text;
    if (realSwift()->parent_path() != path && path / "usr/bin/swift" != *realSwift()) continue;
    listed = true;
    EXPECT_EQ(version.output.rfind("Swift version " + std::string(t["version"]) + " (", 0), 0u) << version.output;
  }
  EXPECT_TRUE(listed) << toolchains.dump();

  // A pin on the installed version builds with it; a pin on a missing one names what there is.
  std::string installed = (*std::find_if(toolchains.begin(), toolchains.end(),
                                         [](const json& t) { return !t["isDefault"]; }))["version"];
  EXPECT_EQ(qsOK({"pin", kProject, installed}).find("isn't installed"), std::string::npos);
  auto missing = qsOK({"pin", kProject, "1.0"});
  EXPECT_NE(missing.find("Swift 1.0 isn't installed; installed: " + installed + " ("), std::string::npos) << missing;
  qsOK({"pin", kProject, installed});

  fs::remove_all(app / ".build");
  auto first = qs({"start", kProject, "--wait"});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_NE(logs().find("[First build — fetching dependencies and compiling from scratch."), std::string::npos);
  auto again = qs({"restart", kProject, "--wait"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(logs().find("First build"), std::string::npos) << "the second build is incremental";
  qsOK({"stop", kProject});
}

}  // namespace
}  // namespace qs::testing
