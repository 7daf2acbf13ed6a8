// The generated redirect table against the real nft: loaded inside a private network namespace,
// it sends 127.0.0.1:80 and :443 to the proxy's ports.
#include "core/platform/process_runner.h"
#include "core/routing/privileged_files.h"
#include "core/routing/shell_quoting.h"
#include "support/test_support.h"
#include "support/test_locations.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using testing::TemporaryFolder;
using testing::writeTextFile;

namespace fs = std::filesystem;

// Whether this machine lets an unprivileged user own a network namespace; why not, when not.
std::optional<std::string> namespacesUnavailable() {
  auto result = runProcess({"unshare", "-rn", "true"}, {.mergeErrorIntoOutput = true});
  if (result.succeeded()) return std::nullopt;
  return "unprivileged user and network namespaces are unavailable here (unshare -rn: " + result.output + ")";
}

TEST(RedirectTableTest, LoadedTableSendsLocalPorts80And443ToTheProxy) {
  if (auto why = namespacesUnavailable()) GTEST_SKIP() << *why;
  auto nft = QSSystemRoot().tool("nft");
  ASSERT_TRUE(nft) << "nft is missing: run scripts/install-deps";
  TemporaryFolder folder;
  auto table = folder / "redirect.nft";
  writeTextFile(table, routingFiles::redirectTable(7080, 7443));
  auto listener = shellQuoted((fs::path(qs::testing::binFolder()) / "qs_test_listener").string());
  auto dir = shellQuoted(folder.path().string());
  auto n = shellQuoted(nft->string());
  auto t = shellQuoted(table.string());
  // In a fresh namespace nothing listens on 80 or 443: a connection there succeeds only when
  // the table sends it to a listener on the proxy's ports. Each listener is waited for through a
  // FIFO on which it announces itself.
  std::string script =
      "set -e\n"
      "trap 'kill $(jobs -p) 2>/dev/null' EXIT\n"
      "ip link set lo up\n"
      "mkfifo " + dir + "/h " + dir + "/s\n" +
      listener + " 7080 > " + dir + "/h 2>/dev/null &\nexec 3<" + dir + "/h\nread -r _ _ <&3\n" +
      listener + " 7443 > " + dir + "/s 2>/dev/null &\nexec 4<" + dir + "/s\nread -r _ _ <&4\n"
      "probe() { if (echo -n > /dev/tcp/127.0.0.1/$1) 2>/dev/null; then echo \"$1 open\"; else echo \"$1 closed\"; fi; }\n"
      "probe 80; probe 443\n" +
      n + " -f " + t + "\nprobe 80; probe 443\n" +
      n + " -f " + t + "\n" +  // loading again replaces the table
      n + " list table inet quayside | grep -c redirect\n" +
      n + " delete table inet quayside\nprobe 80; probe 443\n";
  QSProcessOptions options;
  options.input = script;
  auto result = runProcess({"unshare", "-rn", "/bin/bash", "-s"}, options);
  EXPECT_EQ(result.exitStatus, 0) << result.errorOutput;
  EXPECT_EQ(result.output,
            "80 closed\n443 closed\n"
            "80 open\n443 open\n"
            "2\n"
            "80 closed\n443 closed\n");
}

}  // namespace
}  // namespace qs
