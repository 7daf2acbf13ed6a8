// The mail catcher as the daemon reports it: its state in `status`, and a short record of each
// message that arrives (the message itself stays in the mail folder).
#pragma once

#include "core/models/json_coding.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qs {

struct QSMailSummary {
  static constexpr std::string_view recordName = "QSMailSummary";
  QSUUID id;
  QSTimestamp receivedAt;
  std::string from;
  std::vector<std::string> to;
  std::string subject;
  std::int64_t sizeBytes = 0;
  int attachmentCount = 0;
  bool hasHTML = false;
  // The project whose server sent it; absent for mail from anywhere else.
  std::optional<QSUUID> projectID;
  std::optional<std::string> projectName;

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("id", self.id)
        .field("receivedAt", self.receivedAt)
        .field("from", self.from)
        .field("to", self.to)
        .field("subject", self.subject)
        .field("sizeBytes", self.sizeBytes)
        .field("attachmentCount", self.attachmentCount)
        .field("hasHTML", self.hasHTML)
        .field("projectID", self.projectID)
        .field("projectName", self.projectName);
  }
  bool operator==(const QSMailSummary&) const = default;
};

// The SMTP catcher: switched on in the settings or not, listening or not, on which port, why it
// could not start, and how many messages the mail folder holds.
struct QSMailStatus {
  static constexpr std::string_view recordName = "QSMailStatus";
  bool enabled = true;
  bool running = false;
  int port = 0;
  std::optional<std::string> startError;
  int messageCount = 0;

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("enabled", self.enabled)
        .field("running", self.running)
        .field("port", self.port)
        .field("startError", self.startError)
        .field("messageCount", self.messageCount);
  }
  bool operator==(const QSMailStatus&) const = default;
};

}  // namespace qs
