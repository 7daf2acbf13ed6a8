// The pure pieces of `qs mail`: picking messages by id prefix, project and text, and printing them.
#pragma once

#include "core/mail/mail_index.h"
#include "core/mail/mail_message.h"
#include "core/mail/mail_store.h"
#include "core/protocol/mail_records.h"

#include <optional>
#include <string>
#include <vector>

namespace qs {

// The stored message whose id starts with `prefix` (any letter case). Throws QSCliError when
// none or several do.
QSUUID resolveMessageID(const std::vector<QSMailFileName>& stored, const std::string& prefix);

// Whether a message belongs to `project`: its project's name (any letter case) or id, or
// "other" for mail that no project server sent.
bool fromProject(const QSMailSummary& summary, const std::string& project);

// Whether `text` occurs, ignoring letter case, in the subject, the addresses or a body.
bool mentions(const QSMailMessage& message, const std::string& text);

// What these print is safe for a terminal: control characters from the mail are replaced.
// The table of `qs mail`: short id, time, sender, subject, project ("other" when none).
std::string formatMailList(const std::vector<QSMailSummary>& messages);
// One line for a message as it arrives (`qs mail -f`).
std::string formatMailArrival(const QSMailSummary& summary);
// The headers worth reading, the attachments, then the text body (`qs mail show`).
std::string formatMailMessage(const QSMailMessage& message, const std::optional<QSMailOrigin>& origin);
// "1.2 KB": sizes as people read them.
std::string formatByteCount(std::int64_t bytes);
// A file name safe to create in a folder: path separators, control characters and leading dots
// replaced, never empty.
std::string safeFileName(const std::string& name);

}  // namespace qs
