// What can go wrong while changing the system as root for .test routing and certificate trust.
#pragma once

#include "core/models/case_coding.h"
#include "core/platform/error_exception.h"

#include <string>

namespace qs {

// Cases of QSPrivilegedError.
namespace privilegedError {
// No way to ask for the administrator password here (no terminal, no desktop session); the text
// says what to do instead.
using RequiresInteractiveSession = QSUnnamedCase<"requiresInteractiveSession", std::string>;
// The password prompt was cancelled or failed: the script never ran.
using Cancelled = QSEmptyCase<"cancelled">;
// The script ran and a step failed.
struct ScriptFailed {
  static constexpr std::string_view caseName = "scriptFailed";
  int exitStatus = 0;
  std::string errorOutput;  // what the script wrote to standard error, the failing step included
  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("exitStatus", self.exitStatus);
    f.field("errorOutput", self.errorOutput);
  }
  bool operator==(const ScriptFailed&) const = default;
};
using ToolMissing = QSUnnamedCase<"toolMissing", std::string>;    // the tool's name
using InvalidPort = QSUnnamedCase<"invalidPort", int>;             // the port refused
using InvalidPath = QSUnnamedCase<"invalidPath", std::string>;     // the path refused
using InvalidProcess = QSUnnamedCase<"invalidProcess", int>;       // the process id refused
}  // namespace privilegedError

struct QSPrivilegedError
    : QSEnumeration<privilegedError::RequiresInteractiveSession, privilegedError::Cancelled, privilegedError::ScriptFailed,
                    privilegedError::ToolMissing, privilegedError::InvalidPort, privilegedError::InvalidPath,
                    privilegedError::InvalidProcess> {
  using QSEnumeration::QSEnumeration;

  // The text shown to the user, for example "The administrator password prompt was cancelled;
  // nothing was changed." or, for a failed script, "The change as administrator failed (exit 1):"
  // followed by the script's own error output.
  std::string message() const;
};

using QSPrivilegedException = QSErrorException<QSPrivilegedError>;

// The refusal text for enabling or disabling .test routing without any way to prompt.
inline constexpr std::string_view kRoutingNeedsPromptText =
    "Enabling .test routing needs an admin prompt; run it once from a terminal with sudo, or pre-provision the "
    "resolver and nftables rules on headless hosts.";

}  // namespace qs
