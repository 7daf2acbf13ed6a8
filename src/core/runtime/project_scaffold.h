// Writing a new, runnable Vapor project into a fresh folder, and renaming its package later.
#pragma once

#include "core/models/project_scaffold_options.h"

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qs {

// Why a project could not be created. `message()` is the text the user sees.
class QSScaffoldError : public std::runtime_error {
public:
  enum class Kind {
    directoryExists,          // something already has the project's path
    emptyName,                // the name is empty
    nameTooLong,              // more than 255 bytes, the longest folder name
    nameNotText,              // not valid UTF-8
    nameHasSurroundingSpace,  // starts or ends with white space
    nameStartsWithPeriod,     // would be hidden, or be "." or ".."
    nameHasControlCharacter,  // line break, tab, …
    nameHasInvalidCharacter,  // "/", "\" or a double quote
    invalidPort,              // outside 1–65535
    missingLocation,          // no parent folder given
  };

  // "A folder named “NAME” already exists in that location. Choose a different name or location."
  static QSScaffoldError directoryExists(const std::string& name);
  static QSScaffoldError invalidName(Kind kind, char character = 0);
  static QSScaffoldError invalidPort();
  static QSScaffoldError missingLocation();

  Kind kind() const { return kind_; }
  std::string message() const { return what(); }

private:
  QSScaffoldError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
  Kind kind_;
};

namespace QSProjectScaffold {

using Options = QSProjectScaffoldOptions;

inline constexpr const char* initialCommitMessage = "Initial commit from Quayside";

// What is wrong with the options' name or port, checked in a fixed order; nothing when both are
// usable. A usable name is a single folder name that fits into a Swift string literal as it is.
std::optional<QSScaffoldError> validationError(const Options& options);

// Creates `parentDirectory/name` (and any missing parents) holding a Vapor package: Package.swift,
// Sources/App/{entrypoint,configure,routes}.swift, Tests/AppTests/AppTests.swift, .gitignore and
// .env; with `includeErrorPages` also Sources/App/ErrorPageMiddleware.swift and
// Resources/Views/{404,500,error}.leaf (`databaseType` is not acted on). The .env is private
// (0600). Then, when asked, a git repository with a first commit (whose failure is not an error). Returns the
// absolute path of the new folder.
// Throws QSScaffoldError for invalid options and when anything exists at the path (nothing is
// written then), QSSystemError when creating a folder or writing a file fails (what was already
// written stays). Blocks on the file system and git: call it off the service loop.
std::filesystem::path create(const Options& options);

// What is wrong with `name` as a project's folder and package name, by the rules validationError
// applies when a project is created; nothing when it is usable.
std::optional<QSScaffoldError> nameValidationError(std::string_view name);

// Sets the package name in `projectFolder/Package.swift`: the first `name: "…"` entry becomes
// `name: "newName"`, the rest of the file is kept byte for byte. Returns the manifest's previous
// text when it was rewritten, nothing when there is no manifest or it has no such entry. Throws
// QSScaffoldError for a name nameValidationError refuses and QSSystemError when the manifest
// exists but cannot be read or written; the file is unchanged then.
std::optional<std::string> rewritePackageName(const std::filesystem::path& projectFolder, const std::string& newName);

}  // namespace QSProjectScaffold
}  // namespace qs
