// Parses arbitrary bytes as a caught message, and feeds the same bytes to an SMTP session in
// pieces whose sizes the input's first byte picks. Neither may crash or hang; every text field
// the parser fills must be valid UTF-8 (they are shown and sent as JSON), the raw bytes must be
// kept as they came, and the session must account for every byte it was given.
#include "core/mail/mail_parser.h"
#include "core/mail/smtp_session.h"
#include "core/platform/encoding.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void requireText(std::string_view text) {
  if (!qs::isValidUTF8(text)) std::abort();
}

void checkParse(std::string_view raw) {
  qs::QSMailMessage m = qs::QSMailParser::parse(raw, "envelope@example.com", qs::QSTimestamp{});
  if (m.raw != raw || m.sizeBytes != static_cast<std::int64_t>(raw.size())) std::abort();
  requireText(m.from);
  requireText(m.subject);
  for (const auto& a : m.to) requireText(a);
  for (const auto& a : m.cc) requireText(a);
  for (const auto& h : m.headers) requireText(h.name), requireText(h.value);
  for (const auto& a : m.attachments) requireText(a.filename);
  if (m.textBody) requireText(*m.textBody);
  if (m.htmlBody) requireText(*m.htmlBody);
}

void checkSession(std::string_view bytes) {
  if (bytes.empty()) return;
  std::size_t piece = static_cast<unsigned char>(bytes.front()) % 16 + 1;
  bytes.remove_prefix(1);
  qs::QSSMTPSession session;
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    auto out = session.receive(bytes.substr(at, piece));
    while (out.message) {
      if (out.message->data.size() > qs::QSSMTPSession::maxMessageBytes) std::abort();
      out = session.receive({});
    }
    if (out.close) return;
  }
  if (session.bufferedBytes() > bytes.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  checkParse(bytes);
  checkSession(bytes);
  return 0;
}
