#include "core/models/dotenv.h"

#include "core/platform/encoding.h"
#include "core/platform/regex.h"
#include "core/platform/text.h"
#include "core/platform/utf8.h"

#include <algorithm>
#include <deque>
#include <map>
#include <set>

namespace qs {
namespace {

// Blank characters trimmed from lines, values and notes. The carriage return is among them so
// that CRLF files do not leave a stray CR at the end of every value.
constexpr std::string_view kBlank = " \t\r";

bool isWhitespace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool containsWhitespace(std::string_view text) {
  for (char c : text)
    if (isWhitespace(c)) return true;
  return false;
}

bool isQuote(char c) { return c == '"' || c == '\''; }

bool isWrappedInQuotes(std::string_view text) {
  return text.size() >= 2 && isQuote(text.front()) && text.back() == text.front();
}

// Only the prefix up to `=` is matched: the value is taken as the rest of the line, byte for
// byte, so a value that is not valid UTF-8 still reads as a value.
const QSRegex& assignmentPrefix() {
  static const QSRegex pattern("^((?:export[ \\t]+)?([A-Za-z_][A-Za-z0-9_]*)[ \\t]*=)");
  return pattern;
}

const QSRegex& keyPattern() {
  static const QSRegex pattern("[A-Za-z_][A-Za-z0-9_]*");
  return pattern;
}

const QSRegex& inlineNote() {
  static const QSRegex pattern("\\s#");
  return pattern;
}

struct Assignment {
  std::string key;
  std::string value;
  bool quoted = false;
  std::string note;  // the inline note after `#`, when there is one
};

// `\"` is the one escape, and only inside double quotes: it is what formatValue writes.
std::string unescapeDoubleQuoted(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '"') ++i;
    out += text[i];
  }
  return out;
}

std::optional<Assignment> parseAssignment(std::string_view line) {
  auto groups = assignmentPrefix().firstMatch(line);
  if (!groups) return std::nullopt;
  Assignment a;
  a.key = (*groups)[1];
  std::string_view raw = trimmed(line.substr((*groups)[0].size()));
  if (isWrappedInQuotes(raw)) {
    std::string_view inside = raw.substr(1, raw.size() - 2);
    a.value = raw.front() == '"' ? unescapeDoubleQuoted(inside) : std::string(inside);
    a.quoted = true;
  } else if (auto note = inlineNote().firstMatchRange(raw)) {
    a.value = trimmed(raw.substr(0, note->first), kBlank);
    a.note = trimmed(raw.substr(note->first + note->second), kBlank);
  } else {
    a.value = raw;
  }
  return a;
}

// One line of a .env file as the reader sees it.
struct Line {
  enum class Kind { blank, assignment, text } kind = Kind::blank;
  Assignment assignment;  // for an assignment
  bool isEnabled = true;  // false for a commented-out assignment
  std::string text;       // for text: the comment without "# ", or the whole stray line
};

Line classify(std::string_view rawLine) {
  Line line;
  std::string_view text = trimmed(rawLine, kBlank);
  if (text.empty()) return line;
  line.kind = Line::Kind::text;
  if (text.front() != '#') {
    if (auto a = parseAssignment(text)) {
      line.kind = Line::Kind::assignment;
      line.assignment = std::move(*a);
    } else {
      line.text = text;
    }
    return line;
  }
  text.remove_prefix(1);
  if (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  // A prose comment that happens to start like an assignment ("# NOTE=see the wiki") must
  // stay a comment, so only a value without whitespace, or a quoted one, disables a variable.
  auto a = parseAssignment(text);
  if (a && (a->quoted || !containsWhitespace(a->value))) {
    line.kind = Line::Kind::assignment;
    line.assignment = std::move(*a);
    line.isEnabled = false;
  } else {
    line.text = text;
  }
  return line;
}

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (;;) {
    std::size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    if (end == std::string_view::npos) return lines;
    text.remove_prefix(end + 1);
  }
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += separator;
    out += parts[i];
  }
  return out;
}

