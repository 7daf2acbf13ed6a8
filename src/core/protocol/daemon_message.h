// The two envelopes that travel in frames: a client's request and the daemon's response.
#pragma once

#include "core/models/case_coding.h"
#include "core/protocol/daemon_command.h"
#include "core/protocol/daemon_result.h"

namespace qs {

// One command, with an id chosen by the client (unique per request).
struct QSDaemonRequest {
  static constexpr std::string_view recordName = "QSDaemonRequest";
  QSUUID id = QSUUID::random();
  QSDaemonCommand command;

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("id", self.id).field("command", self.command);
  }
  bool operator==(const QSDaemonRequest&) const = default;
};

// An answer (`id` is the request's) or a pushed event (`id` is the subscribe request's).
struct QSDaemonResponse {
  static constexpr std::string_view recordName = "QSDaemonResponse";
  QSUUID id;
  QSDaemonResult result;

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("id", self.id).field("result", self.result);
  }
  bool operator==(const QSDaemonResponse&) const = default;
};

}  // namespace qs
