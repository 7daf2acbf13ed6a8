// The first commit of a new project, with the user's git identity or the fallback one.
#include "core/platform/process_runner.h"
#include "core/runtime/git_service.h"
#include "core/runtime/project_scaffold.h"
#include "support/test_support.h"

namespace qs {
namespace {

namespace fs = std::filesystem;
using testing::IsolatedHome;
using testing::readTextFile;
using testing::ScopedEnvironment;
using testing::TemporaryFolder;
using testing::writeTextFile;

// No identity anywhere: none in the environment, no global or system config, and git told not to
// guess one from the account and host name (which succeeds on machines with a fully qualified
// host name).
std::map<std::string, std::optional<std::string>> noIdentity() {
  return {{"GIT_CONFIG_GLOBAL", "/dev/null"}, {"GIT_CONFIG_NOSYSTEM", "1"}, {"GIT_CONFIG_COUNT", "1"},
          {"GIT_CONFIG_KEY_0", "user.useConfigOnly"}, {"GIT_CONFIG_VALUE_0", "true"},
          {"GIT_AUTHOR_NAME", std::nullopt}, {"GIT_AUTHOR_EMAIL", std::nullopt}, {"GIT_COMMITTER_NAME", std::nullopt},
          {"GIT_COMMITTER_EMAIL", std::nullopt}, {"EMAIL", std::nullopt}};
}

std::string git(const fs::path& folder, const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{"git"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  QSProcessOptions options;
  options.workingDirectory = folder;
  auto result = runProcess(argv, options);
  EXPECT_EQ(result.exitStatus, 0) << result.errorOutput;
  return result.output;
}

fs::path scaffold(const fs::path& parent, bool initializeGitRepository = false) {
  QSProjectScaffold::Options options;
  options.name = "shop";
  options.parentDirectory = parent;
  options.initializeGitRepository = initializeGitRepository;
  return QSProjectScaffold::create(options, 1025);
}

class GitService : public ::testing::Test {
protected:
  IsolatedHome home;
  TemporaryFolder parent;
};

TEST_F(GitService, NewProjectsFirstCommitFallsBackToQuaysideWhenNoIdentityIsConfigured) {
  ScopedEnvironment environment(noIdentity());
  auto folder = scaffold(parent.path(), true);  // the scaffold makes the first commit when asked
  EXPECT_EQ(git(folder, {"rev-list", "--count", "HEAD"}), "1\n");
  EXPECT_EQ(git(folder, {"log", "-1", "--format=%an <%ae>|%cn <%ce>|%s"}),
            "Quayside <quayside@brindle.app>|Quayside <quayside@brindle.app>|Initial commit from Quayside\n");
  EXPECT_EQ(git(folder, {"branch", "--show-current"}), "main\n");
  // Everything but the ignored .env is in the commit.
  EXPECT_EQ(git(folder, {"ls-files", ".env"}), "");
  EXPECT_EQ(git(folder, {"status", "--porcelain"}), "");
}

TEST_F(GitService, LeavesAnExistingRepositoryAloneAndReportsWhenNoCommitCouldBeMade) {
  ScopedEnvironment environment(noIdentity());
  // Nothing to commit: both the commit and its retry fail, and the answer says so.
  EXPECT_FALSE(QSGitService::initializeRepository(parent.path(), "Nothing"));
  EXPECT_TRUE(fs::exists(parent / ".git"));

  auto folder = scaffold(parent.path());
  git(folder, {"init", "-q", "-b", "trunk"});
  EXPECT_FALSE(QSGitService::initializeRepository(folder, "Again"));
  EXPECT_EQ(git(folder, {"branch", "--show-current"}), "trunk\n");
  EXPECT_EQ(git(folder, {"ls-files"}), "");

  // A .git file (a worktree or submodule checkout) counts as a repository too.
  writeTextFile(parent / "linked/.git", "gitdir: /elsewhere\n");
  EXPECT_FALSE(QSGitService::initializeRepository(parent / "linked", "Again"));
  EXPECT_EQ(readTextFile(parent / "linked/.git"), "gitdir: /elsewhere\n");
}

// The user's identity signs the commit; the caller's repository variables are not followed.
TEST_F(GitService, FirstCommitUsesTheUsersIdentityAndIgnoresRepositoryVariablesOfTheCaller) {
  TemporaryFolder elsewhere;
  auto hijacking = noIdentity();
  hijacking["GIT_CONFIG_GLOBAL"] = std::nullopt;  // ~/.gitconfig is read again
  hijacking["GIT_DIR"] = (elsewhere / "hijacked.git").string();
  hijacking["GIT_WORK_TREE"] = elsewhere.path().string();
  ScopedEnvironment environment(hijacking);
  writeTextFile(home.home() / ".gitconfig", "[user]\n\tname = Ada Lovelace\n\temail = ada@example.com\n");
  auto folder = scaffold(parent.path());
  ASSERT_TRUE(QSGitService::initializeRepository(folder, "Mine"));
  EXPECT_FALSE(fs::exists(elsewhere / "hijacked.git"));
  ScopedEnvironment ours({{"GIT_DIR", std::nullopt}, {"GIT_WORK_TREE", std::nullopt}});
  EXPECT_EQ(git(folder, {"log", "--format=%an <%ae>|%s"}), "Ada Lovelace <ada@example.com>|Mine\n");
}

}  // namespace
}  // namespace qs
