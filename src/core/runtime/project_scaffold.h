// Writing a new, runnable Vapor project into a fresh folder, and renaming its package later.
#pragma once

#include "core/models/case_coding.h"
#include "core/models/project_scaffold_options.h"
#include "core/platform/error_exception.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qs {

// Cases of QSScaffoldError.
namespace scaffoldError {
using DirectoryExists = QSUnnamedCase<"directoryExists", std::string>;  // the project's name
using EmptyName = QSEmptyCase<"emptyName">;
using NameTooLong = QSEmptyCase<"nameTooLong">;  // more than 255 bytes, the longest folder name
using NameNotText = QSEmptyCase<"nameNotText">;  // not valid UTF-8
using NameHasSurroundingSpace = QSEmptyCase<"nameHasSurroundingSpace">;
using NameStartsWithPeriod = QSEmptyCase<"nameStartsWithPeriod">;  // hidden, or "." or ".."
using NameHasControlCharacter = QSEmptyCase<"nameHasControlCharacter">;  // line break, tab, …
using NameHasInvalidCharacter = QSUnnamedCase<"nameHasInvalidCharacter", std::string>;  // "/", "\" or '"'
using InvalidPort = QSEmptyCase<"invalidPort">;  // outside 1–65535
using MissingLocation = QSEmptyCase<"missingLocation">;  // no parent folder given
}  // namespace scaffoldError

// Why a project could not be created, e.g. QSScaffoldError(scaffoldError::DirectoryExists{"blog"})
// .message() == "A folder named “blog” already exists in that location. Choose a different name or location."
struct QSScaffoldError
    : QSEnumeration<scaffoldError::DirectoryExists, scaffoldError::EmptyName, scaffoldError::NameTooLong,
                    scaffoldError::NameNotText, scaffoldError::NameHasSurroundingSpace,
                    scaffoldError::NameStartsWithPeriod, scaffoldError::NameHasControlCharacter,
                    scaffoldError::NameHasInvalidCharacter, scaffoldError::InvalidPort,
                    scaffoldError::MissingLocation> {
  using QSEnumeration::QSEnumeration;
  // The text the user sees.
  std::string message() const;
};
using QSScaffoldException = QSErrorException<QSScaffoldError>;

namespace QSProjectScaffold {

using Options = QSProjectScaffoldOptions;

inline constexpr const char* initialCommitMessage = "Initial commit from Quayside";

// What is wrong with the options' name or port, checked in a fixed order; nothing when both are
// usable. A usable name is a single folder name that fits into a Swift string literal as it is.
std::optional<QSScaffoldError> validationError(const Options& options);

// Creates `parentDirectory/name` (and any missing parents) holding a Vapor package: Package.swift,
// Sources/App/{entrypoint,configure,routes}.swift, Tests/AppTests/AppTests.swift, .gitignore and
// .env (MAIL_PORT: `mailPort`, where the mail catcher listens); with `includeErrorPages` also
// Sources/App/ErrorPageMiddleware.swift and Resources/Views/{404,500,error}.leaf (`databaseType` is not acted on). The .env is private
// (0600). Then, when asked, a git repository with a first commit (whose failure is not an error). Returns the
// absolute path of the new folder.
// Throws QSScaffoldException for invalid options and when anything exists at the path (nothing is
// written then), QSSystemError when creating a folder or writing a file fails (what was already
// written stays). Blocks on the file system and git: call it off the service loop.
std::filesystem::path create(const Options& options, int mailPort);

// What is wrong with `name` as a project's folder and package name, by the rules validationError
// applies when a project is created; nothing when it is usable.
std::optional<QSScaffoldError> nameValidationError(std::string_view name);

// Sets the package name in `projectFolder/Package.swift`: the first `name: "…"` entry becomes
// `name: "newName"`, the rest of the file is kept byte for byte. Returns the manifest's previous
// text when it was rewritten, nothing when there is no manifest or it has no such entry. Throws
// QSScaffoldException for a name nameValidationError refuses and QSSystemError when the manifest
// exists but cannot be read or written; the file is unchanged then.
std::optional<std::string> rewritePackageName(const std::filesystem::path& projectFolder, const std::string& newName);

}  // namespace QSProjectScaffold
}  // namespace qs
