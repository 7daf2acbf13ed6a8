// Reading a project folder: Package.swift and the port in .env.
#include "core/runtime/project_detector.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using testing::TemporaryFolder;
using testing::writeTextFile;

const char* const kManifest = R"(// swift-tools-version:5.9
let package = Package(
    name: "HelloVapor",
    dependencies: [
        .package(url: "https://github.com/vapor/vapor.git", from: "4.99.3"),
    ],
    targets: [
        .target(name: "Shared"),
        .executableTarget(
            name: "App",
            dependencies: [.product(name: "Vapor", package: "vapor")]
        ),
        .testTarget(name: "AppTests", dependencies: [.target(name: "App")]),
    ]
)
)";

TEST(ProjectDetectorTest, Manifest) {
  struct Case {
    std::optional<std::string> manifest;  // nothing: no Package.swift
    bool isVapor;
    std::optional<std::string> name;
    std::optional<std::string> target;
  } cases[] = {
      {kManifest, true, "HelloVapor", "App"},
      {"// Built for VAPOR one day\nlet package = Package(name:\"Tool\", targets: [.target(name: \"Tool\")])",
       true, "Tool", std::nullopt},
      {"let package = Package(name: \"CLI\", targets: [.executableTarget(name: \"cli\")])", false, "CLI", "cli"},
      {"", false, std::nullopt, std::nullopt},
      {std::nullopt, false, std::nullopt, std::nullopt},
  };
  QSProjectDetector detector;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.manifest.value_or("(no Package.swift)"));
    TemporaryFolder folder;
    if (c.manifest) writeTextFile(folder / "Package.swift", *c.manifest);
    EXPECT_EQ(detector.isVaporProject(folder.path()), c.isVapor);
    EXPECT_EQ(detector.projectName(folder.path()), c.name);
    EXPECT_EQ(detector.executableTargetName(folder.path()), c.target);
  }
}

// Which target runs as the server, for the layouts Vapor's templates and applications use.
TEST(ProjectDetectorTest, ServerTarget) {
  const std::string appLibrary = R"(.target(name: "App", dependencies: [.product(name: "Vapor", package: "vapor")]),)";
  struct Case {
    std::string targets;
    std::vector<std::string> mainFiles;  // folders holding main.swift
    std::optional<std::string> server;
  } cases[] = {
      // The 2020-21 template: a library App and a plain target Run holding main.swift.
      {appLibrary + R"(.target(name: "Run", dependencies: [.target(name: "App")]),
        .testTarget(name: "AppTests", dependencies: [.target(name: "App"), .product(name: "XCTVapor", package: "vapor")]))",
       {"Sources/Run"}, "Run"},
      {appLibrary + R"(.target(name: "Serve", dependencies: ["App"], path: "Tools/serve"))", {"Tools/serve"}, "Serve"},
      {appLibrary + R"(.target(name: "Run", dependencies: ["App"]))", {}, std::nullopt},
      // A command-line tool listed before the server.
      {R"(.executableTarget(name: "migrate-tool", dependencies: []),
        .executableTarget(name: "Server", dependencies: [.product(name: "Vapor", package: "vapor")]))",
       {}, "Server"},
      {appLibrary + R"(.executableTarget(name: "seed"), .executableTarget(name: "Run", dependencies: [.target(name: "App")]))",
       {"Sources/seed"}, "Run"},
      {R"(.executableTarget(name: "one"), .executableTarget(name: "two"))", {}, "one"},
      // An executable target wins over a plain one with main.swift.
      {R"(.target(name: "Old"), .executableTarget(name: "New"))", {"Sources/Old"}, "New"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.targets);
    TemporaryFolder folder;
    writeTextFile(folder / "Package.swift", "let package = Package(name: \"p\", targets: [\n" + c.targets + "\n])\n");
    for (const auto& sources : c.mainFiles) writeTextFile(folder / sources / "main.swift", "");
    EXPECT_EQ(QSProjectDetector().executableTargetName(folder.path()), c.server);
  }
}

// The port comes from the project's first PORT= line of its .env. (Its variables: the .env reader's.)
TEST(ProjectDetectorTest, Port) {
  struct Case {
    std::optional<std::string> env;  // nothing: no .env
    int port;
  } cases[] = {
      {std::nullopt, 8080},
      {"PORT=9000\n", 9000},
      {"export PORT=9000\n", 8080},
      {"DATABASE_URL=postgres://x\r\nPORT=3000\r\n", 3000},
      {"PORT=3000\nPORT=4000", 3000},
      {"PORT=99999999999999999999\nPORT=4000\n", 8080},  // unparsable: no second look
      {"APP_PORT=5000\nPORT=", 8080},
  };
  QSProjectDetector detector;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.env.value_or("(no .env)"));
    TemporaryFolder folder;
    if (c.env) writeTextFile(folder / ".env", *c.env);
    EXPECT_EQ(detector.detectPort(folder.path()), c.port);
  }
}

}  // namespace
}  // namespace qs
