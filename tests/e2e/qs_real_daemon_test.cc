// The whole system as a user meets it: qs starts the quaysided that sits next to it, drives a
// project through it, and stops it again.
#include "e2e/e2e_support.h"

#include "core/platform/file_lock.h"

namespace qs::testing {
namespace {

#if QS_HAVE_QUAYSIDED

class RealDaemon : public E2ETest {
protected:
  // A daemon left by a test that failed half-way must not outlive it.
  ~RealDaemon() override { qs({"daemon", "stop"}); }
};

TEST_F(RealDaemon, StartedByQsItRunsProjectsUntilStopped) {
  auto started = qs({"daemon", "start"});  // no QS_DAEMON_EXECUTABLE: the quaysided beside qs
  ASSERT_EQ(started.status, 0) << started.err;
  EXPECT_EQ(started.out.rfind("The Quayside daemon is running (version ", 0), 0u) << started.out;
  auto status = json::parse(qsOK({"daemon", "status", "--json"}));
  EXPECT_EQ(status["executable"], std::string(QS_BIN_DIR) + "/quaysided");
  EXPECT_EQ(status["isCurrentBuild"], true);

  int port = freePort();
  qsOK({"new", "web", "--dir", (home.home() / "projects").string(), "--port", std::to_string(port), "--no-git"});
  qsOK({"pin", "web", "6.0.3"});
  auto running = qs({"start", "web", "--wait"});
  ASSERT_EQ(running.status, 0) << running.err;
  EXPECT_NE(running.out.find("Running on http://127.0.0.1:" + std::to_string(port)), std::string::npos);
  EXPECT_NE(httpGet(port, "/").find("It works!"), std::string::npos);
  // A server that sits out SIGTERM keeps the daemon busy for a while after its socket is gone.
  qsOK({"new", "stubborn", "--dir", (home.home() / "projects").string(), "--port", std::to_string(freePort()),
        "--no-git"});
  qsOK({"pin", "stubborn", "6.0.3"});
  qsOK({"env", "stubborn", "set", "FAKE_SWIFT_IGNORE_SIGTERM", "1"});
  qsOK({"start", "stubborn", "--wait"});

  // Stopping the daemon stops what it runs, and returns once the daemon has let the lock go.
  EXPECT_EQ(qsOK({"daemon", "stop"}), "Stopped the Quayside daemon.\n");
  EXPECT_FALSE(isLockedElsewhere(environment["QS_DAEMON_LOCK"]));
  EXPECT_EQ(httpGet(port, "/"), "");
  EXPECT_EQ(qs({"projects"}).status, 1);

  // The state outlives the daemon: a new one knows the project.
  qsOK({"daemon", "start"});
  EXPECT_EQ(json::parse(qsOK({"info", "web", "--json"}))["port"], port);
}

#endif

}  // namespace
}  // namespace qs::testing
