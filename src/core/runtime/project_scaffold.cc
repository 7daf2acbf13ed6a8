#include "core/runtime/project_scaffold.h"

#include "core/platform/files.h"
#include "core/platform/regex.h"
#include "core/platform/system_error.h"
#include "core/runtime/error_page_support.h"
#include "core/runtime/git_service.h"
#include "core/runtime/scaffold_templates.h"

#include <string_view>

namespace qs {

std::string QSScaffoldError::message() const {
  return visit([](const auto& c) -> std::string {
    using C = std::decay_t<decltype(c)>;
    using namespace scaffoldError;
    if constexpr (std::is_same_v<C, DirectoryExists>)
      return "A folder named \u201c" + c.value +
             "\u201d already exists in that location. Choose a different name or location.";
    else if constexpr (std::is_same_v<C, EmptyName>)
      return "Enter a name for the project.";
    else if constexpr (std::is_same_v<C, NameTooLong>)
      return "A project name can\u2019t be longer than 255 bytes.";
    else if constexpr (std::is_same_v<C, NameNotText>)
      return "A project name must be valid UTF-8 text.";
    else if constexpr (std::is_same_v<C, NameHasSurroundingSpace>)
      return "A project name can\u2019t start or end with a space.";
    else if constexpr (std::is_same_v<C, NameStartsWithPeriod>)
      return "A project name can\u2019t start with a period.";
    else if constexpr (std::is_same_v<C, NameHasControlCharacter>)
      return "A project name can\u2019t contain line breaks, tabs or other control characters.";
    else if constexpr (std::is_same_v<C, NameHasInvalidCharacter>)
      return "A project name can\u2019t contain \u201c" + c.value + "\u201d.";
    else if constexpr (std::is_same_v<C, InvalidPort>)
      return "Choose a port between 1 and 65535.";
    else
      return "Choose a location for the project.";
  });
}

namespace QSProjectScaffold {
namespace {


// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isUTF8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    auto byte = static_cast<unsigned char>(text[i]);
    std::size_t length = byte < 0x80           ? 1
                         : (byte >> 5) == 0x6  ? 2
                         : (byte >> 4) == 0xE  ? 3
                         : (byte >> 3) == 0x1E ? 4
                                               : 0;
    if (length == 0 || i + length > text.size()) return false;
    char32_t code = length == 1 ? byte : byte & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

bool isControl(char c) {
  auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

// The checks that keep a name usable inside a Swift string literal.
std::optional<QSScaffoldError> literalError(std::string_view name) {
  if (name.empty()) return scaffoldError::EmptyName{};
  if (!isUTF8(name)) return scaffoldError::NameNotText{};
  for (char c : name) {
    if (isControl(c)) return scaffoldError::NameHasControlCharacter{};
    if (c == '"' || c == '\\') return scaffoldError::NameHasInvalidCharacter{std::string(1, c)};
  }
  return std::nullopt;
}

// A name becomes one folder name under the parent: it must not climb out of it, hide, or nest.
std::optional<QSScaffoldError> nameError(std::string_view name) {
  if (name.size() > 255) return scaffoldError::NameTooLong{};
  if (auto error = literalError(name)) return error;
  if (name.find('/') != std::string_view::npos) return scaffoldError::NameHasInvalidCharacter{"/"};
  if (name.front() == ' ' || name.back() == ' ') return scaffoldError::NameHasSurroundingSpace{};
  if (name.front() == '.') return scaffoldError::NameStartsWithPeriod{};
  return std::nullopt;
}

void writeErrorPages(const std::filesystem::path& folder) {
  using QSErrorPageSupport::standaloneErrorLeaf;
  writeFileAtomically(folder / "Sources/App/ErrorPageMiddleware.swift", QSErrorPageSupport::middlewareSource);
  auto views = folder / "Resources/Views";
  createDirectories(views);
  writeFileAtomically(views / "404.leaf",
                      standaloneErrorLeaf("Error 404", "Page not found",
                                          "The page you\u2019re looking for doesn\u2019t exist or may have moved."));
  writeFileAtomically(views / "500.leaf", standaloneErrorLeaf("Error 500", "Something went wrong",
                                                              "An unexpected error occurred. Please try again."));
  writeFileAtomically(views / "error.leaf", standaloneErrorLeaf("Error #(code)", "Something went wrong", "#(reason)"));
}

void writeProjectFiles(const std::filesystem::path& folder, const Options& options, int mailPort) {
  namespace T = QSScaffoldTemplates;
  createDirectories(folder / "Sources/App");
  createDirectories(folder / "Tests/AppTests");
  writeFileAtomically(folder / "Package.swift",
                      T::packageSwift(options.name, options.includeErrorPages));
  writeFileAtomically(folder / "Sources/App/entrypoint.swift", T::entrypointSwift());
  writeFileAtomically(folder / "Sources/App/configure.swift",
                      T::configureSwift(options.includeErrorPages));
  writeFileAtomically(folder / "Sources/App/routes.swift", T::routesSwift());
  if (options.includeErrorPages) writeErrorPages(folder);
  writeFileAtomically(folder / "Tests/AppTests/AppTests.swift", T::appTestsSwift());
  writeFileAtomically(folder / ".gitignore", QSGitService::vaporGitignore);
  writeFileAtomically(folder / ".env", T::dotenv(options.port, mailPort), 0600);
}

}  // namespace

std::optional<QSScaffoldError> validationError(const Options& options) {
  if (auto error = nameError(options.name)) return error;
  if (options.parentDirectory.empty()) return scaffoldError::MissingLocation{};
  if (options.port < 1 || options.port > 65535) return scaffoldError::InvalidPort{};
  return std::nullopt;
}

std::filesystem::path create(const Options& options, int mailPort) {
  if (auto error = validationError(options)) throw QSScaffoldException(*error);
  auto parent = std::filesystem::absolute(options.parentDirectory).lexically_normal();
  createDirectories(parent);
  auto folder = parent / options.name;
  // Made in one step with the existence check, so an existing folder (or file, or link) is never
  // written into, even when two creations race for the same name.
  if (!createDirectory(folder)) throw QSScaffoldException(scaffoldError::DirectoryExists{options.name});
  writeProjectFiles(folder, options, mailPort);
  if (options.initializeGitRepository) QSGitService::initializeRepository(folder, initialCommitMessage);
  return folder;
}

std::optional<QSScaffoldError> nameValidationError(std::string_view name) { return nameError(name); }

std::optional<std::string> rewritePackageName(const std::filesystem::path& projectFolder, const std::string& newName) {
  if (auto error = nameError(newName)) throw QSScaffoldException(*error);
  auto manifest = projectFolder / "Package.swift";
  if (!fileExists(manifest)) return std::nullopt;
  std::string old = readFile(manifest);
  static const QSRegex packageName(R"re(name:\s*"[^"]*")re");
  auto match = packageName.firstMatchRange(old);
  if (!match) return std::nullopt;
  std::string text = old;
  text.replace(match->first, match->second, "name: \"" + newName + "\"");
  writeFileAtomically(manifest, text);
  return old;
}

}  // namespace QSProjectScaffold
}  // namespace qs
