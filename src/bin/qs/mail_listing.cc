#include "bin/qs/mail_listing.h"

#include "bin/qs/cli_session.h"
#include "bin/qs/output.h"
#include "bin/qs/terminal_text.h"
#include "core/platform/text.h"

#include <fmt/format.h>

#include <cctype>

namespace qs {
namespace {

std::string joined(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) out += (out.empty() ? "" : ", ") + terminalSafeLine(item);
  return out;
}

}  // namespace

QSUUID resolveMessageID(const std::vector<QSMailFileName>& stored, const std::string& prefix) {
  std::string wanted = asciiLowercased(prefix);
  std::vector<QSUUID> found;
  for (const auto& name : stored)
    if (!wanted.empty() && asciiLowercased(name.id.string()).starts_with(wanted)) found.push_back(name.id);
  if (found.size() == 1) return found.front();
  if (found.empty()) throw QSCliError("No message with id '" + prefix + "' (see 'qs mail').");
  throw QSCliError(fmt::format("'{}' matches {} messages; give more of the id.", prefix, found.size()));
}

std::string formatMailList(const std::vector<QSMailSummary>& messages, std::optional<std::size_t> width) {
  if (messages.empty()) return "No mail.\n";
  QSTextTable table({"ID", "RECEIVED", "FROM", "SUBJECT", "PROJECT"});
  for (const auto& m : messages)
    table.addRow({m.id.string().substr(0, 8), formatDate(m.receivedAt), truncateToWidth(terminalSafeLine(m.from), 40),
                  truncateToWidth(m.subject.empty() ? "(no subject)" : terminalSafeLine(m.subject), 60),
                  terminalSafeLine(m.projectName.value_or("other"))});
  return table.render("", width);
}

std::string formatMailArrival(const QSMailSummary& m) {
  return fmt::format("{}  {}  {}  {}  [{}]\n", m.id.string().substr(0, 8), formatDate(m.receivedAt),
                     terminalSafeLine(m.from), m.subject.empty() ? "(no subject)" : terminalSafeLine(m.subject),
                     terminalSafeLine(m.projectName.value_or("other")));
}

std::string formatMailMessage(const QSMailMessage& message, const std::optional<QSMailOrigin>& origin) {
  // Aligned after the longest label there may be, so that every message lines up alike.
  QSDetails details(std::string_view("Attachment").size());
  details.add("Id", message.id.string());
  details.add("Date", formatDate(message.receivedAt));
  details.add("From", terminalSafeLine(message.from));
  details.add("To", joined(message.to));
  if (!message.cc.empty()) details.add("Cc", joined(message.cc));
  details.add("Subject", terminalSafeLine(message.subject));
  details.add("Project", terminalSafeLine(origin ? origin->projectName : std::string("other")));
  details.add("Size", formatByteCount(message.sizeBytes));
  for (const auto& a : message.attachments)
    details.add("Attachment", fmt::format("{} ({}, {})", terminalSafeLine(a.filename), terminalSafeLine(a.contentType),
                                          formatByteCount(a.sizeBytes())));
  std::string out = details.render() + "\n";
  if (message.textBody)
    out += terminalSafeText(*message.textBody);
  else if (message.htmlBody)
    out += "(HTML only: 'qs mail open " + message.id.string().substr(0, 8) + "' shows it in the browser, "
           "'qs mail show " + message.id.string().substr(0, 8) + " --html' prints it)";
  else
    out += "(no text)";
  if (!out.ends_with('\n')) out += "\n";
  return out;
}

std::string formatByteCount(std::int64_t bytes) {
  if (bytes < 1000) return fmt::format("{} B", bytes);
  if (bytes < 1000 * 1000) return fmt::format("{:.1f} KB", bytes / 1000.0);
  return fmt::format("{:.1f} MB", bytes / 1e6);
}

}  // namespace qs