// Quotes exactly what the reader would otherwise change: whitespace (trimmed or taken for a
// note), `#` (a note), and a value wrapped in quotes of its own (they would be taken off).
std::string formatValue(const std::string& value) {
  bool needsQuotes = value.find('#') != std::string::npos || containsWhitespace(value) || isWrappedInQuotes(value);
  if (!needsQuotes) return value;
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string assignmentLine(const QSEnvironmentVariable& variable) {
  return (variable.isEnabled ? "" : "# ") + variable.key + "=" + formatValue(variable.value);
}

// A description line that would read back as a disabled variable ("# DEBUG=true") gets a
// second space, which keeps it a comment.
std::string commentLine(const std::string& text) {
  std::string line = "# " + text;
  if (classify(line).kind == Line::Kind::assignment) line.insert(1, " ");
  return line;
}

void appendDescription(std::vector<std::string>& lines, const QSEnvironmentVariable& variable) {
  if (!variable.comment || variable.comment->empty()) return;
  for (std::string_view part : splitLines(*variable.comment)) lines.push_back(commentLine(std::string(part)));
}

bool isWritable(const QSEnvironmentVariable& variable) {
  return keyPattern().fullMatch(variable.key) && variable.value.find('\n') == std::string::npos;
}

QSEnvironmentVariable makeVariable(Line& line, std::vector<std::string>& pending) {
  QSEnvironmentVariable variable;
  variable.key = std::move(line.assignment.key);
  variable.value = std::move(line.assignment.value);
  variable.isEnabled = line.isEnabled;
  if (!line.assignment.note.empty()) pending.push_back(std::move(line.assignment.note));
  if (!pending.empty()) variable.comment = joined(pending, "\n");
  pending.clear();
  return variable;
}

}  // namespace

std::vector<QSEnvironmentVariable> parseDotenv(std::string_view text) {
  std::vector<QSEnvironmentVariable> variables;
  std::vector<std::string> pending;  // comment lines waiting for the next variable
  for (std::string_view raw : splitLines(text)) {
    Line line = classify(raw);
    switch (line.kind) {
      case Line::Kind::blank: pending.clear(); break;
      case Line::Kind::text: pending.push_back(std::move(line.text)); break;
      case Line::Kind::assignment: variables.push_back(makeVariable(line, pending)); break;
    }
  }
  return variables;
}

std::string dotenvFileContents(const std::vector<QSEnvironmentVariable>& variables) {
  std::vector<std::string> lines;
  for (const auto& variable : variables) {
    if (!isWritable(variable)) continue;
    appendDescription(lines, variable);
    lines.push_back(assignmentLine(variable));
  }
  return lines.empty() ? std::string() : joined(lines, "\n") + "\n";
}

std::string mergedDotenv(std::optional<std::string_view> existing, const std::vector<QSEnvironmentVariable>& variables) {
  if (!existing || existing->empty()) return dotenvFileContents(variables);

  // Per key, the variables still to be written, in list order, so that duplicates of a key
  // take the file's lines of that key one by one.
  std::map<std::string, std::deque<std::size_t>, std::less<>> unwritten;
  for (std::size_t i = 0; i < variables.size(); ++i)
    if (isWritable(variables[i])) unwritten[variables[i].key].push_back(i);

  std::vector<std::string> lines;
  for (std::string_view raw : splitLines(*existing)) {
    Line line = classify(raw);
    if (line.kind != Line::Kind::assignment) {
      lines.emplace_back(raw);
      continue;
    }
    auto queue = unwritten.find(line.assignment.key);
    if (queue == unwritten.end() || queue->second.empty()) continue;
    std::string replacement = assignmentLine(variables[queue->second.front()]);
    if (raw.ends_with('\r')) replacement += '\r';
    lines.push_back(std::move(replacement));
    queue->second.pop_front();
  }
  if (!lines.empty() && lines.back().empty()) lines.pop_back();

  std::vector<std::size_t> appended;
  for (const auto& [key, queue] : unwritten) appended.insert(appended.end(), queue.begin(), queue.end());
  std::sort(appended.begin(), appended.end());
  for (std::size_t i : appended) {
    appendDescription(lines, variables[i]);
    lines.push_back(assignmentLine(variables[i]));
  }
  return joined(lines, "\n") + "\n";
}

