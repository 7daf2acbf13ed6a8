// One request seen by the proxy and printed by the server is logged once, as the proxy saw it.
#include "core/runtime/request_log_merge.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using namespace std::chrono_literals;

QSLogEntry entry(QSLogSource source, QSTimestamp at, int status, const std::string& path = "/hello") {
  QSLogEntry e;
  e.timestamp = at;
  e.method = QSHTTPMethod::get;
  e.path = path;
  e.statusCode = status;
  e.source = source;
  return e;
}

TEST(RequestLogMergeTest, PairsTheProxyAndTheConsoleWithinTwoSeconds) {
  const QSTimestamp t0 = QSTime::fromReferenceSeconds(800000000);
  using S = QSLogSource;
  struct Step {
    bool fromProxy;
    std::chrono::milliseconds at;
    int status;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<S> logged;  // the sources of the entries kept, oldest first
  } cases[] = {
      {"proxy first, console 0.5 s later", {{true, 0ms, 200}, {false, 500ms, 0}}, {S::proxy}},
      {"proxy 3 s after the console", {{false, 0ms, 0}, {true, 3000ms, 200}}, {S::console, S::proxy}},
      {"console 3 s after the proxy", {{true, 0ms, 200}, {false, 3000ms, 0}}, {S::proxy, S::console}},
      {"a console line with a status stays", {{false, 0ms, 404}, {true, 100ms, 404}}, {S::console, S::proxy}},
      {"each proxied request swallows one console line",
       {{true, 0ms, 200}, {true, 10ms, 200}, {false, 20ms, 0}, {false, 30ms, 0}, {false, 40ms, 0}},
       {S::proxy, S::proxy, S::console}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QSRequestLogMerge log(500);
    for (const auto& step : c.steps) {
      auto e = entry(step.fromProxy ? S::proxy : S::console, t0 + step.at, step.status);
      if (step.fromProxy)
        log.addProxyEntry(e, t0 + step.at);
      else
        log.addConsoleEntry(e, t0 + step.at);
    }
    std::vector<S> kept;
    for (const auto& e : log.entries()) kept.push_back(*e.source);
    EXPECT_EQ(kept, c.logged);
  }
}

// The console entry is replaced where it stands; one of another method, or further back than
// the newest 50, is not the proxied request. The log keeps the newest up to its capacity.
TEST(RequestLogMergeTest, ReplacesInPlaceOnlyTheSameRequestAmongTheNewestAndKeepsUpToItsCapacity) {
  const QSTimestamp t0 = QSTime::fromReferenceSeconds(800000000);
  QSRequestLogMerge log(500);
  for (const char* path : {"/first", "/hello", "/last"}) log.addConsoleEntry(entry(QSLogSource::console, t0, 0, path), t0);
  log.addProxyEntry(entry(QSLogSource::proxy, t0 + 1s, 200), t0 + 1s);
  ASSERT_EQ(log.entries().size(), 3u);
  EXPECT_EQ(log.entries()[1].path, "/hello");
  EXPECT_EQ(log.entries()[1].source, QSLogSource::proxy);

  QSLogEntry post = entry(QSLogSource::proxy, t0 + 1s, 201, "/last");
  post.method = QSHTTPMethod::post;
  log.addProxyEntry(post, t0 + 1s);
  EXPECT_EQ(log.entries().size(), 4u);

  log.clear();
  log.addConsoleEntry(entry(QSLogSource::console, t0, 0, "/old"), t0);
  for (int i = 0; i < 50; ++i) log.addConsoleEntry(entry(QSLogSource::console, t0, 0, "/x" + std::to_string(i)), t0);
  log.addProxyEntry(entry(QSLogSource::proxy, t0, 200, "/old"), t0);
  EXPECT_EQ(log.entries().size(), 52u);
  EXPECT_EQ(log.entries().front().statusCode, 0);

  QSRequestLogMerge small(3);
  for (int i = 0; i < 5; ++i)
    small.addConsoleEntry(entry(QSLogSource::console, t0, 0, "/" + std::to_string(i)), t0);
  ASSERT_EQ(small.entries().size(), 3u);
  EXPECT_EQ(small.entries().front().path, "/2");
  EXPECT_EQ(small.entries().back().path, "/4");
}

}  // namespace
}  // namespace qs
