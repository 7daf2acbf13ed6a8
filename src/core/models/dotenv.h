// The .env text format: reading it into variables, writing variables out, and merging them
// into an existing file so that the user's own comments and layout survive.
//
// The format is the common one, with three meanings of our own:
//   # Used by the mailer          <- a comment line directly above a variable is its description
//   MAIL_FROM=hello@example.test
//   # DEBUG=true                  <- a commented-out assignment is a disabled variable
//   PORT=8080 # local only        <- an inline note after an unquoted value joins the description
// A prose comment such as "# NOTE=words with spaces" (an unquoted value with whitespace) stays a
// comment. Inside a double-quoted value `\"` stands for `"`; there is no other escape.
#pragma once

#include "core/models/environment_variable.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

// Reads .env text into variables, in file order, each with a fresh id. Duplicate keys are all
// kept. Lines are separated by line feeds; spaces, tabs and carriage returns around a line are
// ignored, so files saved with CRLF line ends read the same. Nothing in the text makes parsing
// fail: lines that are not assignments become comment text.
std::vector<QSEnvironmentVariable> parseDotenv(std::string_view text);

// The whole .env text for the variables: each variable's description as "# " lines, then
// `KEY=value` ("# KEY=value" when disabled); the text ends with a line feed. An empty list
// gives the empty text. A value is double-quoted when it holds whitespace or `#`, or starts and
// ends with the same quote character, so that reading the text gives the value back unchanged.
// Variables that validateEnvironmentVariable rejects for their key, and values holding a line
// feed, are left out: nothing written here can add a line of its own.
std::string dotenvFileContents(const std::vector<QSEnvironmentVariable>& variables);

// `variables` written into the existing .env text, keeping everything of the user's that is not
// an assignment. Each assignment line (enabled or disabled) is replaced by the next variable of
// that key not yet written, in list order, or dropped when there is none left (a removed
// variable or a surplus duplicate); blank lines and comments, including the description lines
// above a dropped or changed variable, are kept as they are. Variables left over are appended
// with their description lines. Without existing text (or with empty text) this is
// dotenvFileContents(variables). The result ends with a line feed; replaced lines keep a CRLF end.
std::string mergedDotenv(std::optional<std::string_view> existing,
                         const std::vector<QSEnvironmentVariable>& variables);

// The variables of .env text whose keys `known` does not have, in file order (duplicates of
// such a key once, the first). They are what was typed into the file by hand since it was read.
std::vector<QSEnvironmentVariable> variablesWithNewKeys(std::string_view text,
                                                        const std::vector<QSEnvironmentVariable>& known);

// The most one value, one project's variables and all projects' variables together may take,
// counted as they travel in messages (see encodedSize), so that every answer about projects fits
// into one frame of the control socket.
inline constexpr std::size_t maxValueBytes = 64 * 1024;
inline constexpr std::size_t maxProjectVariablesBytes = 1024 * 1024;
inline constexpr std::size_t maxAllVariablesBytes = 3 * 1024 * 1024;

// The bytes the variables take in a message: their keys, values and comments (escapes
// included) and a fixed allowance per record for the rest, so that many tiny variables count too.
std::size_t encodedSize(const std::vector<QSEnvironmentVariable>& variables);

// Why a variable cannot go into a .env file; message() is the text shown to the user.
struct QSEnvVariableError {
  enum class Kind {
    emptyKey,          // "A variable needs a name: use letters, digits and underscores, …"
    invalidKey,        // "'1ABC' is not a valid variable name: use letters, digits and …"
    lineBreakInValue,  // "The value of API_KEY contains a line break, which a .env file …"
    valueNotText,      // "The value of API_KEY is not valid UTF-8 text, which Quayside cannot store …"
    valueTooLong,      // "The value of API_KEY is longer than 64 KiB, the most a variable can hold."
    projectTooLarge,   // "The variables would take more than 1 MiB, the most one project can hold: …"
    allTooLarge,       // "All projects' variables would take more than 3 MiB, the most Quayside keeps: …"
  };
  Kind kind;
  std::string key;

  std::string message() const;
  bool operator==(const QSEnvVariableError&) const = default;
};

// Checks a variable before it is stored and written: the key must be letters, digits and
// underscores, not starting with a digit; the value must not hold a line feed or a carriage
// return (other tools end a line at either), must be UTF-8 (records and messages are UTF-8 text,
// so other bytes could not be kept unchanged) and must fit into maxValueBytes. Nothing when the
// variable can be written.
std::optional<QSEnvVariableError> validateEnvironmentVariable(std::string_view key, std::string_view value);

// Checks that a project whose variables change from `before` to `after` stays within
// maxProjectVariablesBytes, and all projects (`otherProjectsBytes` for the rest) within
// maxAllVariablesBytes. A change that does not grow the variables always passes, so that an
// oversized project can always be trimmed.
std::optional<QSEnvVariableError> variablesSizeError(const std::vector<QSEnvironmentVariable>& before,
                                                     const std::vector<QSEnvironmentVariable>& after,
                                                     std::size_t otherProjectsBytes);

}  // namespace qs
