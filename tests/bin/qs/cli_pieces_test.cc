// The pure pieces of qs: which project a name means, how records are laid out as text, and how
// a start is judged from the daemon's events.
#include "bin/qs/output.h"
#include "bin/qs/project_resolver.h"
#include "bin/qs/server_wait.h"
#include "support/sample_records.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using testing::sampleID;
using testing::sampleTime;

QSProject project(int n, std::string name, std::string path) {
  QSProject p = testing::minimalProject();
  p.id = sampleID(n);
  p.name = std::move(name);
  p.path = std::move(path);
  return p;
}

// What resolveProject answers: the chosen project's name, or the failure's message.
std::string resolve(const std::vector<QSProject>& projects, std::string_view query) {
  try {
    return resolveProject(projects, query).name;
  } catch (const QSDaemonException& e) {
    return "error: " + e.error().message();
  } catch (const QSCliError& e) {
    return "error: " + std::string(e.what());
  }
}

TEST(ProjectResolution, NamesAndIds) {
  std::vector<QSProject> projects{project(1, "blog", "/w/blog"), project(2, "Shop", "/w/Shop"),
                                  project(3, "shop", "/x/shop")};
  struct Case {
    std::string query;
    std::string expected;
  };
  const Case cases[] = {
      {"blog", "blog"},
      {"BLOG", "blog"},                                    // any letter case
      {sampleID(2).string(), "Shop"},                      // by id
      {"shop", "shop"},                                    // an exact name beats a case-insensitive one
      {"blo", "error: No project matching 'blo'."},        // no prefixes
  };
  for (const auto& c : cases) EXPECT_EQ(resolve(projects, c.query), c.expected) << c.query;
}

TEST(TextOutput, TablesAlignByCharacterNotByByte) {
  QSTextTable table({"NAME", "PORT", "PATH"});
  table.addRow({"café", "8080", "/w/café"});
  table.addRow({"blog", "80"});  // missing cells are empty; no trailing blanks
  table.addRow({"x", "", "/w/x"});
  EXPECT_EQ(table.render("> "),
            "> NAME  PORT  PATH\n"
            "> café  8080  /w/café\n"
            "> blog  80\n"
            "> x           /w/x\n");
  EXPECT_EQ(displayWidth("naïve…"), 6u);
  EXPECT_EQ(truncateToWidth("Starting server…", 15), "Starting server");
}

TEST(TextOutput, Records) {
  QSServer server{sampleID(1), QSServerStatus::running, 8080, 4242, std::nullopt, std::nullopt};
  EXPECT_EQ(describeServer(server), "running on http://127.0.0.1:8080 (pid 4242)");
  QSServer failed{sampleID(2), QSServerStatus::error, 9000, std::nullopt, std::nullopt, "Process exited with code 3"};
  EXPECT_EQ(describeServer(failed), "error: Process exited with code 3");

  QSEnvironmentVariable off{sampleID(9), "DEBUG", "1", std::nullopt, false};
  QSEnvironmentVariable on{sampleID(8), "PORT", "8080", "the port", true};
  EXPECT_EQ(formatEnvironment({on, off}), "PORT=8080\n# DEBUG=1\n");

  // Projects without a server record are stopped on their own port.
  QSProject blog = project(1, "blog", "/w/blog");
  QSProject shop = project(2, "shop", "/w/shop");
  shop.port = 9000;
  server.startedAt = sampleTime(60);
  EXPECT_EQ(formatServerList({blog, shop}, {server, failed}),
            "PROJECT  STATUS   PORT  STARTED                  MESSAGE\n"
            "blog     running  8080  2001-01-01 00:01:00 UTC\n"
            "shop     error    9000                           Process exited with code 3\n");
  EXPECT_EQ(formatServerList({shop}, {}), "PROJECT  STATUS   PORT  STARTED  MESSAGE\nshop     stopped  9000\n");

  // --json gives dates in ISO 8601.
  auto parsed = json::parse(jsonText(server));
  EXPECT_EQ(parsed["startedAt"], "2001-01-01T00:01:00.000Z");
  EXPECT_EQ(parsed["status"], "running");
}

TEST(TextOutput, ProjectDetails) {
  QSProject p = project(1, "blog", "/w/blog");
  p.swiftVersion = "6.0.3";
  p.createdAt = sampleTime(0);
  p.environmentVariables.push_back(testing::sampleVariable());
  QSServer stopped{p.id, QSServerStatus::stopped, 8080, std::nullopt, std::nullopt, std::nullopt};
  std::string details = formatProjectDetails(p, stopped);
  EXPECT_EQ(details.rfind("blog\n  ID:              00000000-0000-4000-8000-000000000001\n", 0), 0u) << details;
  for (const char* line : {"  Swift:           6.0.3 (pinned)\n", "  Domain:          none\n",
                           "  Variables:       1\n", "  Created:         2001-01-01 00:00:00 UTC\n"})
    EXPECT_NE(details.find(line), std::string::npos) << line << details;
}

