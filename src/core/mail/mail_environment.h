// Where a project's server sends its mail: the MAIL_HOST and MAIL_PORT of its environment,
// measured against the port the mail catcher really listens on. The catcher moves up from its
// usual port when another program (another user's catcher, say) holds it, and mail sent to the
// usual port would then land there.
#pragma once

#include "core/models/environment_variable.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qs {

// The port the catcher listens on, and the one its settings ask for.
struct QSCatcherPorts {
  int listening = 0;
  int preferred = 0;
};

// Points the mail of a server at the catcher. `environment` is the project's enabled variables,
// as the server gets them. MAIL_PORT is set to the listening port when the project sets none,
// and when it names the catcher's usual port (the preferred one, or 1025) on this computer (no
// MAIL_HOST, or a loopback one) while the catcher listens elsewhere; any other value is the
// user's and stays. Returns the line to show in the server's console when a value was replaced.
std::optional<std::string> pointMailAtCatcher(std::map<std::string, std::string>& environment, QSCatcherPorts ports);

// The MAIL_PORT value of `variables` (the enabled ones) when it sends mail to this computer on
// another port than `listening`; nothing when it matches, names another host, or is not set.
std::optional<std::string> mailPortElsewhere(const std::vector<QSEnvironmentVariable>& variables, int listening);

}  // namespace qs
