// Finding installed toolchains and choosing one for a project's pinned version.
#include "core/runtime/toolchain_service.h"

#include "core/platform/file_status.h"
#include "support/test_support.h"
#include "support/test_locations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace qs {
namespace {

namespace fs = std::filesystem;
using testing::IsolatedHome;
using testing::ScopedEnvironment;
using testing::TemporaryFolder;
using testing::readTextFile;
using testing::writeTextFile;

void makeCompiler(const fs::path& path, const std::string& script = "#!/bin/sh\nexit 0\n") {
  writeTextFile(path, script);
  fs::permissions(path, fs::perms::owner_all);
}

void makeToolchain(const fs::path& folder) { makeCompiler(folder / "usr/bin/swift"); }

// Only the toolchains under `root`: a machine may have real ones in /opt/swift.
std::vector<QSToolchain> under(const fs::path& root, std::vector<QSToolchain> toolchains) {
  std::erase_if(toolchains, [&](const QSToolchain& t) { return t.path.string().rfind(root.string(), 0) != 0; });
  return toolchains;
}

class ToolchainDiscoveryTest : public ::testing::Test {
protected:
  void SetUp() override {
    makeToolchain(swiftly() / "5.10.1");
    makeToolchain(first / "swift-6.0.3-RELEASE-ubuntu22.04");
    makeToolchain(first / "main-snapshot-2024-12-10");  // no version in its name
    fs::create_directories(first / "swift-5.9/usr/bin");  // no compiler
    writeTextFile(first / "swift-5.8/usr/bin/swift", "not executable");
    writeTextFile(first / "notes-1.2.txt", "a file, not a folder");
    makeToolchain(second / "6.1");
  }

  fs::path swiftly() const { return fs::path(std::getenv("XDG_DATA_HOME")) / "swiftly/toolchains"; }

