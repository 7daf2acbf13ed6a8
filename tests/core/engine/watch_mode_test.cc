// Watch mode with the fake toolchain: a saved source rebuilds the project beside its running
// server and restarts it on the new build; failures, storms, stops, a vanished folder and the
// inotify limit. The fake's server answers GET /hello with Sources/App/Greeting.txt as of its
// last build, so the test can tell the old server from the new one.
#include "engine_test_support.h"

#include "core/engine/project_watch.h"
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <csignal>

namespace qs {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::EngineFixture;
using testing::runUntil;
using testing::writeTextFile;

class WatchModeTest : public ::testing::Test {
protected:
  WatchModeTest() {
    f.remakeEngine([](QSDaemonServiceOptions& options) { options.watch.debounce = 50ms; });
  }

  // A project in watch mode whose server runs and answers `greeting`.
  QSProject startWatched(const std::string& name, const std::string& extraEnv = "",
                         const std::string& greeting = "first") {
    auto p = f.addRunnableProject(name, extraEnv);
    writeTextFile(p.path / "Sources/App/Greeting.txt", greeting);
    EXPECT_TRUE(f.handle(cmd::SetWatch{p.id, true}).is<res::Project>());
    EXPECT_TRUE(f.handle(cmd::StartServer{p.id}).is<res::Ok>());
    EXPECT_TRUE(runUntil(f.io, [&] { return answers(p, greeting); }));
    return p;
  }

  int linesWith(const QSProject& p, std::string_view text) {
    int count = 0;
    for (const auto& line : f.logs(p.id)) count += line.find(text) != std::string::npos;
    return count;
  }
  bool logged(const QSProject& p, std::string_view text) { return linesWith(p, text) > 0; }
  bool answers(const QSProject& p, const std::string& text) {
    auto response = testing::httpGet(p.port, "/hello");
    return response.size() >= text.size() && response.compare(response.size() - text.size(), text.size(), text) == 0;
  }

