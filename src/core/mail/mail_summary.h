// The short record of a message that the daemon announces and `qs mail` lists.
#pragma once

#include "core/mail/mail_index.h"
#include "core/mail/mail_message.h"
#include "core/protocol/mail_records.h"

#include <optional>

namespace qs {

QSMailSummary summarize(const QSMailMessage& message, const std::optional<QSMailOrigin>& origin);

}  // namespace qs
