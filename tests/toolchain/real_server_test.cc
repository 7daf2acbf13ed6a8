// The real toolchain end to end: a package that serves like a Vapor app, added, built, run and
// stopped through qs and the real daemon. (Watch mode, restarts, the records and the server's own
// lines: the end-to-end tests with the fake toolchain.)
#include "toolchain/toolchain_support.h"

#include "e2e/e2e_support.h"
#include "support/test_locations.h"

#include <fmt/format.h>

namespace qs::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kProject = "fixture-app";

class RealToolchain : public E2ETest {
protected:
  void SetUp() override {
    QS_REQUIRE_SWIFT();
    port = freePort();
    // Each test keeps its package in the build tree: its `.build` survives from one run to the
    // next, so a run compiles only what it changed. The fixture's files replace the package's own.
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    app = fs::path(toolchainCacheFolder()) / (std::string(test->test_suite_name()) + "." + test->name());
    fs::remove_all(app / "Sources");
    fs::create_directories(app);
    fs::copy(fs::path(fixturesFolder()) / "swift-app", app,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    writeTextFile(app / ".env", fmt::format("PORT={}\n", port));
    // A greeting of this run: the build compiles it, and the server that answers with it is new.
    greeting = "Hello from " + QSUUID::random().string();
    writeTextFile(app / "Sources/App/Greeting.swift", "let greeting = \"" + greeting + "\"\n");
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

TEST_F(RealToolchain, StartStopAndABuildError) {
  auto started = qs({"start", kProject, "--wait"});
  ASSERT_EQ(started.status, 0) << started.err << daemon->log();
  // Progress as plain lines (no terminal), from `swift run`'s own output, then the address.
  EXPECT_NE(started.out.find("Compiling ["), std::string::npos) << started.out;
  EXPECT_NE(started.out.find("Starting server…"), std::string::npos) << started.out;
  EXPECT_NE(started.out.find(fmt::format("Running on http://127.0.0.1:{}\n", port)), std::string::npos);
  EXPECT_TRUE(answers(greeting));
  EXPECT_NE(logs().find("Build of product 'App' complete!"), std::string::npos) << logs();
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
}

// What the toolchain leaves in a package tells a first build from a later one.
TEST_F(RealToolchain, DiscoveryAndColdBuildsFromTheRealBuildFolder) {
  // The machine's own toolchain is listed with the version its compiler gives.
  auto toolchains = json::parse(qsOK({"toolchains", "--json"}));
  auto own = std::find_if(toolchains.begin(), toolchains.end(), [](const json& t) { return !t["isDefault"]; });
  ASSERT_NE(own, toolchains.end()) << toolchains.dump();
  std::string installed = (*own)["version"];
  auto version = runProcess({realSwift()->string(), "--version"}).output;
  EXPECT_EQ(version.rfind("Swift version " + installed + " (", 0), 0u) << version;

  // A pin on the installed version builds with it; a pin on a missing one names what there is.
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
