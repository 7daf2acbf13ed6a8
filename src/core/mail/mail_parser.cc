#include "core/mail/mail_parser.h"

#include "core/mail/mail_date.h"
#include "core/mail/mime_structure.h"
#include "core/platform/charset_conversion.h"
#include "core/platform/regex.h"
#include "core/platform/text.h"
#include "core/platform/utf8.h"

#include <algorithm>
#include <cctype>

namespace qs::QSMailParser {
namespace {

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
    line(text.substr(start, end - start));
    start = end + 1;
  }
}

// "Name: value" (blanks allowed before the colon), the name printable ASCII.
bool isHeaderLine(std::string_view line) {
  auto colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  std::string_view name = line.substr(0, colon);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c > ' ' && c < 0x7f; });
}

bool isBlank(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

// The Q form of quoted-printable as bytes: "_" is a space, "=" and two hex digits a byte, and
// an "=" that starts no escape is kept as written.
std::string decodeQWord(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '=' && i + 2 < text.size() && hexDigitValue(text[i + 1]) >= 0 && hexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
      i += 3;
    } else {
      out += text[i] == '_' ? ' ' : text[i];
      ++i;
    }
  }
  return out;
}

// The bytes an encoded word's payload spells; a Base64 payload that does not decode spells none.
std::string wordBytes(char letter, std::string_view payload) {
  if (letter == 'Q' || letter == 'q') return decodeQWord(payload);
  auto decoded = base64Decode(payload);
  return decoded ? std::string(decoded->begin(), decoded->end()) : std::string();
}

// What one walk over the parts collects.
struct Result {
  std::optional<std::string> text;
  std::optional<std::string> html;
  std::vector<QSMailAttachment> attachments;
};

QSBytes toBytes(const std::string& text) { return QSBytes(text.begin(), text.end()); }

void take(QSMimeStructure::Leaf& leaf, Result& result) {
  bool isText = leaf.mediaType.starts_with("text/");
  if (leaf.fileName && (asciiLowercased(leaf.disposition).find("attachment") != std::string::npos || !isText)) {
    // decodeEncodedWords: a name in encoded words inside quotes, as some mailers write it.
    result.attachments.push_back({.filename = decodeEncodedWords(*leaf.fileName), .contentType = leaf.mediaType,
                                  .data = toBytes(leaf.bytes)});
  } else if (leaf.mediaType == "text/html") {
    if (!result.html) result.html = decodeText(leaf.bytes, leaf.charset);
  } else if (isText) {
    if (!result.text) result.text = decodeText(leaf.bytes, leaf.charset);
  } else if (!leaf.bytes.empty()) {
    result.attachments.push_back(
        {.filename = "attachment", .contentType = leaf.mediaType, .data = toBytes(leaf.bytes)});
  }
}

// The parts of the message. A body that starts right after the headers, without the empty line
// between them, is given one, so that the structure reader does not take it for a header.
Result walk(std::string_view raw, const QSHeaderBlock& block) {
  std::string separated;
  if (!block.separated) {
    bool crlf = block.bodyStart >= 2 && raw[block.bodyStart - 2] == '\r';
    separated.reserve(raw.size() + 2);
    separated.append(raw.substr(0, block.bodyStart)).append(crlf ? "\r\n" : "\n").append(raw.substr(block.bodyStart));
  }
  Result result;
  for (auto& leaf : QSMimeStructure::leaves(block.separated ? raw : separated, maxMultipartDepth)) take(leaf, result);
  return result;
}

}  // namespace

QSHeaderBlock findHeaderBlock(std::string_view message) {
  QSHeaderBlock block{message.size(), message.size(), true};
  std::size_t start = 0;
  bool any = false;
  while (start < message.size()) {
    std::size_t end = message.find('\n', start);
    std::size_t next = end == std::string_view::npos ? message.size() : end + 1;
    std::string_view line = message.substr(start, (end == std::string_view::npos ? message.size() : end) - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty()) return {start, next, true};
    bool continuation = any && (line.front() == ' ' || line.front() == '\t');
    if (!continuation && !isHeaderLine(line)) return {start, start, false};
    any = true;
    start = next;
  }
  return block;
}

