#include "core/mail/mail_parser.h"

#include "core/mail/mail_date.h"
#include "core/platform/charset_conversion.h"
#include "core/platform/regex.h"

#include <algorithm>
#include <cctype>

namespace qs::QSMailParser {
namespace {

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string lowercased(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool isSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// Calls `line` for every LF-separated piece of `text` (the last one too, even when empty).
template <class F>
void forEachLine(std::string_view text, F&& line) {
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      line(text.substr(start));
      return;
    }
    if (!line(text.substr(start, end - start))) return;
    start = end + 1;
  }
}

// What one walk over the parts collects.
struct Result {
  std::optional<std::string> text;
  std::optional<std::string> html;
  std::vector<QSMailAttachment> attachments;
};

std::optional<std::string> fileNameOf(const QSContentType& type, const std::string& disposition) {
  if (auto name = type.parameters.find("name"); name != type.parameters.end()) return name->second;
  if (disposition.empty()) return std::nullopt;
  auto parsed = parseContentType(disposition);
  if (auto name = parsed.parameters.find("filename"); name != parsed.parameters.end()) return name->second;
  return std::nullopt;
}

std::optional<std::string> charsetOf(const QSContentType& type) {
  auto found = type.parameters.find("charset");
  return found == type.parameters.end() ? std::nullopt : std::optional<std::string>(found->second);
}

QSBytes toBytes(const std::string& text) { return QSBytes(text.begin(), text.end()); }

void processPart(std::string_view text, Result& result, int depth) {
  auto [block, body] = splitHeaderAndBody(text);
  auto headers = parseHeaders(block);
  QSContentType type = parseContentType(headerValue("Content-Type", headers).value_or("text/plain"));
  std::string encoding = lowercased(trimBlanks(headerValue("Content-Transfer-Encoding", headers).value_or("7bit")));
  std::string disposition = headerValue("Content-Disposition", headers).value_or("");

  auto boundary = type.parameters.find("boundary");
  if (type.mediaType.starts_with("multipart/") && boundary != type.parameters.end() && depth < maxMultipartDepth) {
    for (const auto& part : splitMultipart(body, boundary->second)) processPart(part, result, depth + 1);
    return;
  }
  std::string bytes = decodeBody(body, encoding);
  std::optional<std::string> fileName = fileNameOf(type, disposition);
  bool isText = type.mediaType.starts_with("text/");
  if (fileName && (lowercased(disposition).find("attachment") != std::string::npos || !isText)) {
    result.attachments.push_back({.filename = decodeEncodedWords(*fileName), .contentType = type.mediaType,
                                  .data = toBytes(bytes)});
  } else if (type.mediaType == "text/html") {
    if (!result.html) result.html = decodeText(bytes, charsetOf(type));
  } else if (isText) {
    if (!result.text) result.text = decodeText(bytes, charsetOf(type));
  } else if (!bytes.empty()) {
    result.attachments.push_back({.filename = "attachment", .contentType = type.mediaType, .data = toBytes(bytes)});
  }
}

// The iconv name for a charset label; UTF-8 for labels outside the supported set.
const char* encodingName(const std::optional<std::string>& charset) {
  if (!charset) return "UTF-8";
  std::string name = lowercased(*charset);
  if (name == "us-ascii" || name == "ascii") return "ASCII";
  if (name == "iso-8859-1" || name == "latin1" || name == "latin-1") return "ISO-8859-1";
  if (name == "iso-8859-2") return "ISO-8859-2";
  if (name == "windows-1252" || name == "cp1252") return "WINDOWS-1252";
  if (name == "utf-16") return "UTF-16";
  return "UTF-8";
}

std::optional<std::string> asUTF8(std::string_view bytes) {
  return isValidUTF8(bytes) ? std::optional<std::string>(std::string(bytes)) : std::nullopt;
}

std::string decodeWord(const std::string& charset, char letter, std::string payload) {
  std::string bytes;
  if (letter == 'B' || letter == 'b') {
    if (auto decoded = base64Decode(payload)) bytes.assign(decoded->begin(), decoded->end());
  } else {
    std::replace(payload.begin(), payload.end(), '_', ' ');
    bytes = decodeQuotedPrintable(payload);
  }
  return decodeText(bytes, charset);
}

// The byte length of the UTF-8 character that starts with `lead` (1 for stray bytes).
std::size_t characterLength(unsigned char lead) {
  return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

}  // namespace

std::pair<std::string_view, std::string_view> splitHeaderAndBody(std::string_view text) {
  if (auto at = text.find("\r\n\r\n"); at != std::string_view::npos) return {text.substr(0, at), text.substr(at + 4)};
  if (auto at = text.find("\n\n"); at != std::string_view::npos) return {text.substr(0, at), text.substr(at + 2)};
  return {text, {}};
}

QSMailMessage parse(std::string_view raw, std::string envelopeFrom, QSTimestamp receivedAt) {
  QSMailMessage message;
  message.headers = parseHeaders(splitHeaderAndBody(raw).first);
  Result result;
  processPart(raw, result, 0);
  message.from = decodeEncodedWords(headerValue("From", message.headers).value_or(""));
  message.to = splitAddresses(headerValue("To", message.headers));
  message.cc = splitAddresses(headerValue("Cc", message.headers));
  message.subject = decodeEncodedWords(headerValue("Subject", message.headers).value_or(""));
  message.receivedAt = parseDate(headerValue("Date", message.headers)).value_or(receivedAt);
  message.textBody = std::move(result.text);
  message.htmlBody = std::move(result.html);
  message.attachments = std::move(result.attachments);
  message.raw = std::string(raw);
  message.envelopeFrom = replacingInvalidUTF8(envelopeFrom);
  message.sizeBytes = static_cast<std::int64_t>(raw.size());
  return message;
}

std::vector<QSMailHeader> parseHeaders(std::string_view block) {
  std::vector<QSMailHeader> headers;
  forEachLine(block, [&](std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) return true;
    if ((line.front() == ' ' || line.front() == '\t') && !headers.empty()) {
      headers.back().value += ' ';
      headers.back().value += replacingInvalidUTF8(trimBlanks(line));
      return true;
    }
    auto colon = line.find(':');
    if (colon == std::string_view::npos) return true;
    headers.push_back({replacingInvalidUTF8(trimBlanks(line.substr(0, colon))),
                       replacingInvalidUTF8(trimBlanks(line.substr(colon + 1)))});
    return true;
  });
  return headers;
}

