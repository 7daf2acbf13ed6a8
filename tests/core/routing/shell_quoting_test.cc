// What reaches a root script or a system unit: quoted so it stays one word, refused when it
// cannot be made safe; and reading back the resolver entry we wrote.
#include "core/routing/privileged_helper.h"
#include "core/routing/privileged_test_support.h"
#include "core/routing/shell_quoting.h"

#include <gmock/gmock.h>

namespace qs {
namespace {

using namespace testing;

TEST(ShellQuotingTest, QuotesAndRefuses) {
  EXPECT_EQ(shellQuoted("/home/o'brien/it's"), "'/home/o'\\''brien/it'\\''s'");
  EXPECT_EQ(shellQuoted("$(rm -rf /) `x` \"y\""), "'$(rm -rf /) `x` \"y\"'");
  EXPECT_EQ(unitPath("/srv/my root/100%/$HOME/a\"b"), "\"/srv/my root/100%%/$$HOME/a\\\"b\"");

  const std::string refused[] = {"relative/path", "", "/tmp/new\nline", std::string("/tmp/nul\0x", 10), "/tmp/tab\there"};
  for (const auto& path : refused) EXPECT_THROW(shellPath(path), QSPrivilegedException) << path;
  EXPECT_EQ(thrownMessage<QSPrivilegedException>([] { shellPath("x/y"); }),
            "The path 'x/y' can't be handed to a script run as administrator (it must be absolute and hold no control "
            "characters).");
  EXPECT_EQ(checkedPort(65535), "65535");
  EXPECT_THROW(checkedPort(-1), QSPrivilegedException);
}

TEST(ShellQuotingTest, ReadsBackTheResolverEntry) {
  StandInSystem stand;
  QSPrivilegedHelper helper(stand.system(), nullptr);
  auto file = helper.layout().resolverFile;
  EXPECT_EQ(helper.configuredResolverPort(), std::nullopt);
  struct Case {
    std::string text;
    std::optional<int> port;
    bool configuredFor5300;
  };
  const Case cases[] = {
      {"[Resolve]\nDNS=127.0.0.1:5300\nDomains=~test\n", 5300, true},
      // A longer port that starts with the same digits is another port.
      {"[Resolve]\nDNS=127.0.0.1:53001\nDomains=~test\n", 53001, false},
      {"[Resolve]\nDNS=127.0.0.1:99999\nDomains=~test\n", std::nullopt, false},
      {"[Resolve]\nDNS=127.0.0.1:0\nDomains=~test\n", std::nullopt, false},
      // Another tool's global DNS server: not a route for .test.
      {"[Resolve]\nDNS=127.0.0.1:5300\n", 5300, false},
      {"# DNS=127.0.0.1:5300\n", std::nullopt, false},
  };
  for (const auto& c : cases) {
    writeTextFile(file, c.text);
    EXPECT_EQ(helper.configuredResolverPort(), c.port) << c.text;
    EXPECT_EQ(helper.isResolverConfigured(5300), c.configuredFor5300) << c.text;
  }
}

}  // namespace
}  // namespace qs
