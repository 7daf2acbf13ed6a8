// Where the daemon's .test services listen and who runs their privileged steps: the part of
// the engine's options a daemon reads from its environment.
#pragma once

#include "core/routing/system_root.h"

#include <filesystem>
#include <memory>
#include <optional>

namespace qs {

class QSPrivilegedRunner;

// Where the .test services listen. Port 0 lets the system choose (tests).
struct QSNetworkServiceOptions {
  int proxyPort = 7080;
  int proxyTLSPort = 7443;
  int dnsPort = 5300;
  // The certificate authority's folder; Quayside/ssl in the data folder when absent.
  std::optional<std::filesystem::path> sslDirectory;
  // Runs the privileged steps of .test routing and certificate trust; when absent, the system's
  // runner, which never prompts on the daemon's terminal.
  std::shared_ptr<QSPrivilegedRunner> privilegedRunner;
  // Where the system-wide pieces go and where system tools are found; QS_SYSTEM_ROOT and
  // QS_SYSTEM_TOOL_PATH when absent.
  std::optional<QSSystemRoot> systemRoot;
};

}  // namespace qs
