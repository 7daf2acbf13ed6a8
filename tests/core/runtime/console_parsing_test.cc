// Console lines of a project server: readiness, request lines and the state
// transitions a console view derives from them.
#include "core/runtime/console_transition.h"
#include "core/runtime/log_parser.h"
#include "core/runtime/server_readiness.h"

#include <gtest/gtest.h>

#include <string>

namespace qs {
namespace {

using namespace std::chrono_literals;

TEST(ServerReadinessTest, ReadinessLines) {
  struct Case {
    const char* line;
    bool ready;
  } cases[] = {
      {"[ NOTICE ] Server started on http://0.0.0.0:8080", true},
      {"[ NOTICE ] Server starting on http://127.0.0.1:8080", true},
      {"http://0.0.0.0:8080 <- Server start", true},
      {"[ NOTICE ] Server started on 0.0.0.0:8080", false},
      {"[ NOTICE ] server started on http://0.0.0.0:8080", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(QSServerReadiness::indicatesServerReady(c.line), c.ready) << c.line;
}

TEST(LogParserTest, RequestLines) {
  struct Case {
    std::string line;
    std::optional<QSHTTPMethod> method;  // nothing: not a request line
    const char* path;
    int status;
    double duration;
  } cases[] = {
      {"[ INFO ] GET /hello 200 (12.5ms)", QSHTTPMethod::get, "/hello", 200, 0.0125},
      // What Vapor prints by default: no status, no duration.
      {"[ INFO ] GET /hello [request-id: 1C2D3E4F-0000-4000-8000-000000000000]", QSHTTPMethod::get, "/hello", 0, 0},
      {"2026-12-06T09:45:20Z App: [ NOTICE ] DELETE /todos/1?force=true 204 (3ms)", QSHTTPMethod::delete_,
       "/todos/1?force=true", 204, 0.003},
      {"[ INFO ]HEAD /x (7ms)", QSHTTPMethod::head, "/x", 0, 0.007},
      {"[ INFO ] PUT /a 2000 (1ms)", QSHTTPMethod::put, "/a", 0, 0},  // four digits are no status
      {"[ INFO ] GET /big 200 (1" + std::string(400, '0') + "ms)", QSHTTPMethod::get, "/big", 200, 0},
      {"[ INFO ] get /hello 200 (12.5ms)", std::nullopt, "", 0, 0},
      // The quick test for "may be a request" looks past a bracket that leads nowhere.
      {"[a] x [ INFO ]\tPOST /p 201", QSHTTPMethod::post, "/p", 201, 0},
      {"[ DEBUG ] flood 12", std::nullopt, "", 0, 0},
  };
  QSLogParser parser;
  QSUUID project = QSUUID::random();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    auto entry = parser.parse(c.line, project);
    ASSERT_EQ(entry.has_value(), c.method.has_value());
    if (!entry) continue;
    EXPECT_TRUE(QSLogParser::mayBeRequest(c.line));
    EXPECT_EQ(entry->method, *c.method);
    EXPECT_EQ(entry->path, c.path);
    EXPECT_EQ(entry->statusCode, c.status);
    EXPECT_DOUBLE_EQ(entry->duration, c.duration);
    EXPECT_EQ(entry->projectID, project);
    EXPECT_EQ(entry->source, QSLogSource::console);
  }
}

TEST(ConsoleTransitionTest, Lines) {
  const QSTimestamp now = QSTime::fromReferenceSeconds(800000000);
  const QSTimestamp earlier = now - 1h;
  using S = QSServerStatus;
  struct Case {
    QSServerConsoleState before;
    const char* line;
    QSServerConsoleState after;
  } cases[] = {
      {{S::starting, {}, "", false}, "[5/120] Compiling App routes.swift", {S::building, {}, "Compiling [5/120]", false}},
      {{S::building, {}, "Compiling [5/120]", false}, "[120/120] Linking App", {S::building, {}, "Linking [120/120]", false}},
      {{S::building, {}, "x", false}, "[9/9] Emitting module; Build complete in 2s", {S::building, {}, "Starting server…", false}},
      // The toolchain's own completion lines carry no brackets: `swift build`'s and `swift run`'s.
      {{S::building, {}, "Linking [120/120]", false}, "Build complete! (12.34s)", {S::building, {}, "Starting server…", false}},
      {{S::building, {}, "Linking [8/9]", false}, "Build of product 'App' complete! (0.89s)", {S::building, {}, "Starting server…", false}},
      {{S::building, {}, "x", false}, "Note: Build complete!", {S::building, {}, "x", false}},
      // What real `swift run` prints between the counters changes nothing.
      {{S::building, {}, "Compiling [3/6]", false}, "[4/7] Emitting module App", {S::building, {}, "Compiling [3/6]", false}},
      // A bracketed compile line without a counter moves the status but keeps the progress text.
      {{S::starting, {}, "", false}, "[ Compiling ] App", {S::building, {}, "", false}},
      // The counter need not come first; a line naming both takes "Compiling".
      {{S::building, {}, "", false}, "App [7/10] Linking after Compiling", {S::building, {}, "Compiling [7/10]", false}},
      {{S::starting, {}, "", false}, "Fetching https://github.com/vapor/vapor.git", {S::building, {}, "Fetching dependencies…", true}},
      {{S::stopped, {}, "", false}, "Resolving https://github.com/vapor/vapor.git", {S::building, {}, "Resolving dependencies…", true}},
      {{S::building, {}, "Linking [120/120]", true}, "[ NOTICE ] Server started on http://0.0.0.0:8080", {S::running, now, "", true}},
      // Several checks on one line: the later ones win.
      {{S::starting, {}, "", false}, "[3/10] Compiling Fetching.swift", {S::building, {}, "Fetching dependencies…", true}},
      {{S::building, {}, "", false}, "[2/2] Build complete! Server started on http://0.0.0.0:8080", {S::running, now, "", false}},
      // Once the server runs, its own lines do not make it look like it is building again.
      {{S::running, earlier, "", false}, "[ INFO ] GET /Updating [1/2] Linking 200", {S::running, earlier, "", false}},
      {{S::stopping, earlier, "", false}, "[ INFO ] Fetching the weather", {S::stopping, earlier, "", false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    QSServerConsoleState state = c.before;
    detectStateTransition(state, c.line, now);
    EXPECT_EQ(rawValue(state.status), rawValue(c.after.status));
    EXPECT_EQ(state.buildProgress, c.after.buildProgress);
    EXPECT_EQ(state.isResolvingDependencies, c.after.isResolvingDependencies);
    EXPECT_EQ(state.startedAt, c.after.startedAt);
  }
}

}  // namespace
}  // namespace qs
