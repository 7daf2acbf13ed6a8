// The MIME structure of one message, read with GMime: its leaf parts in order, each with what the
// mail parser needs to decide what the part is (text, HTML, attachment) and its decoded bytes.
// RFC 2231 parameters (continuations and character sets), the transfer encodings and the names
// of character sets are GMime's; the rules on top of them are the mail parser's.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs::QSMimeStructure {

// One part that is not walked into: a single-part entity, an attached message, or a multipart
// nested too deep.
struct Leaf {
  std::string mediaType;                // "type/subtype", lower-cased; "text" alone reads "text/plain"
  std::optional<std::string> fileName;  // Content-Type "name", else Content-Disposition "filename"; UTF-8
  std::string disposition;              // the Content-Disposition header as written, or empty
  std::optional<std::string> charset;   // the Content-Type "charset" parameter
  std::string bytes;                    // the body with its transfer encoding undone
};

// The leaves of `message` (a whole message: header block, blank line, body), in the order they
// appear. Multipart entities are walked down to `maxDepth` levels; one nested deeper is a leaf
// holding its body as it stands. Never fails: an entity GMime cannot read yields no leaf.
std::vector<Leaf> leaves(std::string_view message, int maxDepth);

// The name iconv knows a character set label by ("latin1" -> "iso-8859-1", "gb2312" -> "GB2312").
std::string iconvCharsetName(std::string_view label);

}  // namespace qs::QSMimeStructure
