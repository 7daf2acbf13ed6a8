#include "app/publish/project_packager.h"

#include "core/platform/child_process.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/uuid.h"

#include <asio/buffer.hpp>
#include <asio/experimental/awaitable_operators.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/redirect_error.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include <fnmatch.h>

#include <algorithm>
#include <csignal>

namespace qs {

namespace fs = std::filesystem;
using namespace asio::experimental::awaitable_operators;

std::string QSPackagingError::message() const {
  return visit(QSOverloaded{
      [](const packagingError::NotADirectory& c) { return "Not a project directory: " + c.value; },
      [](const packagingError::TarFailed& c) {
        return "Packaging failed (tar exited with code " + std::to_string(c.value) + ").";
      },
      [](const packagingError::ZipFailed& c) {
        return "Export failed (zip exited with code " + std::to_string(c.value) + ").";
      },
      [](const packagingError::MissingPackageManifest&) {
        return std::string("No Package.swift found \u2014 this doesn't look like a Vapor/SwiftPM project.");
      }});
}

const std::vector<std::string> QSProjectPackager::defaultExcludes{".git", ".build", ".DS_Store", ".swiftpm"};

namespace {

constexpr std::string_view kPrivateFolderPrefix = "qs-package-";

void requireProject(const fs::path& folder) {
  if (!isDirectory(folder)) throw QSPackagingException(packagingError::NotADirectory{folder.string()});
  if (!fileExists(folder / "Package.swift")) throw QSPackagingException(packagingError::MissingPackageManifest{});
}

// Reads a pipe to its end and forgets what came: the archivers' chatter is of no use, but an
// unread pipe would stall them and a closed one would kill them with SIGPIPE.
asio::awaitable<void> drainPipe(UniqueFd pipe) {
  if (!pipe) co_return;
  asio::posix::stream_descriptor stream(co_await asio::this_coro::executor, pipe.release());
  char buffer[4096];
  for (;;) {
    std::error_code error;
    co_await stream.async_read_some(asio::buffer(buffer), asio::redirect_error(asio::use_awaitable, error));
    if (error) co_return;
  }
}

}  // namespace

std::vector<std::string> QSProjectPackager::specialEntries(const fs::path& projectFolder,
                                                           const std::vector<std::string>& excludes) {
  auto excluded = [&](const fs::path& name) {
    return std::any_of(excludes.begin(), excludes.end(),
                       [&](const std::string& pattern) { return ::fnmatch(pattern.c_str(), name.c_str(), 0) == 0; });
  };
  std::vector<std::string> found;
  std::error_code error;
  fs::recursive_directory_iterator it(projectFolder, fs::directory_options::skip_permission_denied, error), end;
  for (; !error && it != end; it.increment(error)) {
    if (excluded(it->path().filename())) {
      it.disable_recursion_pending();
      continue;
    }
    auto type = it->symlink_status(error).type();
    if (type == fs::file_type::socket || type == fs::file_type::fifo || type == fs::file_type::block ||
        type == fs::file_type::character)
      found.push_back(it->path().lexically_relative(projectFolder).string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::vector<std::string> QSProjectPackager::tarArguments(const fs::path& archive, const fs::path& projectFolder,
                                                         const std::vector<std::string>& excludes,
                                                         const std::vector<std::string>& skipped) {
  std::vector<std::string> arguments{"-czf", archive.string()};
  for (const auto& pattern : excludes) arguments.push_back("--exclude=" + pattern);
  // The options before them make the paths that follow exact names of members, not patterns.
  if (!skipped.empty()) arguments.insert(arguments.end(), {"--anchored", "--no-wildcards"});
  for (const auto& path : skipped) arguments.push_back("--exclude=./" + path);
  arguments.insert(arguments.end(), {"-C", projectFolder.string(), "."});
  return arguments;
}

std::vector<std::string> QSProjectPackager::zipArguments(const fs::path& destination,
                                                         const std::vector<std::string>& excludes,
                                                         const std::vector<std::string>& skipped) {
  // -y stores symbolic links as links: zip would otherwise copy in whatever they point at, even
  // far outside the project.
  std::vector<std::string> arguments{"-r", "-X", "-q", "-y", destination.string(), "."};
  if (excludes.empty() && skipped.empty()) return arguments;
  arguments.push_back("-x");
  // zip matches patterns against whole stored paths, so a pattern alone only reaches the top
  // level; the "*/" forms reach the same names in every sub-folder, as tar's do.
  for (const auto& pattern : excludes)
    arguments.insert(arguments.end(), {pattern, pattern + "/*", "*/" + pattern, "*/" + pattern + "/*"});
  for (const auto& path : skipped) {
    std::string literal;  // zip's wildcards, escaped
    for (char c : path) {
      if (c == '*' || c == '?' || c == '[' || c == ']' || c == '\\') literal += '\\';
      literal += c;
    }
    arguments.push_back(literal);
  }
  return arguments;
}

void QSProjectPackager::discard(const fs::path& archive) {
  tryRemoveFile(archive);
  // The private folder package() made for it goes too; only ever an empty one.
  std::error_code ignored;
  if (archive.parent_path().filename().string().starts_with(kPrivateFolderPrefix))
    fs::remove(archive.parent_path(), ignored);
}

asio::awaitable<int> QSProjectPackager::runArchiver(const fs::path& program, std::vector<std::string> arguments,
                                                    const fs::path& workingDirectory) const {
  auto process = QSChildProcess::spawn({program, std::move(arguments), workingDirectory, {}});
  try {
    co_return co_await (drainPipe(process->takeStandardOutput()) && drainPipe(process->takeStandardError()) &&
                        process->waitForExit());
  } catch (...) {
    // Cancelled (a publish stopped half-way): the archiver and the compressor it started must
    // not go on writing an archive nobody will use.
    process->signalGroup(SIGKILL);
    throw;
  }
}

asio::awaitable<fs::path> QSProjectPackager::package(const fs::path& projectFolder,
                                                     const std::vector<std::string>& excludes,
                                                     std::optional<fs::path> outputDirectory) const {
  requireProject(projectFolder);
  fs::path folder;
  if (outputDirectory) {
    folder = fs::absolute(*outputDirectory);
    createDirectories(folder);
  } else {
    // Others may list and read the temporary folder; the archive may hold the project's .env.
    folder = QSPaths::temporaryFolder() / (std::string(kPrivateFolderPrefix) + QSUUID::random().string());
    createDirectory(folder, 0700);
  }
  fs::path archive = folder / (projectFolder.filename().string() + "-" + QSUUID::random().string() + ".tar.gz");
  std::vector<std::string> patterns = excludes;
  // An archive written inside the project must not take in itself, half written.
  auto inside = fs::absolute(projectFolder).lexically_normal();
  if (archive.string().rfind(inside.string() + "/", 0) == 0) patterns.push_back(archive.filename().string());
  // tar's compressing child creates the archive while tar already reads the folders; were it
  // created inside the project then, tar would see a folder change under it and fail ("file
  // changed as we read it"). An archive that exists before tar starts changes no folder.
  writeFileAtomically(archive, "", 0600);
  auto skipped = specialEntries(projectFolder, patterns);
  int status = -1;
  try {
    status = co_await runArchiver(tarExecutable, tarArguments(archive, projectFolder, patterns, skipped), projectFolder);
  } catch (...) {
    discard(archive);  // a half-written archive the caller never hears of
    throw;
  }
  if (status != 0) {
    discard(archive);  // the caller never learns the name of a failed archive
    throw QSPackagingException(packagingError::TarFailed{status});
  }
  co_return archive;
}

asio::awaitable<void> QSProjectPackager::exportZip(const fs::path& projectFolder, const fs::path& destination,
                                                   const std::vector<std::string>& excludes) const {
  requireProject(projectFolder);
  fs::path target = fs::absolute(destination);  // zip runs inside the project folder
  tryRemoveFile(target);  // zip would add to an old archive; a file we cannot remove makes zip fail
  auto skipped = specialEntries(projectFolder, excludes);
  int status = co_await runArchiver(zipExecutable, zipArguments(target, excludes, skipped), projectFolder);
  if (status != 0) throw QSPackagingException(packagingError::ZipFailed{status});
}

}  // namespace qs
