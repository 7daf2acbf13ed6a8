// The new-project scaffold: the files it writes, their texts, its checks, and the rename.
#include "core/runtime/project_scaffold.h"
#include "support/test_support.h"
#include "support/thrown_message.h"

#include <algorithm>

namespace qs {
namespace {

namespace fs = std::filesystem;
using testing::readTextFile;
using testing::thrownMessage;
using testing::TemporaryFolder;
using testing::writeTextFile;

QSProjectScaffold::Options optionsFor(const fs::path& parent, std::string name = "shop") {
  QSProjectScaffold::Options options;
  options.name = std::move(name);
  options.parentDirectory = parent;
  options.initializeGitRepository = false;
  return options;
}

std::vector<std::string> filesUnder(const fs::path& root) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file()) files.push_back(entry.path().lexically_relative(root).string());
  std::sort(files.begin(), files.end());
  return files;
}

// The file set with and without error pages, and the private .env with the port. The manifest
// names the package after the project; in the Leaf pages every "#" must be escaped or start a
// placeholder. (That the Swift parses: GeneratedSwiftTest; that its target runs: qs new and start,
// end to end.)
TEST(ProjectScaffold, WritesTheFileSetAndLeafPages) {
  std::vector<std::string> files = {
      ".env", ".gitignore", "Package.swift", "Sources/App/configure.swift", "Sources/App/entrypoint.swift",
      "Sources/App/routes.swift", "Tests/AppTests/AppTests.swift",
  };
  TemporaryFolder parent;
  for (bool pages : {false, true}) {
    // Missing parents are made.
    auto options = optionsFor(parent / "deep/er", pages ? "with-pages" : "plain");
    options.includeErrorPages = pages;
    options.port = 8123;
    auto folder = QSProjectScaffold::create(options, 1026);
    EXPECT_EQ(folder, parent.path() / "deep/er" / options.name);
    EXPECT_EQ(readTextFile(folder / ".env"),
              "PORT=8123\nMAIL_HOST=127.0.0.1\nMAIL_PORT=1026\nMAIL_ENCRYPTION=none\n")
        << "the port the catcher listens on";
    EXPECT_EQ(fs::status(folder / ".env").permissions(), fs::perms(0600));
    if (pages) {
      files.insert(files.end(), {"Resources/Views/404.leaf", "Resources/Views/500.leaf",
                                 "Resources/Views/error.leaf", "Sources/App/ErrorPageMiddleware.swift"});
      std::sort(files.begin(), files.end());
    }
    EXPECT_EQ(filesUnder(folder), files);

    auto manifest = readTextFile(folder / "Package.swift");
    EXPECT_NE(manifest.find("    name: \"" + options.name + "\",\n"), std::string::npos);
    EXPECT_EQ(manifest.find(R"(.product(name: "Leaf", package: "leaf"),)") != std::string::npos, pages);
    auto configure = readTextFile(folder / "Sources/App/configure.swift");
    EXPECT_EQ(configure.find("    app.middleware.use(ErrorPageMiddleware())\n") != std::string::npos, pages);
    for (const auto& file : files) {
      if (!file.ends_with(".leaf")) continue;
      auto text = readTextFile(folder / file);
      // Leaf starts a tag at every "#" before a letter or digit; only the placeholders may do so.
      for (std::size_t at = text.find('#'); at != std::string::npos; at = text.find('#', at + 1))
        EXPECT_TRUE(text[at - 1] == '\\' || text[at + 1] == '(') << file << ": " << text.substr(at, 10);
    }
  }
}

TEST(ProjectScaffold, RejectsUnusableNamesAndPortsBeforeWritingAnything) {
  struct Case {
    std::string name;
    int port;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"", 8080, "Enter a name for the project."},
      {std::string(256, 'a'), 8080, "A project name can\u2019t be longer than 255 bytes."},
      {"caf\xC3", 8080, "A project name must be valid UTF-8 text."},
      {"two\nlines", 8080, "A project name can\u2019t contain line breaks, tabs or other control characters."},
      {"say \"hi\"", 8080, "A project name can\u2019t contain \u201c\"\u201d."},
      {"back\\slash", 8080, "A project name can\u2019t contain \u201c\\\u201d."},
      {"../escape", 8080, "A project name can\u2019t contain \u201c/\u201d."},
      {" shop", 8080, "A project name can\u2019t start or end with a space."},
      {".hidden", 8080, "A project name can\u2019t start with a period."},
      {"shop", 65536, "Choose a port between 1 and 65535."},
  };
  TemporaryFolder parent;
  for (const auto& c : cases) {
    auto options = optionsFor(parent.path(), c.name);
    options.port = c.port;
    EXPECT_EQ(thrownMessage<QSScaffoldException>([&] { QSProjectScaffold::create(options, 1025); }), c.message)
        << c.name;
  }
  EXPECT_TRUE(fs::is_empty(parent.path()));

  auto options = optionsFor("");
  auto error = QSProjectScaffold::validationError(options);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->message(), "Choose a location for the project.");
  options = optionsFor(parent.path(), "Caf\u00e9 & Co. 2");
  EXPECT_FALSE(QSProjectScaffold::validationError(options).has_value());
}

TEST(ProjectScaffold, NeverWritesIntoSomethingThatExists) {
  TemporaryFolder parent;
  writeTextFile(parent / "shop/notes.txt", "keep me");
  writeTextFile(parent / "file", "a file");
  fs::create_symlink(parent / "nowhere", parent / "link");
  for (std::string name : {"shop", "file", "link"}) {
    auto options = optionsFor(parent.path(), name);
    EXPECT_EQ(thrownMessage<QSScaffoldException>([&] { QSProjectScaffold::create(options, 1025); }),
              "A folder named \u201c" + name +
                  "\u201d already exists in that location. Choose a different name or location.");
  }
  EXPECT_EQ(filesUnder(parent / "shop"), std::vector<std::string>{"notes.txt"});
  EXPECT_EQ(readTextFile(parent / "shop/notes.txt"), "keep me");
  EXPECT_EQ(readTextFile(parent / "file"), "a file");
  EXPECT_FALSE(fs::exists(parent / "nowhere"));
}

TEST(ProjectScaffold, RenameRewritesOnlyThePackageName) {
  TemporaryFolder folder;
  const std::string manifest = "// swift-tools-version:6.0\nlet package = Package(\n    name:\"old-name\",\n"
                               "    targets: [\n        .executableTarget(name: \"App\"),\n    ]\n)\n";
  writeTextFile(folder / "Package.swift", manifest);
  EXPECT_EQ(QSProjectScaffold::rewritePackageName(folder.path(), "New Name"), manifest);
  EXPECT_EQ(readTextFile(folder / "Package.swift"),
            "// swift-tools-version:6.0\nlet package = Package(\n    name: \"New Name\",\n"
            "    targets: [\n        .executableTarget(name: \"App\"),\n    ]\n)\n");

  // Names a new project could not have are refused; nothing changes.
  for (std::string bad : {"say \"hi\"", ""})
    EXPECT_THROW(QSProjectScaffold::rewritePackageName(folder.path(), bad), QSScaffoldException) << bad;
  EXPECT_NE(readTextFile(folder / "Package.swift").find("name: \"New Name\","), std::string::npos);
  // Nothing to keep in step without a manifest, and no folder is made.
  EXPECT_EQ(QSProjectScaffold::rewritePackageName(folder / "missing", "x"), std::nullopt);
  EXPECT_FALSE(fs::exists(folder / "missing"));
}

}  // namespace
}  // namespace qs
