#include "core/runtime/git_service.h"

#include "core/platform/file_status.h"
#include "core/platform/files.h"
#include "core/platform/process_runner.h"
#include "core/platform/system_error.h"

#include <optional>
#include <vector>

namespace qs::QSGitService {

const std::string_view vaporGitignore =
    ".DS_Store\n"
    ".build/\n"
    ".swiftpm/\n"
    "Packages/\n"
    "*.xcodeproj/\n"
    "*.xcworkspace/\n"
    "DerivedData/\n"
    ".env\n"
    ".env.bak.*\n";

namespace {

// git is run by absolute path: the system's copy when there is one, else the first on PATH.
std::optional<std::filesystem::path> gitExecutable() {
  const std::filesystem::path system = "/usr/bin/git";
  if (isExecutableFile(system)) return system;
  return findExecutable("git");
}

// Variables that would point git at another repository or index than the folder's own; a
// daemon started from a git hook, for instance, inherits them.
const std::vector<std::string> kRepositoryOverrides = {
    "GIT_DIR", "GIT_WORK_TREE", "GIT_INDEX_FILE", "GIT_OBJECT_DIRECTORY",
    "GIT_ALTERNATE_OBJECT_DIRECTORIES", "GIT_NAMESPACE", "GIT_COMMON_DIR", "GIT_PREFIX",
};

// The exit status of git run in `folder` with `arguments`; -1 when git cannot be started.
// Its output is of no interest: the status says all that the caller acts on.
int runGit(const std::filesystem::path& folder, const std::vector<std::string>& arguments) {
  auto git = gitExecutable();
  if (!git) return -1;
  std::vector<std::string> argv{git->string()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  QSProcessOptions options;
  options.workingDirectory = folder;
  options.unsetEnvironment = kRepositoryOverrides;
  try {
    return runProcess(argv, options).exitStatus;
  } catch (const QSSystemError&) {
    return -1;
  }
}

}  // namespace

bool initializeRepository(const std::filesystem::path& folder, const std::string& commitMessage) {
  if (fileExists(folder / ".git")) return false;
  if (runGit(folder, {"init", "-b", "main"}) != 0) return false;
  if (runGit(folder, {"add", "-A"}) != 0) return false;
  if (runGit(folder, {"commit", "-m", commitMessage}) == 0) return true;
  // Most often the user has never told git who they are. The retry reports its own outcome, so
  // a repository left without a commit (nothing to commit, a broken hook) reads as a failure.
  std::vector<std::string> retry{
      "-c", "user.name=" + std::string(fallbackCommitterName),
      "-c", "user.email=" + std::string(fallbackCommitterEmail),
      "commit", "-m", commitMessage,
  };
  return runGit(folder, retry) == 0;
}

}  // namespace qs::QSGitService