std::optional<std::string> headerValue(std::string_view name, const std::vector<QSMailHeader>& headers) {
  for (const auto& header : headers) {
    if (header.name.size() == name.size() &&
        std::equal(name.begin(), name.end(), header.name.begin(),
                   [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) ==
                                               std::tolower(static_cast<unsigned char>(b)); }))
      return header.value;
  }
  return std::nullopt;
}

QSContentType parseContentType(std::string_view value) {
  // Split at every ';' outside double quotes; the quotes stay in the pieces.
  std::vector<std::string_view> pieces;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '"') quoted = !quoted;
    if (value[i] == ';' && !quoted) {
      pieces.push_back(value.substr(start, i - start));
      start = i + 1;
    }
  }
  pieces.push_back(value.substr(start));

  QSContentType type{lowercased(trimBlanks(pieces.front())), {}};
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    auto equals = pieces[i].find('=');
    if (equals == std::string_view::npos) continue;
    std::string key = lowercased(trimBlanks(pieces[i].substr(0, equals)));
    std::string_view parameter = trimBlanks(pieces[i].substr(equals + 1));
    if (parameter.size() >= 2 && parameter.front() == '"' && parameter.back() == '"')
      parameter = parameter.substr(1, parameter.size() - 2);
    type.parameters[key] = std::string(parameter);
  }
  return type;
}

