// Writing a project's variables to its .env file, with timestamped backups of what was there.
#pragma once

#include "core/models/environment_variable.h"
#include "core/platform/timestamp.h"

#include <filesystem>
#include <vector>

namespace qs::QSEnvFileWriter {

// Merges the variables into PROJECT/.env (see mergedDotenv) and writes the result atomically:
// an existing file keeps its mode (and owner), a new one is private (0600) as it holds secrets.
// Temporary files that an interrupted earlier write of .env or its backups left are removed first.
// Returns whether the file was written: false when there is nothing to write, when the file
// already holds exactly the result, when an existing .env cannot be read (it is left alone
// rather than replaced unseen), or when writing fails.
//
// Before a changed file is replaced, its old text is saved as ".env.bak.yyyyMMdd-HHmmss"
// (`now` in the local time zone; mode 0600, as the file holds secrets), and only the newest
// `keepingBackups` files of that exact name form are kept. Two writes within one second share
// a backup name: the later backup replaces the earlier one. Backup failures do not stop the
// write. Other files that merely start with ".env.bak" are the user's and are never removed.
bool write(const std::vector<QSEnvironmentVariable>& variables, const std::filesystem::path& projectFolder,
           int keepingBackups, QSTimestamp now = QSTime::now());

// The variables PROJECT/.env has under keys that `variables` lacks (see variablesWithNewKeys):
// keys a user added to the file by hand, which the next write would otherwise drop. Nothing when
// the file is missing or unreadable.
std::vector<QSEnvironmentVariable> handAddedVariables(const std::vector<QSEnvironmentVariable>& variables,
                                                      const std::filesystem::path& projectFolder);

}  // namespace qs::QSEnvFileWriter