  EngineFixture f;
};

TEST_F(WatchModeTest, ASaveRebuildsBesideTheServerThenRestartsItOnTheNewBuild) {
  auto p = startWatched("blog");
  EXPECT_TRUE(logged(p, "[Watching blog: saving a file in Sources/, Package.swift or Package.resolved rebuilds it"));
  // Turned off and on again while it runs: it is watched again at once.
  auto answer = f.handle(cmd::SetWatch{p.id, false});
  ASSERT_TRUE(answer.is<res::Project>());
  EXPECT_FALSE(answer.get<res::Project>()->value.watchesSources());
  EXPECT_TRUE(logged(p, "[Watch mode is off: saved changes no longer rebuild the server]"));
  f.handle(cmd::SetWatch{p.id, true});
  EXPECT_EQ(linesWith(p, "[Watching blog: "), 2);

  writeTextFile(p.path / "Sources/App/Greeting.txt", "second");
  ASSERT_TRUE(runUntil(f.io, [&] { return answers(p, "second"); })) << ::testing::PrintToString(f.logs(p.id));
  ASSERT_TRUE(runUntil(f.io, [&] { return f.server(p.id).status == QSServerStatus::running; }));
  EXPECT_TRUE(logged(p, "[Rebuilding blog: Sources/App/Greeting.txt changed]"));
  EXPECT_TRUE(logged(p, "[Rebuilt blog: restarting it on the new build]"));
  EXPECT_EQ(f.server(p.id).activity, std::nullopt);

  // Published: rebuilding while the old server runs, then the new server's start.
  f.collectEvents();
  std::vector<std::string> seen;
  for (auto& e : f.events)
    if (auto* s = e.get<evt::ServerChanged>(); s && s->value.id == p.id)
      seen.push_back(std::string(rawValue(s->value.status)) + (s->value.activity ? "+" + *s->value.activity : ""));
  auto rebuilding = std::find(seen.begin(), seen.end(), "running+rebuilding");
  ASSERT_NE(rebuilding, seen.end()) << ::testing::PrintToString(seen);
  EXPECT_EQ(std::vector<std::string>(rebuilding, seen.end()),
            (std::vector<std::string>{"running+rebuilding", "building", "running"}));
}

TEST_F(WatchModeTest, AFailedBuildKeepsTheOldServerAndTheRecordCarriesTheFailure) {
  auto p = startWatched("blog");
  writeTextFile(p.path / "Sources/App/Greeting.txt", "broken");
  ASSERT_TRUE(runUntil(f.io, [&] { return logged(p, "[Rebuild failed (exit 1): blog goes on serving"); }));
  EXPECT_TRUE(logged(p, "error: cannot find 'foo' in scope"));
  auto server = f.server(p.id);
  EXPECT_EQ(server.status, QSServerStatus::running);
  EXPECT_EQ(server.activity, std::nullopt);
  EXPECT_EQ(server.errorMessage, "The rebuild failed (swift build exited with code 1); the server still runs the "
                                 "last good build. The compiler's errors are in the console.");
  EXPECT_TRUE(answers(p, "first"));

  // Mended, it rebuilds and the new server's record is clean again.
  writeTextFile(p.path / "Sources/App/Greeting.txt", "mended");
  ASSERT_TRUE(runUntil(f.io, [&] { return answers(p, "mended"); }));
  ASSERT_TRUE(runUntil(f.io, [&] { return f.server(p.id).status == QSServerStatus::running; }));
  EXPECT_EQ(f.server(p.id).errorMessage, std::nullopt);
}

// The fake's `swift build` waits at a gate: builds that start while it is shut can only be
// cancelled, so exactly the builds that should finish do.
TEST_F(WatchModeTest, AStormGivesOneBuildAndAChangeDuringABuildStartsItAgain) {
  auto gate = f.home.home() / "gate";
  auto p = startWatched("blog", "FAKE_SWIFT_BUILD_GATE=" + gate.string() + "\n");
  // A checkout of 500 files, new folders and resources (which never rebuild) included.
  writeTextFile(p.path / "Resources/Views/index.leaf", "<p>hi</p>");
  writeTextFile(p.path / "Public/site.css", "body {}");
  for (int i = 0; i < 500; ++i)
    writeTextFile(p.path / ("Sources/App/Generated" + std::to_string(i % 5) + "/File" + std::to_string(i) + ".swift"),
                  "// " + std::to_string(i));
  writeTextFile(p.path / "Sources/App/Greeting.txt", "stormed");
  ASSERT_TRUE(runUntil(f.io, [&] { return logged(p, "[Rebuilding blog: "); }));
  // Saved again while that build waits: it is ended and a new one starts.
  writeTextFile(p.path / "Sources/App/Greeting.txt", "final");
  ASSERT_TRUE(runUntil(f.io, [&] { return logged(p, "[More changes during the build: building blog again]"); }));
  ASSERT_TRUE(runUntil(f.io, [&] { return linesWith(p, "[Rebuilding blog: ") == 2; }));
  writeTextFile(gate, "open");
  ASSERT_TRUE(runUntil(f.io, [&] { return answers(p, "final"); }));
  EXPECT_EQ(linesWith(p, "[Rebuilt blog: restarting it on the new build]"), 1);
  EXPECT_EQ(linesWith(p, "[Rebuilding blog: "), 2);
  EXPECT_FALSE(logged(p, "Resources/")) << "resources never start a build";
  EXPECT_FALSE(logged(p, "Public/"));
}

TEST_F(WatchModeTest, StopDuringABuildEndsBothAndABuildThatNeverEndsIsBounded) {
  f.remakeEngine([](QSDaemonServiceOptions& options) {
    options.watch.debounce = 50ms;
    options.watch.buildLimit = 1s;  // the build below never ends by itself: it always meets the limit
  });
  auto record = f.home.home() / "record";
  auto p = startWatched("blog", "FAKE_SWIFT_BUILD_GATE=" + (f.home.home() / "shut").string() +
                                    "\nFAKE_SWIFT_RECORD=" + record.string() + "\n");
  writeTextFile(p.path / "Sources/App/Greeting.txt", "never");
  ASSERT_TRUE(runUntil(f.io, [&] { return logged(p, "[The rebuild of blog did not end within 1 second and was stopped"); }));
  EXPECT_EQ(f.server(p.id).errorMessage,
            "The rebuild did not end within 1 second and was stopped; the server still runs the last good build.");
  EXPECT_TRUE(answers(p, "first"));

  // Another build under way when the server is stopped: neither is left running.
  writeTextFile(p.path / "Sources/App/Greeting.txt", "again");
  ASSERT_TRUE(runUntil(f.io, [&] { return linesWith(p, "[Rebuilding blog: ") == 2; }));
  // The processes of the fake's `swift build`, as it recorded them when it started.
  auto recordedBuilds = [&] {
    std::vector<int> builds;
    std::istringstream blocks(fs::exists(record) ? testing::readTextFile(record) : "");
    int pid = 0;
    for (std::string line; std::getline(blocks, line);) {
      if (line.rfind("pid=", 0) == 0) pid = std::stoi(line.substr(4));
      if (line == "arg=build") builds.push_back(pid);
    }
    return builds;
  };
  ASSERT_TRUE(runUntil(f.io, [&] { return recordedBuilds().size() == 2; }));
  auto builds = recordedBuilds();
  ASSERT_TRUE(f.handle(cmd::StopServer{p.id}).is<res::Ok>());
  for (int build : builds) EXPECT_NE(::kill(build, 0), 0) << "build " << build << " still runs";
  EXPECT_EQ(f.server(p.id), (QSServer{p.id, QSServerStatus::stopped, p.port, {}, {}, {}}));
  EXPECT_EQ(testing::httpGet(p.port, "/hello"), "");
}

TEST_F(WatchModeTest, AVanishedFolderOrTheWatchLimitLeavesTheServerRunningUnwatched) {
  auto p = startWatched("blog");
  fs::rename(p.path, f.home.home() / "moved");
  ASSERT_TRUE(runUntil(f.io, [&] {
    return logged(p, "[Watch ended: the project folder " + p.path.string() +
                         " was removed or renamed; the server runs unwatched.]");
  }));
  EXPECT_EQ(f.server(p.id).status, QSServerStatus::running);
  EXPECT_TRUE(answers(p, "first"));
  ASSERT_TRUE(f.handle(cmd::StopServer{p.id}).is<res::Ok>());

  f.remakeEngine([](QSDaemonServiceOptions& options) { options.watch.maxWatches = 2; });
  auto capped = f.addRunnableProject("capped");
  writeTextFile(capped.path / "Sources/App/Models/User.swift", "// four folders to watch");
  f.handle(cmd::SetWatch{capped.id, true});
  ASSERT_TRUE(f.handle(cmd::StartServer{capped.id}).is<res::Ok>());
  ASSERT_TRUE(runUntil(f.io, [&] { return f.server(capped.id).status == QSServerStatus::running; }));
  EXPECT_TRUE(logged(capped, "[Watch mode is off for capped: the system's limit on inotify watches is reached. Raise "
                             "fs.inotify.max_user_watches (for example 'sudo sysctl "
                             "fs.inotify.max_user_watches=524288') and turn watch mode on again; the server runs "
                             "unwatched.]"));
}

TEST(WatchInputTest, OnlySourcesAndTheManifestRebuild) {
  const fs::path root = "/p/blog";
  struct Case {
    const char* path;
    bool input;
  } cases[] = {
      {"/p/blog/Package.swift", true},        {"/p/blog/Package.resolved", true},
      {"/p/blog/.build/debug/App", false},    {"/p/blog/Sources2/x.swift", false},
  };
  for (const auto& c : cases) EXPECT_EQ(QSSourceChanges::isBuildInput(root, c.path), c.input) << c.path;
}

}  // namespace
}  // namespace qs
