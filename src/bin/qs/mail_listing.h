// The pure pieces of `qs mail`: picking messages by id prefix, and printing them.
#pragma once

#include "core/mail/mail_index.h"
#include "core/mail/mail_message.h"
#include "core/mail/mail_selection.h"
#include "core/mail/mail_store.h"
#include "core/protocol/mail_records.h"

#include <optional>
#include <string>
#include <vector>

namespace qs {

// The stored message whose id starts with `prefix` (any letter case). Throws QSCliError when
// none or several do.
QSUUID resolveMessageID(const std::vector<QSMailFileName>& stored, const std::string& prefix);

// What these print is safe for a terminal: control characters from the mail are replaced.
// The table of `qs mail`: short id, time, sender, subject, project ("other" when none).
std::string formatMailList(const std::vector<QSMailSummary>& messages, std::optional<std::size_t> width = std::nullopt);
// One line for a message as it arrives (`qs mail -f`).
std::string formatMailArrival(const QSMailSummary& summary);
// The headers worth reading, the attachments, then the text body (`qs mail show`).
std::string formatMailMessage(const QSMailMessage& message, const std::optional<QSMailOrigin>& origin);
// "1.2 KB": sizes as people read them.
std::string formatByteCount(std::int64_t bytes);

}  // namespace qs
