// Failures of talking to the hosting service and its account hub, each carrying the text the
// user sees.
#pragma once

#include "core/models/case_coding.h"
#include "core/platform/error_exception.h"

#include <string>

namespace qs {

// Cases of QSPublishError.
namespace publishError {
using Unreachable = QSUnnamedCase<"unreachable", std::string>;  // what went wrong on the way
using NotFound = QSUnnamedCase<"notFound", std::string>;        // the service's reason
using Conflict = QSUnnamedCase<"conflict", std::string>;        // the service's reason
// Any other failing status, with the service's reason (or the status's standard text).
struct Server {
  static constexpr std::string_view caseName = "server";
  int status = 0;
  std::string reason;
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("status", self.status).field("reason", self.reason);
  }
  bool operator==(const Server&) const = default;
};
using NotConfigured = QSEmptyCase<"notConfigured">;
using Unauthorized = QSEmptyCase<"unauthorized">;
using InvalidResponse = QSEmptyCase<"invalidResponse">;
using ArchiveUnreadable = QSUnnamedCase<"archiveUnreadable", std::string>;  // why the upload could not read it
}  // namespace publishError

// e.g. QSPublishError(publishError::Unauthorized{}).message() ==
// "Your Brindle Hosting API key was rejected. Check it in Settings.".
struct QSPublishError
    : QSEnumeration<publishError::Unreachable, publishError::NotFound, publishError::Conflict, publishError::Server,
                    publishError::NotConfigured, publishError::Unauthorized, publishError::InvalidResponse,
                    publishError::ArchiveUnreadable> {
  using QSEnumeration::QSEnumeration;
  // The text the user sees.
  std::string message() const;
};
using QSPublishException = QSErrorException<QSPublishError>;

// The standard English text of an HTTP status ("Not Found" for 404, "Internal Server Error" for
// 500); "Unknown Status" for codes without one.
std::string httpStatusText(int status);

}  // namespace qs