  IsolatedHome home;
  TemporaryFolder roots;
  fs::path first = roots / "first";
  fs::path second = roots / "second";
  ScopedEnvironment dirs{{{"QS_TOOLCHAIN_DIRS", first.string() + "::" + (roots / "missing").string() + ":" +
                                                      second.string() + ":" + first.string()}}};
};

TEST_F(ToolchainDiscoveryTest, FindsFoldersWithAVersionAndACompilerAndChoosesForAProject) {
  QSToolchainService service;
  auto mine = [&](std::vector<QSToolchain> all) {
    auto fromSwiftly = under(swiftly(), all);
    auto fromRoots = under(roots.path(), all);
    fromSwiftly.insert(fromSwiftly.end(), fromRoots.begin(), fromRoots.end());
    return fromSwiftly;
  };
  std::vector<QSToolchain> expected{
      {"5.10.1", "5.10.1", swiftly() / "5.10.1", false, "swiftly"},
      {"swift-6.0.3-RELEASE-ubuntu22.04", "6.0.3", first / "swift-6.0.3-RELEASE-ubuntu22.04", false,
       "QS_TOOLCHAIN_DIRS"},
      {"6.1", "6.1", second / "6.1", false, "QS_TOOLCHAIN_DIRS"},
  };
  EXPECT_EQ(mine(service.discoverToolchains()), expected);

  TemporaryFolder projectFolder;
  QSProject project;
  project.path = projectFolder.path();
  project.swiftVersion = "6.0.3";
  EXPECT_EQ(service.toolchainPath(project), first / "swift-6.0.3-RELEASE-ubuntu22.04");
  writeTextFile(projectFolder / ".swift-version", "\n  6.1 \n");
  EXPECT_EQ(service.toolchainPath(project), second / "6.1");  // the pin file wins
  project.swiftVersion.reset();
  writeTextFile(projectFolder / ".swift-version", "6.0\n");
  EXPECT_EQ(service.toolchainPath(project), std::nullopt);  // versions match whole, never as a prefix
}

// A tarball unpacked into /opt/swift is one toolchain whose folder name says no version: the
// compiler is asked. A pin nobody has names what is installed. (Not the version of the machine's
// own /opt/swift, which is searched first.)
TEST(ToolchainRootTest, ARootThatIsAToolchainAndAPinThatIsMissing) {
  IsolatedHome home;
  TemporaryFolder roots;
  makeCompiler(roots / "swift/usr/bin/swift",
               "#!/bin/sh\necho 'Swift version 6.2.4 (swift-6.2.4-RELEASE)'\necho 'Target: x86_64-unknown-linux-gnu'\n");
  makeToolchain(roots / "folder/swift-6.0.3-RELEASE");
  ScopedEnvironment dirs({{"QS_TOOLCHAIN_DIRS", (roots / "swift").string() + ":" + (roots / "folder").string()}});
  QSToolchainService service;
  EXPECT_EQ(under(roots.path(), service.installedToolchains()),
            (std::vector<QSToolchain>{{"swift", "6.2.4", roots / "swift", false, "QS_TOOLCHAIN_DIRS"},
                                      {"swift-6.0.3-RELEASE", "6.0.3", roots / "folder/swift-6.0.3-RELEASE", false,
                                       "QS_TOOLCHAIN_DIRS"}}));
  EXPECT_EQ(service.toolchainPath(std::optional<std::string>("6.2.4")), roots / "swift");
  auto note = service.missingPinNote(std::optional<std::string>("5.10"));
  ASSERT_TRUE(note);
  EXPECT_EQ(note->rfind("Swift 5.10 is pinned but not installed; installed: ", 0), 0u) << *note;
  EXPECT_NE(note->find("6.2.4 (" + (roots / "swift").string() + "), 6.0.3 (" +
                       (roots / "folder/swift-6.0.3-RELEASE").string() + ")"),
            std::string::npos)
      << *note;
}

// `swift --version` runs once per build of a compiler: again only once its file has changed.
TEST(ToolchainRootTest, ACompilersVersionIsAskedOncePerBuild) {
  TemporaryFolder folder;
  fs::path compiler = folder / "usr/bin/swift", runs = folder / "runs";
  auto install = [&](const std::string& version) {
    makeCompiler(compiler, "#!/bin/sh\necho run >> '" + runs.string() + "'\necho 'Swift version " + version + "'\n");
    // Installed long ago, as toolchains are: one written a moment ago is asked every time.
    fs::last_write_time(compiler, fs::file_time_type::clock::now() - std::chrono::hours(1));
  };
  auto runCount = [&] {
    std::string text = readTextFile(runs);
    return std::count(text.begin(), text.end(), '\n');
  };
  install("6.0.3");
  EXPECT_EQ(QSToolchainService::compilerVersion(compiler), "6.0.3");
  EXPECT_EQ(QSToolchainService::compilerVersion(compiler), "6.0.3");
  EXPECT_EQ(runCount(), 1);
  install("6.1.2");  // rewritten in place
  EXPECT_EQ(QSToolchainService::compilerVersion(compiler), "6.1.2");
  EXPECT_EQ(QSToolchainService::compilerVersion(compiler), "6.1.2");
  EXPECT_EQ(runCount(), 2);
  // A frontend put beside it (a new toolchain unpacked over the old one) is a new build too.
  makeCompiler(folder / "usr/bin/swift-frontend");
  EXPECT_EQ(QSToolchainService::compilerVersion(compiler), "6.1.2");
  EXPECT_EQ(runCount(), 3);
  // Just written: not kept.
  makeCompiler(compiler, "#!/bin/sh\necho run >> '" + runs.string() + "'\necho 'Swift version 6.2'\n");
  EXPECT_EQ(QSToolchainService::compilerVersion(compiler), "6.2");
  EXPECT_EQ(QSToolchainService::compilerVersion(compiler), "6.2");
  EXPECT_EQ(runCount(), 5);
}

// The default compiler is found on PATH when /usr/bin/swift does not exist, as on these machines,
// and its entry comes first.
TEST(DefaultCompilerTest, VersionFromTheFirstSwiftOnPathAndItsEntryFirst) {
  if (isExecutableFile("/usr/bin/swift")) GTEST_SKIP() << "a real /usr/bin/swift is installed";
  TemporaryFolder bin;
  struct Case {
    std::string script;
    std::optional<std::string> version;
  } cases[] = {
      // The version line may come on standard error.
      {"#!/bin/sh\necho 'Swift version 5.10 (swift-5.10-RELEASE)' >&2\n", "5.10"},
      {"#!/bin/sh\necho 'swift-driver version: 1.109.2 Swift version 6.1-dev'\n", "6.1"},
      {"#!/bin/sh\necho 'no version here'\n", std::nullopt},
  };
  ScopedEnvironment path({{"PATH", (bin / "empty").string() + ":" + bin.path().string() + ":/usr/bin:/bin"}});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    makeCompiler(bin / "swift", c.script);
    EXPECT_EQ(QSToolchainService::defaultCompilerPath(), bin / "swift");
    EXPECT_EQ(QSToolchainService::defaultVersion(), c.version);
  }

  IsolatedHome home;
  ScopedEnvironment environment({{"QS_TOOLCHAIN_DIRS", qs::testing::fakeToolchainsFolder()},
                                 {"PATH", qs::testing::fakeToolchainRoot() + "/usr/bin:/usr/bin:/bin"}});
  auto toolchains = QSToolchainService().discoverToolchains();
  ASSERT_EQ(under(qs::testing::fakeToolchainsFolder(), toolchains),
            (std::vector<QSToolchain>{{"default", "6.0.3", fs::path(qs::testing::fakeToolchainRoot()) / "usr/bin", true, "PATH"},
                                      {"swift-6.0.3", "6.0.3", qs::testing::fakeToolchainRoot(), false, "QS_TOOLCHAIN_DIRS"}}));
  EXPECT_TRUE(toolchains[0].isDefault);
}

}  // namespace
}  // namespace qs
