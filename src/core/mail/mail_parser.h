// The mail parser: the raw bytes of one message into the record the mail views show. Pure
// functions, no state. It never fails: what it cannot decode it leaves out or keeps as written.
#pragma once

#include "core/mail/mail_message.h"
#include "core/platform/encoding.h"
#include "core/platform/timestamp.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs::QSMailParser {

// The whole message: headers, decoded From/To/Cc/Subject, the first text and HTML bodies, the
// attachments, and `receivedAt` from the Date header (else the time given). A fresh id.
QSMailMessage parse(std::string_view raw, std::string envelopeFrom, QSTimestamp receivedAt);

// A header block split into headers: LF or CR LF line ends, continuation lines (starting with
// a space or tab) joined to the previous value with one space, lines without ":" skipped.
std::vector<QSMailHeader> parseHeaders(std::string_view block);

// The value of the first header named `name`, ignoring case.
std::optional<std::string> headerValue(std::string_view name, const std::vector<QSMailHeader>& headers);

// RFC 2047 encoded words ("=?utf-8?B?...?=", "=?iso-8859-1?Q?...?=") decoded; whitespace between
// two adjacent encoded words dropped; all other text kept.
std::string decodeEncodedWords(std::string_view text);

// Bytes in the named character set as UTF-8. Every character set iconv knows is converted;
// bytes that are not valid in it are read as UTF-8, else as ISO Latin-1. Without a name, UTF-8,
// else ISO Latin-1. Under a name iconv does not know, UTF-8 with invalid sequences replaced.
std::string decodeText(std::string_view bytes, const std::optional<std::string>& charset);

// Header values split at commas into trimmed, decoded, non-empty addresses.
std::vector<std::string> splitAddresses(const std::optional<std::string>& value);

// "Mon, 7 Dec 2026 09:45:20 +0100" or the same without the weekday, with or without a zone
// comment after it ("-0400 (EDT)"); nothing for anything else.
std::optional<QSTimestamp> parseDate(const std::optional<std::string>& value);

// Where the header block of a message ends: `headersEnd` is the end of its last header line,
// `bodyStart` where the body begins. The block ends at the first empty line (which belongs to
// neither), or at the first line that is neither a header ("Name: value") nor a continuation of
// one: that line already belongs to the body, and `separated` is false.
struct QSHeaderBlock {
  std::size_t headersEnd = 0;
  std::size_t bodyStart = 0;
  bool separated = true;
};
QSHeaderBlock findHeaderBlock(std::string_view message);

// Multipart nesting deeper than this is not walked further: the part is taken as it stands.
inline constexpr int maxMultipartDepth = 32;

}  // namespace qs::QSMailParser
