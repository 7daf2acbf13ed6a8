#include "core/routing/privileged_error.h"

#include "core/platform/text.h"

namespace qs {

std::string QSPrivilegedError::message() const {
  return visit(QSOverloaded{
      [](const privilegedError::RequiresInteractiveSession& e) { return e.value; },
      [](const privilegedError::Cancelled&) {
        return std::string("The administrator password prompt was cancelled; nothing was changed.");
      },
      [](const privilegedError::ScriptFailed& e) {
        std::string text = "The change as administrator failed (exit " + std::to_string(e.exitStatus) + ")";
        auto details = std::string(trimmedEnd(e.errorOutput, "\n "));
        return details.empty() ? text + "." : text + ":\n" + details;
      },
      [](const privilegedError::ToolMissing& e) {
        return "'" + e.value + "' was not found; install it (package " +
               std::string(e.value == "nft" ? "nftables" : e.value == "certutil" ? "libnss3-tools" : e.value) +
               ") and try again.";
      },
      [](const privilegedError::InvalidPort& e) {
        return "Port " + std::to_string(e.value) + " can't be used for .test routing; ports run from 1 to 65535.";
      },
      [](const privilegedError::InvalidPath& e) {
        return "The path '" + e.value + "' can't be handed to a script run as administrator (it must be absolute and hold no control characters).";
      },
      [](const privilegedError::InvalidProcess& e) {
        return "Process id " + std::to_string(e.value) + " can't be stopped this way.";
      },
  });
}

}  // namespace qs
