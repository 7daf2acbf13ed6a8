// A caught e-mail message as the mail catcher keeps and shows it.
#pragma once

#include "core/models/json_coding.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qs {

// One top-level header: the name as written, the value unfolded; both trimmed.
struct QSMailHeader {
  static constexpr std::string_view recordName = "QSMailHeader";
  std::string name;
  std::string value;

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("name", self.name).field("value", self.value);
  }
  bool operator==(const QSMailHeader&) const = default;
};

// A decoded attachment (or a non-text part without a file name, named "attachment").
struct QSMailAttachment {
  static constexpr std::string_view recordName = "QSMailAttachment";
  QSUUID id = QSUUID::random();
  std::string filename;
  std::string contentType;  // the lower-cased media type
  QSBytes data;

  std::int64_t sizeBytes() const { return static_cast<std::int64_t>(data.size()); }

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("id", self.id).field("filename", self.filename).field("contentType", self.contentType).field("data", self.data);
  }
  bool operator==(const QSMailAttachment&) const = default;
};

// What the parser makes of one message. `raw` holds the bytes exactly as received (after the
// SMTP dot-unstuffing); every other text field is valid UTF-8.
struct QSMailMessage {
  static constexpr std::string_view recordName = "QSMailMessage";
  QSUUID id = QSUUID::random();
  QSTimestamp receivedAt;
  std::string envelopeFrom;  // MAIL FROM; empty for messages loaded from disk
  std::string from;
  std::vector<std::string> to;
  std::vector<std::string> cc;
  std::string subject;
  std::optional<std::string> textBody;
  std::optional<std::string> htmlBody;
  std::vector<QSMailHeader> headers;
  std::vector<QSMailAttachment> attachments;
  std::string raw;
  std::int64_t sizeBytes = 0;  // bytes of `raw`

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("id", self.id)
        .field("receivedAt", self.receivedAt)
        .field("envelopeFrom", self.envelopeFrom)
        .field("from", self.from)
        .field("to", self.to)
        .field("cc", self.cc)
        .field("subject", self.subject)
        .field("textBody", self.textBody)
        .field("htmlBody", self.htmlBody)
        .field("headers", self.headers)
        .field("attachments", self.attachments)
        .field("raw", self.raw)
        .field("sizeBytes", self.sizeBytes);
  }
  bool operator==(const QSMailMessage&) const = default;
};

}  // namespace qs