std::vector<QSEnvironmentVariable> variablesWithNewKeys(std::string_view text,
                                                        const std::vector<QSEnvironmentVariable>& known) {
  std::set<std::string, std::less<>> keys;
  for (const auto& variable : known) keys.insert(variable.key);
  std::vector<QSEnvironmentVariable> found;
  for (auto& variable : parseDotenv(text))
    if (keys.insert(variable.key).second) found.push_back(std::move(variable));
  return found;
}

namespace {

// A byte's length in a JSON string: control characters become \uXXXX, quote and backslash two.
std::size_t encodedLength(std::string_view text) {
  std::size_t length = text.size();
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20) length += 5;
    else if (c == '"' || c == '\\') length += 1;
  }
  return length;
}

}  // namespace

std::size_t encodedSize(const std::vector<QSEnvironmentVariable>& variables) {
  // What every record costs beside its texts: field names, quotes, its id and enabled flag.
  constexpr std::size_t recordOverhead = 100;
  std::size_t size = 0;
  for (const auto& v : variables)
    size += recordOverhead + encodedLength(v.key) + encodedLength(v.value) +
            (v.comment ? encodedLength(*v.comment) : 0);
  return size;
}

std::string QSEnvVariableError::message() const {
  constexpr std::string_view rule = "use letters, digits and underscores, not starting with a digit.";
  switch (kind) {
    case Kind::emptyKey: return "A variable needs a name: " + std::string(rule);
    case Kind::invalidKey: return "'" + key + "' is not a valid variable name: " + std::string(rule);
    case Kind::lineBreakInValue:
      return "The value of " + key + " contains a line break, which a .env file cannot hold: put the value on one line.";
    case Kind::valueNotText:
      return "The value of " + key + " is not valid UTF-8 text, which Quayside cannot store unchanged: use UTF-8.";
    case Kind::valueTooLong: return "The value of " + key + " is longer than 64 KiB, the most a variable can hold.";
    case Kind::projectTooLarge:
      return "The variables would take more than 1 MiB, the most one project can hold: unset or shorten some first.";
    case Kind::allTooLarge:
      return "All projects' variables would take more than 3 MiB, the most Quayside keeps: unset or shorten some "
             "first.";
  }
  return {};
}

std::optional<QSEnvVariableError> validateEnvironmentVariable(std::string_view key, std::string_view value) {
  using Kind = QSEnvVariableError::Kind;
  if (key.empty()) return QSEnvVariableError{Kind::emptyKey, ""};
  if (!keyPattern().fullMatch(key)) return QSEnvVariableError{Kind::invalidKey, std::string(key)};
  if (value.find_first_of("\r\n") != std::string_view::npos)
    return QSEnvVariableError{Kind::lineBreakInValue, std::string(key)};
  if (!isValidUTF8(value)) return QSEnvVariableError{Kind::valueNotText, std::string(key)};
  if (encodedLength(value) > maxValueBytes) return QSEnvVariableError{Kind::valueTooLong, std::string(key)};
  return std::nullopt;
}

std::optional<QSEnvVariableError> variablesSizeError(const std::vector<QSEnvironmentVariable>& before,
                                                     const std::vector<QSEnvironmentVariable>& after,
                                                     std::size_t otherProjectsBytes) {
  using Kind = QSEnvVariableError::Kind;
  std::size_t size = encodedSize(after);
  if (size <= encodedSize(before)) return std::nullopt;
  if (size > maxProjectVariablesBytes) return QSEnvVariableError{Kind::projectTooLarge, ""};
  if (size + otherProjectsBytes > maxAllVariablesBytes) return QSEnvVariableError{Kind::allTooLarge, ""};
  return std::nullopt;
}

}  // namespace qs
