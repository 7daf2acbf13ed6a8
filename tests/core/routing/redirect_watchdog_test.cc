// The watchdog script, run for real against a stand-in nft. Its `sleep` is a stand-in too, which
// hands each finished cycle to the test and waits for the test to set up the next one: the test
// steps the loop instead of waiting on its clock.
#include "core/platform/child_process.h"
#include "core/routing/privileged_files.h"
#include "core/routing/privileged_test_support.h"
#include "support/another_user.h"
#include "support/process_helpers.h"

#include <gmock/gmock.h>
#include <signal.h>
#include <sys/stat.h>

#include <fstream>

namespace qs {
namespace {

using namespace testing;
using ::testing::ElementsAre;

namespace fs = std::filesystem;

class SteppedWatchdog {
public:
  SteppedWatchdog(const StandInSystem& stand, int proxyPort, const fs::path& table) {
    ::mkfifo((steps_ / "ticks").c_str(), 0600);
    ::mkfifo((steps_ / "go").c_str(), 0600);
    auto q = [](const fs::path& p) { return shellQuoted(p.string()); };
    writeTextFile(steps_ / "bin/sleep",
                  "#!/bin/bash\necho tick > " + q(steps_ / "ticks") + "\nread -r _ < " + q(steps_ / "go") + "\n");
    fs::permissions(steps_ / "bin/sleep", fs::perms::owner_all);
    writeTextFile(steps_ / "watchdog.sh", routingFiles::watchdogScript(QSRoutingPorts{.http = proxyPort}, stand.tools / "nft", table));
    std::string path = (steps_ / "bin").string() + ":" + std::getenv("PATH");
    process_ = QSChildProcess::spawn({"/bin/bash", {(steps_ / "watchdog.sh").string()}, steps_.path(), {{"PATH", path}}});
  }
  ~SteppedWatchdog() {
    process_->signalGroup(SIGKILL);
    testing::waitUntilGone(process_->pid());
  }
  // Blocks until the watchdog has finished a cycle and sits in its sleep.
  void awaitCycle() {
    std::ifstream ticks(steps_ / "ticks");
    std::string line;
    std::getline(ticks, line);
    ASSERT_EQ(line, "tick");
  }
  // Lets the sleeping watchdog start its next cycle.
  void next() { std::ofstream(steps_ / "go") << "go\n"; }

private:
  TemporaryFolder steps_;
  std::shared_ptr<QSChildProcess> process_;
};

TEST(RedirectWatchdogTest, FollowsTheProxyAndReloadsAfterAnOutsideFlush) {
  StandInSystem stand;
  TemporaryFolder bin;
  auto table = stand.root / "etc/quayside/redirect.nft";
  auto proxy = testing::startListener(testing::listenerNamed(bin.path(), "proxy"), 0);
  SteppedWatchdog watchdog(stand, proxy.port, table);
  auto load = "-f " + table.string();
  const std::string list = "list table inet quayside", remove = "delete table inet quayside";

  watchdog.awaitCycle();  // the proxy is up: loaded on the first cycle
  EXPECT_THAT(stand.calls("nft"), ElementsAre(load));
  EXPECT_TRUE(stand.tableLoaded());

  watchdog.next();
  watchdog.awaitCycle();  // still up and loaded: only checked
  EXPECT_THAT(stand.calls("nft"), ElementsAre(load, list));

  stand.flushTable();  // someone ran `nft flush ruleset`
  watchdog.next();
  watchdog.awaitCycle();
  EXPECT_THAT(stand.calls("nft"), ElementsAre(load, list, list, load));
  EXPECT_TRUE(stand.tableLoaded());

  proxy.process->signal(SIGKILL);
  ASSERT_TRUE(testing::waitUntilGone(proxy.process->pid()));
  watchdog.next();
  watchdog.awaitCycle();  // the proxy went down: deleted once
  EXPECT_THAT(stand.calls("nft"), ElementsAre(load, list, list, load, remove));
  EXPECT_FALSE(stand.tableLoaded());

  watchdog.next();
  watchdog.awaitCycle();  // still down: left alone
  EXPECT_EQ(stand.calls("nft").size(), 5u);
}

// While the proxy is down, another local account may bind its port: the redirect must not send
// every user's port-80/443 traffic there (and a table left loaded by an earlier run goes).
TEST(RedirectWatchdogTest, IgnoresAListenerOfAnotherAccount) {
  if (!testing::canRunAsAnotherUser()) GTEST_SKIP() << "this process may not run commands as another user";
  StandInSystem stand;
  auto listener = QSChildProcess::spawn(
      {"/usr/bin/setpriv",
       {"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/python3", "-c",
        "import signal, socket\ns = socket.socket()\ns.bind(('127.0.0.1', 0))\ns.listen()\n"
        "print('listening', s.getsockname()[1], flush=True)\nsignal.pause()\n"},
       "/",
       {}});
  auto output = listener->takeStandardOutput();
  std::string line = testing::readFromPipe(output.get(), true);
  ASSERT_TRUE(line.starts_with("listening ")) << line;
  int port = std::stoi(line.substr(10));
  writeTextFile(stand.folder / "nft-table-loaded", "");
  {
    SteppedWatchdog watchdog(stand, port, stand.root / "etc/quayside/redirect.nft");
    watchdog.awaitCycle();
    EXPECT_THAT(stand.calls("nft"), ElementsAre("delete table inet quayside"));
    EXPECT_FALSE(stand.tableLoaded());
  }
  listener->signal(SIGKILL);
  testing::waitUntilGone(listener->pid());
}

}  // namespace
}  // namespace qs
