// Servers through qs: a new project built and run with the fake toolchain, its logs followed,
// a crashing one, and the event stream.
#include "e2e/e2e_support.h"
#include "support/test_locations.h"

#include <fmt/format.h>

namespace qs::testing {
namespace {

class Servers : public E2ETest {
protected:
  Servers() : port(freePort()) { startDaemon(); }

  int port;
};

TEST_F(Servers, StartWatchServeLogStopAndAutoStartSetting) {
  auto created = newProject("site", port);
  EXPECT_EQ(created.rfind("Created site in " + (home.home() / "projects/site").string() + ".\n", 0), 0u)
      << created;
  std::string started = qsOK({"start", "site", "--watch", "--wait"});
  // Not a terminal: plain progress lines (maybe none: the server's readiness on standard output can
  // beat the toolchain's progress on standard error), then the address and the watch.
  EXPECT_TRUE(started.ends_with("Running on http://127.0.0.1:" + std::to_string(port) +
                                "\nWatching site: saved changes rebuild it while it serves.\n"))
      << started;
  EXPECT_EQ(started.find('\r'), std::string::npos);

  EXPECT_NE(httpGet(port, "/hello").find("Hello, world!"), std::string::npos);
  auto logs = qsOK({"logs", "site"});
  EXPECT_NE(logs.find("[ INFO ] GET /hello [request-id: "), std::string::npos) << logs;
  EXPECT_EQ(qsOK({"logs", "site", "-n", "1"}), logs.substr(logs.rfind('\n', logs.size() - 2) + 1));

  EXPECT_EQ(qsOK({"start", "site"}), "site is already running on http://127.0.0.1:" + std::to_string(port) + ".\n");
  auto servers = json::parse(qsOK({"servers", "--json"}));
  ASSERT_EQ(servers.size(), 1u);
  EXPECT_EQ(servers[0]["status"], "running");
  EXPECT_EQ(servers[0]["port"], port);
  EXPECT_TRUE(servers[0].contains("startedAt"));
  EXPECT_EQ(json::parse(qsOK({"watch", "site", "--json"})), (json{{"project", "site"}, {"watch", true}}));
  EXPECT_EQ(qsOK({"watch", "site", "off"}), "site isn't watched: restart it yourself after a change.\n");

  EXPECT_EQ(qsOK({"stop", "site", "--wait"}), "Stopped site.\n");
  EXPECT_EQ(json::parse(qsOK({"servers", "--json"}))[0]["status"], "stopped");
  EXPECT_EQ(httpGet(port, "/hello"), "");  // nobody listens any more

  // (Started again by a new daemon: the routing test's restarts.)
  EXPECT_EQ(qsOK({"autostart", "site", "on"}), "site's server starts whenever the daemon starts.\n");
  EXPECT_EQ(json::parse(qsOK({"autostart", "site", "--json"}))["autoStart"], true);
  EXPECT_EQ(qsOK({"autostart", "site", "off"}), "site's server starts only when you start it.\n");
}

TEST_F(Servers, WaitsAndRequestsEndWithinTheirTimeLimits) {
  // A toolchain whose server never gets past its build.
  auto slowToolchain = home.home() / "slow-toolchains/swift-7.0.0/usr/bin/swift";
  writeTextFile(slowToolchain, "#!/bin/sh\nexec sleep 600\n");
  std::filesystem::permissions(slowToolchain, std::filesystem::perms::owner_all);
  startDaemon((home.home() / "slow-toolchains").string());
  newProject("slow", port);
  qsOK({"pin", "slow", "7.0.0"});

  // The start is under way before the timed wait, so that the wait's few requests are answered
  // at once however busy the machine is, and only the server's readiness can run out of time.
  EXPECT_EQ(qsOK({"start", "slow"}), "Starting slow. Follow it with 'qs logs slow -f'.\n");
  EXPECT_EQ(qsFails({"start", "slow", "--wait", "--timeout", "1"}),
            "qs: slow isn't serving after 1 second; it goes on starting. Follow it with 'qs logs slow "
            "-f'.\n");

  // A daemon that no longer answers (stopped by a signal here) is not waited for without end.
  ::kill(daemon->pid(), SIGSTOP);
  std::string stuck = qsFails({"start", "slow", "--wait", "--timeout", "1"});
  ::kill(daemon->pid(), SIGCONT);
  EXPECT_EQ(stuck, "qs: The Quayside daemon isn't answering: no reply within 1 second.\n");
  EXPECT_EQ(qsOK({"stop", "slow"}), "Stopped slow.\n");
}

// (A server that crashes after announcing itself: the start watch's verdicts.)
TEST_F(Servers, AFailedBuildOrAHeldPortFailsTheWait) {
  newProject("crash", port);
  // A build that fails never serves: the error, then what the console said last.
  qsOK({"env", "crash", "set", "FAKE_SWIFT_FAIL_BUILD", "1"});
  std::string failed = qsFails({"start", "crash", "--wait"});
  EXPECT_EQ(failed.rfind("qs: Process exited with code 1\nThe console's last lines:\n", 0), 0u) << failed;
  EXPECT_NE(failed.find("error: cannot find 'foo' in scope"), std::string::npos) << failed;

  // A port somebody else holds is named.
  qsOK({"env", "crash", "unset", "FAKE_SWIFT_FAIL_BUILD"});
  auto holder = startListener(qs::testing::binFolder() + "/qs_test_listener", port);
  std::string taken = qsFails({"start", "crash", "--wait"});
  holder.process->signal(SIGKILL);
  EXPECT_NE(taken.find("Address already in use"), std::string::npos) << taken;
  EXPECT_NE(taken.find(fmt::format("\nPort {} is held by qs_test_listener (pid {}): stop it, or give crash "
                                   "another port.\n",
                                   port, holder.process->pid())),
            std::string::npos)
      << taken;
}

TEST_F(Servers, FollowLogsAndEvents) {
  newProject("live", port);
  RunningQs events({"events", "servers"}, environment, home.home());
  // `qs events` prints nothing until an event comes: stopping the stopped server makes one, and
  // once it is printed the subscription is known to be in place.
  bool subscribed = false;
  for (int attempt = 0; attempt < 100 && !subscribed; ++attempt) {
    qsOK({"stop", "live"});
    subscribed = events.tryReadUntil("\"stopped\"", std::chrono::milliseconds(300));
  }
  ASSERT_TRUE(subscribed) << events.output();

  qsOK({"start", "live", "--wait"});
  RunningQs logs({"logs", "live", "-f"}, environment, home.home());
  logs.readUntil("Server started on");  // printed after the subscription was made
  httpGet(port, "/hello");
  const std::string& printed = logs.readUntil("GET /hello [request-id: ");
  // Every line once: the lines fetched and those streamed do not overlap.
  EXPECT_EQ(printed.find("Server started on"), printed.rfind("Server started on")) << printed;

  events.readUntil("\"running\"");
  EXPECT_EQ(events.interrupt(), 0) << events.errors();
  std::vector<std::string> statuses;
  std::istringstream lines(events.output());
  for (std::string line; std::getline(lines, line);)
    statuses.push_back(json::parse(line)["serverChanged"]["_0"]["status"].get<std::string>());  // an object a line
  std::erase(statuses, "stopped");
  EXPECT_EQ(statuses, (std::vector<std::string>{"building", "running"}));

  // A flood of console lines, less than a subscriber's backlog: the follower, taking them in batches,
  // prints each once and in order. (Followers of single lines: the daemon server's test.)
  const int floodLines = 20000;
  qsOK({"env", "live", "set", "FAKE_SWIFT_FLOOD", std::to_string(floodLines)});
  qsOK({"restart", "live"});
  const std::string lastLine = "[ DEBUG ] flood " + std::to_string(floodLines) + "\n";
  logs.readUntil(lastLine);
  EXPECT_EQ(logs.interrupt(), 0) << logs.errors();
  EXPECT_EQ(logs.errors(), "");
  std::size_t at = logs.output().find("[ DEBUG ] flood 1\n");
  ASSERT_NE(at, std::string::npos);
  std::string expected;
  for (int n = 1; n <= floodLines; ++n) expected += "[ DEBUG ] flood " + std::to_string(n) + "\n";
  EXPECT_EQ(logs.output().substr(at, expected.size()), expected);
  EXPECT_EQ(logs.output().find("not shown"), std::string::npos);

  // A follower ends when the daemon stops, and says why.
  RunningQs follower({"logs", "live", "-f"}, environment, home.home());
  follower.readUntil(lastLine);  // the newest line kept, fetched once the subscription is made
  daemon.reset();
  EXPECT_EQ(follower.finish(), 1);
  EXPECT_EQ(follower.errors(), "qs: The Quayside daemon stopped. Start it again with 'qs daemon start'.\n");
}

}  // namespace
}  // namespace qs::testing