std::string decodeEncodedWords(std::string_view text) {
  if (text.find("=?") == std::string_view::npos) return replacingInvalidUTF8(text);
  static const QSRegex encodedWord(R"(=\?([^?]+)\?([BbQq])\?([^?]*)\?=)");
  std::string out;
  bool lastWasWord = false;
  std::size_t endOfLastWord = 0;
  std::size_t position = 0;
  while (position < text.size()) {
    auto range = encodedWord.firstMatchRange(text.substr(position));
    std::size_t next = range ? position + range->first : text.size();
    // Text before the next word is copied a character at a time; any non-blank ends a run of words.
    while (position < next) {
      std::size_t length = std::min(characterLength(static_cast<unsigned char>(text[position])), next - position);
      if (!isSpace(static_cast<unsigned char>(text[position]))) lastWasWord = false;
      out.append(text.substr(position, length));
      position += length;
    }
    if (!range) break;
    std::string_view word = text.substr(position, range->second);
    auto groups = encodedWord.fullMatchGroups(word);
    // Only the blanks between the two words go: a space inside a decoded word is text (encoders
    // split long subjects right after one).
    if (lastWasWord) out.resize(endOfLastWord);
    out += decodeWord((*groups)[0], (*groups)[1][0], (*groups)[2]);
    endOfLastWord = out.size();
    position += range->second;
    lastWasWord = true;
  }
  return replacingInvalidUTF8(out);
}

std::string decodeText(std::string_view bytes, const std::optional<std::string>& charset) {
  const char* name = encodingName(charset);
  std::optional<std::string> text = std::string_view(name) == "UTF-8" ? asUTF8(bytes) : convertToUTF8(bytes, name);
  if (!text) text = asUTF8(bytes);
  if (!text) text = latin1ToUTF8(bytes);
  return *text;
}

std::vector<std::string> splitAddresses(const std::optional<std::string>& value) {
  std::vector<std::string> addresses;
  if (!value) return addresses;
  std::string_view rest = *value;
  for (;;) {
    auto comma = rest.find(',');
    std::string address = decodeEncodedWords(trimBlanks(rest.substr(0, comma)));
    if (!address.empty()) addresses.push_back(std::move(address));
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return addresses;
}

std::optional<QSTimestamp> parseDate(const std::optional<std::string>& value) {
  if (!value) return std::nullopt;
  return parseMailDate(trimBlanks(*value));
}

std::vector<std::string> splitMultipart(std::string_view body, std::string_view boundary) {
  std::string delimiter = "--" + std::string(boundary);
  std::string closing = delimiter + "--";
  std::vector<std::string> parts;
  std::optional<std::string> open;  // the lines of the open part, joined with LF
  bool openHasLines = false;
  forEachLine(body, [&](std::string_view line) {
    std::string_view bare = line;
    if (!bare.empty() && bare.back() == '\r') bare.remove_suffix(1);
    if (bare == closing || bare == delimiter) {
      if (open) parts.push_back(std::move(*open));
      open.reset();
      if (bare == closing) return false;  // the epilogue is ignored
      open.emplace();
      openHasLines = false;
      return true;
    }
    if (open) {
      if (openHasLines) open->push_back('\n');
      open->append(line);
      openHasLines = true;
    }
    return true;
  });
  return parts;
}

std::string decodeBody(std::string_view body, std::string_view transferEncoding) {
  if (transferEncoding == "base64") {
    std::string compact;
    compact.reserve(body.size());
    for (char c : body)
      if (!isSpace(static_cast<unsigned char>(c))) compact += c;
    auto decoded = base64Decode(compact);
    return decoded ? std::string(decoded->begin(), decoded->end()) : std::string();
  }
  if (transferEncoding == "quoted-printable") return decodeQuotedPrintable(body);
  return std::string(body);
}

std::string decodeQuotedPrintable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] != '=') {
      out += text[i++];
      continue;
    }
    std::size_t after = text.size() - i - 1;
    if (after >= 1 && text[i + 1] == '\n') {
      i += 2;  // soft line break
    } else if (after < 2) {
      out += text[i++];
    } else if (text[i + 1] == '\r' && text[i + 2] == '\n') {
      i += 3;  // soft line break
    } else if (hexDigitValue(text[i + 1]) >= 0 && hexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
      i += 3;
    } else {
      out += text[i++];  // not an escape: kept as written
    }
  }
  return out;
}

}  // namespace qs::QSMailParser
