// The Swift that Quayside writes (new projects, exported sites) compiles as far as it can here:
// the real compiler parses every file. Vapor itself cannot be fetched, so types are not checked.
#include "toolchain/toolchain_support.h"

#include "app/site/site_documents.h"
#include "app/site/vapor_exporter.h"
#include "core/runtime/project_scaffold.h"

namespace qs {
namespace {

using testing::swiftFilesUnder;
using testing::swiftParseErrors;
using testing::TemporaryFolder;

// Names a user may type: punctuation, shell syntax, non-ASCII, Swift keywords and escapes.
const std::vector<std::string> kHostileNames{"blog", "my-app 2", "Ünïcödé Shop", "$(touch pwned)", "it's",
                                             "class", "a#b{c}", "x\\u{41}y"};

TEST(GeneratedSwiftTest, EveryScaffoldCombinationParses) {
  QS_REQUIRE_SWIFT();
  TemporaryFolder parent;
  int created = 0, accepted = 0;
  for (const auto& name : kHostileNames) {
    for (bool errorPages : {false, true}) {
      SCOPED_TRACE(name + (errorPages ? " with error pages" : ""));
      QSProjectScaffoldOptions options;
      options.name = name;
      options.parentDirectory = parent / (std::to_string(created++));
      options.includeErrorPages = errorPages;
      // Names the scaffold refuses (a backslash) never reach Swift.
      if (QSProjectScaffold::validationError(options)) continue;
      ++accepted;
      auto folder = QSProjectScaffold::create(options, 1025);
      auto files = swiftFilesUnder(folder);
      ASSERT_EQ(files.size(), errorPages ? 6u : 5u);  // Package.swift and the sources and tests
      EXPECT_EQ(swiftParseErrors(files), "");
    }
  }
  EXPECT_EQ(accepted, 14) << "all names but the one with a backslash";
}

TEST(GeneratedSwiftTest, EverySiteExportParses) {
  QS_REQUIRE_SWIFT();
  TemporaryFolder parent;
  int exported = 0;
  for (const char* document : {"minimal.brp", "shop.brp", "hostile.brp"}) {
    for (const auto& name : kHostileNames) {
      SCOPED_TRACE(std::string(document) + " as " + name);
      auto project = sitetest::exportWithoutFonts(sitetest::fixture(document), name);
      auto folder = parent / std::to_string(exported++);
      for (const auto& file : project.files)
        if (file.relativePath.ends_with(".swift")) testing::writeTextFile(folder / file.relativePath, file.content);
      auto files = swiftFilesUnder(folder);
      ASSERT_FALSE(files.empty());
      EXPECT_EQ(swiftParseErrors(files), "");
    }
  }
}

}  // namespace
}  // namespace qs