QSMailMessage parse(std::string_view raw, std::string envelopeFrom, QSTimestamp receivedAt) {
  QSMailMessage message;
  QSHeaderBlock block = findHeaderBlock(raw);
  message.headers = parseHeaders(raw.substr(0, block.headersEnd));
  Result result = walk(raw, block);
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
    if (line.empty()) return;
    if ((line.front() == ' ' || line.front() == '\t') && !headers.empty()) {
      headers.back().value += ' ';
      headers.back().value += replacingInvalidUTF8(trimmed(line, kBlanks));
      return;
    }
    auto colon = line.find(':');
    if (colon == std::string_view::npos) return;
    headers.push_back({replacingInvalidUTF8(trimmed(line.substr(0, colon), kBlanks)),
                       replacingInvalidUTF8(trimmed(line.substr(colon + 1), kBlanks))});
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

// Encoded words are decoded here rather than by GMime: GMime 3.2 drops the second of two
// adjacent Base64 words in one character set when the first ends in padding, which is how
// Python's email package writes long subjects.
std::string decodeEncodedWords(std::string_view text) {
  if (text.find("=?") == std::string_view::npos) return replacingInvalidUTF8(text);
  static const QSRegex encodedWord(R"(=\?([^?]+)\?([BbQq])\?([^?]*)\?=)");
  std::string out;
  // The bytes of adjacent words in one character set are converted together: an encoder may
  // split a character between two words.
  std::string runBytes, runCharset;
  auto flush = [&] {
    if (!runCharset.empty()) out += decodeText(runBytes, runCharset);
    runBytes.clear();
    runCharset.clear();
  };
  bool lastWasWord = false;
  std::size_t position = 0;
  while (position < text.size()) {
    auto range = encodedWord.firstMatchRange(text.substr(position));
    std::size_t next = range ? position + range->first : text.size();
    std::string_view between = text.substr(position, next - position);
    // Only the blanks between two words go; any other text ends a run of words.
    if (!(lastWasWord && range && isBlank(between))) {
      flush();
      out.append(between);
    }
    if (!range) break;
    auto groups = encodedWord.fullMatchGroups(text.substr(next, range->second));
    std::string charset = asciiLowercased((*groups)[0].substr(0, (*groups)[0].find('*')));  // RFC 2231: "*language"
    if (charset != runCharset) flush();
    runCharset = charset;
    runBytes += wordBytes((*groups)[1][0], (*groups)[2]);
    position = next + range->second;
    lastWasWord = true;
  }
  flush();
  return replacingInvalidUTF8(out);
}

std::string decodeText(std::string_view bytes, const std::optional<std::string>& charset) {
  std::string label = charset ? asciiLowercased(trimmed(*charset, kBlanks)) : "";
  if (label.empty() || label == "utf-8" || label == "utf8")
    return isValidUTF8(bytes) ? std::string(bytes) : latin1ToUTF8(bytes);
  std::string name = QSMimeStructure::iconvCharsetName(label);
  if (!isKnownCharset(name.c_str())) return replacingInvalidUTF8(bytes);
  if (auto converted = convertToUTF8(bytes, name.c_str())) return *converted;
  return isValidUTF8(bytes) ? std::string(bytes) : latin1ToUTF8(bytes);
}

std::vector<std::string> splitAddresses(const std::optional<std::string>& value) {
  std::vector<std::string> addresses;
  if (!value) return addresses;
  std::string_view rest = *value;
  for (;;) {
    auto comma = rest.find(',');
    std::string address = decodeEncodedWords(trimmed(rest.substr(0, comma), kBlanks));
    if (!address.empty()) addresses.push_back(std::move(address));
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return addresses;
}

std::optional<QSTimestamp> parseDate(const std::optional<std::string>& value) {
  if (!value) return std::nullopt;
  return parseMailDate(trimmed(*value, kBlanks));
}

}  // namespace qs::QSMailParser
