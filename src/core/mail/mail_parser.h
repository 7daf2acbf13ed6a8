// The mail parser: the raw bytes of one message into the record the mail views show. Pure
// functions, no state. It never fails: what it cannot decode it leaves out or keeps as written.
#pragma once

#include "core/mail/mail_message.h"
#include "core/platform/encoding.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
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

// A Content-Type (or Content-Disposition) value: the lower-cased media type and the
// parameters, keys lower-cased, quoted values unquoted; "text/plain" for an empty value.
struct QSContentType {
  std::string mediaType;
  std::map<std::string, std::string> parameters;
};
QSContentType parseContentType(std::string_view value);

// RFC 2047 encoded words ("=?utf-8?B?...?=", "=?iso-8859-1?Q?...?=") decoded; whitespace between
// two adjacent encoded words dropped; all other text kept.
std::string decodeEncodedWords(std::string_view text);

// Bytes in the named character set as UTF-8: utf-8, us-ascii, iso-8859-1 and -2, windows-1252
// and utf-16 by name, any other name as UTF-8; when that fails UTF-8, then ISO Latin-1.
std::string decodeText(std::string_view bytes, const std::optional<std::string>& charset);

// Header values split at commas into trimmed, decoded, non-empty addresses.
std::vector<std::string> splitAddresses(const std::optional<std::string>& value);

// "Mon, 7 Dec 2026 09:45:20 +0100" or the same without the weekday; nothing for anything else.
std::optional<QSTimestamp> parseDate(const std::optional<std::string>& value);

// The parts between "--boundary" lines up to "--boundary--"; a part left open is dropped.
std::vector<std::string> splitMultipart(std::string_view body, std::string_view boundary);

// A transfer-encoded body as bytes: "base64", "quoted-printable", anything else as it stands.
std::string decodeBody(std::string_view body, std::string_view transferEncoding);
std::string decodeQuotedPrintable(std::string_view text);

// Header block and body of a message or part: split at the first blank line (CR LF or LF).
std::pair<std::string_view, std::string_view> splitHeaderAndBody(std::string_view text);

// Multipart nesting deeper than this is not walked further: the part is taken as it stands.
inline constexpr int maxMultipartDepth = 32;

}  // namespace qs::QSMailParser
