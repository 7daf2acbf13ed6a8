#include "core/routing/domain_names.h"
#include "core/routing/web_port_conflict.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

TEST(DomainNames, OneLowerCaseLabelUnderTest) {
  for (const char* valid : {"blog.test", "my-app2.test", "a.test", "0.test"}) EXPECT_TRUE(isValidHostname(valid)) << valid;
  for (const char* invalid : {"api.blog.test", "-blog.test", "blog-.test", "Blog.test", "blog.com", ".test", "test",
                              "../x.test", "a/b.test", "a b.test", "blog.test.", "blog_x.test", "blog.test\n"})
    EXPECT_FALSE(isValidHostname(invalid)) << invalid;
}

TEST(WebPortConflict, MergesListenersAndWordsTheWarning) {
  auto listing = [](int port) {
    std::vector<ListeningProcess> out{{12, "nginx", true}};
    if (port == 80) out.push_back({7, "caddy", false});
    return out;
  };
  auto conflict = QSWebPortConflict::detect(true, listing);
  ASSERT_TRUE(conflict);
  EXPECT_TRUE(conflict->isLikelyHerd);
  EXPECT_EQ(conflict->summary(), "caddy (PID 7, port 80) and nginx (PID 12, ports 80 and 443)");
  EXPECT_EQ(conflict->warningMessage(),
            "Laravel Herd (caddy (PID 7, port 80) and nginx (PID 12, ports 80 and 443)) is currently serving these "
            "ports. Enabling .test routing redirects all local traffic on ports 80/443 to Quayside, so its sites will "
            "stop loading until you disable .test routing again.");

  EXPECT_FALSE(QSWebPortConflict::detect(false, listing)->isLikelyHerd);
  EXPECT_FALSE(QSWebPortConflict::detect(true, [](int) { return std::vector<ListeningProcess>{}; }));
}

}  // namespace
}  // namespace qs
