// Git for new projects: the ignore rules of a Vapor package and the first commit.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qs::QSGitService {

// The `.gitignore` of a Vapor package: build products, editor folders, `.env` and its backups
// `.env.bak.*` (which hold secrets), one pattern a line, without a final newline.
extern const std::string_view vaporGitignore;

// The identity of the first commit when the user has none configured.
inline constexpr std::string_view fallbackCommitterName = "Quayside";
inline constexpr std::string_view fallbackCommitterEmail = "quayside@brindle.app";

// Makes `folder` a git repository on branch main whose first commit holds every file that the
// ignore rules let in. Returns false, touching nothing, when the folder already has a `.git`.
// The commit uses the user's git identity; when that commit fails (no identity configured, for
// instance) it is retried once as Quayside. Returns whether a commit was made. Runs git to
// completion, so it blocks: call it off the service loop.
bool initializeRepository(const std::filesystem::path& folder, const std::string& commitMessage);

}  // namespace qs::QSGitService
