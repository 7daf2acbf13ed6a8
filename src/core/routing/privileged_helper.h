// Installs and removes the system-wide pieces of .test routing: the resolver entry for `test`
// names, the nftables redirect of local ports 80/443 to the proxy, and the watchdog service that
// keeps the redirect loaded only while the proxy listens. Every change is one script run as root
// through the privileged runner; the questions below only read files.
#pragma once

#include "core/routing/privileged_files.h"
#include "core/routing/privileged_runner.h"
#include "core/routing/system_root.h"

#include <memory>
#include <optional>
#include <vector>

namespace qs {

// What `disableTestRouting` did.
enum class QSRoutingRemoval { removed, nothingToRemove };

// Which resolver carries the `test` names on this machine.
enum class QSResolverService { systemdResolved, networkManagerDnsmasq, none };

class QSPrivilegedHelper {
public:
  QSPrivilegedHelper(QSSystemRoot system, std::shared_ptr<QSPrivilegedRunner> runner);

  const QSRoutingLayout& layout() const { return layout_; }

  // The resolver file is readable, carries "DNS=127.0.0.1:" + `dnsPort` as a whole line, and
  // sends `test` names there.
  bool isResolverConfigured(int dnsPort) const;
  // The port of the first "DNS=127.0.0.1:PORT" line of the resolver file, when it names one in
  // 1–65535.
  std::optional<int> configuredResolverPort() const;
  // The redirect table's file and the watchdog's unit file both exist.
  bool isRedirectInstalled() const;
  bool isTestRoutingEnabled(int dnsPort) const;
  // Whether the watchdog service runs (asks systemctl; false without systemd).
  bool isWatchdogActive() const;
  // The resolver that will read our entry: systemd-resolved when it is active, else
  // NetworkManager's dnsmasq mode when our fallback is installed, else none (the entry is read
  // once systemd-resolved runs).
  QSResolverService activeResolver() const;

  // Writes the generated files to temporary files, runs the install script as root and removes
  // the temporary files again. Ports are checked first (nothing is written for a bad one).
  // Throws QSPrivilegedException (invalidPort, invalidPath, toolMissing, requiresInteractiveSession,
  // cancelled, scriptFailed); QSSystemError when a temporary file cannot be written.
  void enableTestRouting(const QSRoutingPorts& ports);
  // Runs the uninstall script as root, or nothing at all (no prompt) when none of our pieces is
  // installed. Throws as above.
  QSRoutingRemoval disableTestRouting();
  // Ends process `pid` as root (SIGTERM) when it listens on one of `ports`. Throws as above;
  // invalidProcess for a pid below 2; scriptFailed with routingScripts::notListeningStatus when
  // it holds none of the ports.
  void terminateAsRoot(int pid, const std::vector<int>& ports);

private:
  bool hasAnythingInstalled() const;

  QSSystemRoot system_;
  QSRoutingLayout layout_;
  std::shared_ptr<QSPrivilegedRunner> runner_;
};

}  // namespace qs
