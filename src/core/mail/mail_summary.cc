#include "core/mail/mail_summary.h"

namespace qs {

QSMailSummary summarize(const QSMailMessage& message, const std::optional<QSMailOrigin>& origin) {
  QSMailSummary summary{
      .id = message.id,
      .receivedAt = message.receivedAt,
      .from = message.from,
      .to = message.to,
      .subject = message.subject,
      .sizeBytes = message.sizeBytes,
      .attachmentCount = static_cast<int>(message.attachments.size()),
      .hasHTML = message.htmlBody.has_value(),
  };
  if (origin) {
    summary.projectID = origin->projectID;
    summary.projectName = origin->projectName;
  }
  return summary;
}

}  // namespace qs
