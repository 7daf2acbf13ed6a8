// Telling a first build and changed dependencies from what the toolchain left in the package.
#include "core/runtime/cold_build.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(ColdBuildTest, FromTheBuildFolderAndPackageResolved) {
  const auto resolvedAt = fs::file_time_type::clock::now() - 1h;
  struct Case {
    const char* name;
    bool state;                              // .build/workspace-state.json exists
    std::optional<fs::file_time_type> pins;  // Package.resolved's time
    QSColdBuild kind;
  } cases[] = {
      {"never built", false, std::nullopt, QSColdBuild::firstBuild},
      {"built, no dependencies", true, std::nullopt, QSColdBuild::none},
      {"built, pins as resolved", true, resolvedAt, QSColdBuild::none},
      {"pins changed since", true, resolvedAt + 1s, QSColdBuild::dependenciesChanged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TemporaryFolder package;
    if (c.state) {
      testing::writeTextFile(package / ".build/workspace-state.json", "{}");
      fs::last_write_time(package / ".build/workspace-state.json", resolvedAt);
    }
    if (c.pins) {
      testing::writeTextFile(package / "Package.resolved", "{}");
      fs::last_write_time(package / "Package.resolved", *c.pins);
    }
    EXPECT_EQ(detectColdBuild(package.path()), c.kind);
  }
  EXPECT_EQ(coldBuildNotice(QSColdBuild::none), std::nullopt);
  EXPECT_EQ(coldBuildNotice(QSColdBuild::firstBuild),
            "First build — fetching dependencies and compiling from scratch. This can take a few minutes; later "
            "builds are much faster.");
  EXPECT_EQ(coldBuildNotice(QSColdBuild::dependenciesChanged),
            "Dependencies changed — resolving and recompiling. This build will be slower than usual.");
}

}  // namespace
}  // namespace qs