TEST(LogFollowing, LinesFetchedAndStreamedAreNotRepeated) {
  using Lines = std::vector<std::string>;
  struct Case {
    Lines fetched;
    Lines arrived;
    std::size_t replayed;
  };
  const Case cases[] = {
      {{"a", "b", "c"}, {"b", "c", "d"}, 2},
      {{"a", "b", "c"}, {"a", "b", "c"}, 3},
      {{"x", "x"}, {"x", "x", "x"}, 2},  // repeated lines: only as many as were fetched
      {{"a", "b"}, {"a", "c"}, 0},       // a prefix must end the fetched lines
  };
  for (const auto& c : cases) EXPECT_EQ(replayedLineCount(c.fetched, c.arrived), c.replayed);
}

// Events of a start, as the daemon sends them.
QSEvent changed(int project, QSServerStatus status, std::optional<std::string> error = std::nullopt) {
  return evt::ServerChanged{QSServer{sampleID(project), status, 8123, std::nullopt, std::nullopt, error}};
}
QSEvent line(int project, std::string text) {
  return evt::LogLine{QSServiceRef(svc::Server{sampleID(project)}), std::move(text)};
}

TEST(StartWatch, VerdictsFromEventSequences) {
  using V = QSStartWatch::Verdict;
  struct Step {
    std::optional<QSEvent> event;  // none: the settle time passes
    V verdict;
    std::string progress = "";
  };
  struct Case {
    std::string name;
    bool underWay;
    std::vector<Step> steps;
    std::string failure = "";
  };
  const std::vector<Case> cases = {
      {"builds, runs, settles",
       false,
       {{changed(1, QSServerStatus::building), V::waiting},
        {line(1, "Fetching https://github.com/vapor/vapor.git"), V::waiting, "Fetching dependencies…"},
        {line(1, "[12/340] Compiling App routes.swift"), V::waiting, "Compiling [12/340]"},
        {line(2, "[300/340] Compiling Other thing.swift"), V::waiting, "Compiling [12/340]"},
        {line(1, "[340/340] Build complete! (1.2s)"), V::waiting, "Starting server…"},
        {changed(1, QSServerStatus::running), V::settling},
        {std::nullopt, V::running}}},
      {"crashes right after announcing itself",
       false,
       {{changed(1, QSServerStatus::building), V::waiting},
        {changed(1, QSServerStatus::running), V::settling},
        {changed(1, QSServerStatus::error, "Process exited with code 3"), V::failed},
        {std::nullopt, V::failed}},
       "Process exited with code 3"},
      {"a record from before the start is not its outcome",
       false,
       {{changed(1, QSServerStatus::error, "old"), V::waiting},
        {changed(1, QSServerStatus::running), V::waiting},
        {std::nullopt, V::waiting},
        {changed(1, QSServerStatus::starting), V::waiting},
        {changed(1, QSServerStatus::error, "Process exited with code 1"), V::failed}},
       "Process exited with code 1"},
      {"other projects do not count",
       false,
       {{changed(1, QSServerStatus::building), V::waiting},
        {changed(2, QSServerStatus::error, "theirs"), V::waiting},
        {changed(2, QSServerStatus::running), V::waiting}}},
      {"stopped during the build", false,
       {{changed(1, QSServerStatus::building), V::waiting}, {changed(1, QSServerStatus::stopped), V::failed}},
       "The server stopped before it was ready."},
      {"stopped while settling", true,
       {{changed(1, QSServerStatus::running), V::settling}, {changed(1, QSServerStatus::stopping), V::failed}},
       "The server stopped right after it started."},
      {"error without a message", true,
       {{changed(1, QSServerStatus::error), V::failed}},
       "The server failed to start."},
  };
  for (const auto& c : cases) {
    QSStartWatch watch(sampleID(1), c.underWay);
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const Step& step = c.steps[i];
      V verdict = step.event ? watch.observe(*step.event, sampleTime(0)) : watch.settled();
      EXPECT_EQ(verdict, step.verdict) << c.name << ", step " << i;
      if (!step.progress.empty()) {
        EXPECT_EQ(watch.progress(), step.progress) << c.name << ", step " << i;
      }
    }
    EXPECT_EQ(watch.failure(), c.failure) << c.name;
    if (watch.verdict() == V::running) {
      EXPECT_EQ(watch.port(), 8123);
    }
  }
}

}  // namespace
}  // namespace qs
