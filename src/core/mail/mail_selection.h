// Picking and naming caught mail, as every view of the mail folder does it (`qs mail`, the app's
// mail box): which project a message came from, whether it mentions a text, and a file name for
// an attachment.
#pragma once

#include "core/mail/mail_message.h"
#include "core/protocol/mail_records.h"

#include <string>

namespace qs {

// Whether a message belongs to `project`: its project's name (any letter case) or id, or
// "other" for mail that no project server sent.
bool fromProject(const QSMailSummary& summary, const std::string& project);

// Whether `text` occurs, ignoring letter case, in the subject, the addresses or a body.
bool mentions(const QSMailMessage& message, const std::string& text);

// A file name safe to create in a folder: path separators, control characters and leading dots
// replaced, never empty.
std::string safeFileName(const std::string& name);

}  // namespace qs
