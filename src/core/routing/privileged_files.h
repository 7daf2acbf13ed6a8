// The files that .test routing installs system-wide: where each one goes and what it says.
#pragma once

#include "core/platform/proc_table.h"
#include "core/routing/system_root.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qs {

// Every fixed system path of the routing install, below one system root.
struct QSRoutingLayout {
  // Our resolver file's first line; a file at our path without it belongs to another tool.
  static constexpr std::string_view resolverHeader = "# Quayside — routes .test domains to local DNS server";
  static constexpr std::string_view tableName = "quayside";  // the nftables table `inet quayside`
  static constexpr std::string_view unitName = "quayside-redirect.service";

  explicit QSRoutingLayout(const QSSystemRoot& system);

  std::filesystem::path resolvedFolder;      // /etc/systemd/resolved.conf.d
  std::filesystem::path resolverFile;        // .../quayside.conf
  std::filesystem::path resolverBackup;      // .../quayside.conf.quayside-backup
  std::filesystem::path dnsmasqFolder;       // /etc/NetworkManager/dnsmasq.d
  std::filesystem::path dnsmasqFile;         // .../quayside.conf
  std::filesystem::path networkManagerFolder;  // /etc/NetworkManager/conf.d
  std::filesystem::path networkManagerFile;  // .../quayside.conf
  std::filesystem::path redirectFolder;      // /etc/quayside
  std::filesystem::path redirectFile;        // .../redirect.nft
  std::filesystem::path watchdogFolder;      // /usr/local/libexec/quayside
  std::filesystem::path watchdogScript;      // .../redirect-watchdog.sh
  std::filesystem::path unitFolder;          // /etc/systemd/system
  std::filesystem::path unitFile;            // .../quayside-redirect.service
  std::filesystem::path systemdRuntime;      // /run/systemd/system
};

// The system tools the scripts call, by absolute path; a missing one is absent.
struct QSRoutingTools {
  explicit QSRoutingTools(const QSSystemRoot& system);

  std::optional<std::filesystem::path> systemctl;
  std::optional<std::filesystem::path> nft;
  std::optional<std::filesystem::path> dnsmasq;  // NetworkManager's dnsmasq mode needs it
};

// The ports the redirect and the resolver point at (checked before use by the scripts), and the
// account whose proxy may receive the redirected traffic.
struct QSRoutingPorts {
  int http = 7080;   // the proxy's plain listener, target of port 80
  int https = 7443;  // the proxy's TLS listener, target of port 443
  int dns = 0;       // the DNS server's bound port
  std::uint32_t proxyOwner = currentUserID();  // who enables routing: the proxy runs as them
};

namespace routingFiles {

// The systemd-resolved drop-in sending `test` names to 127.0.0.1:`dnsPort`.
std::string resolverDropIn(int dnsPort);
// The NetworkManager dnsmasq fallback: the `test` server line, and the NetworkManager setting
// that turns its dnsmasq mode on.
std::string dnsmasqServer(int dnsPort);
std::string networkManagerSetting();
// The nftables table `inet quayside`: local connections to 127.0.0.1:80 and :443 go to the proxy.
// Loading it again replaces it (the file deletes the table before defining it).
std::string redirectTable(int httpPort, int httpsPort);
// A bash function `proxy_is_ours` (with a line ending it): true when something listens on TCP
// port `httpPort` and every listener there belongs to `owner` (uids from /proc/net/tcp and tcp6).
// Another account that binds the port while the proxy is down must not get the redirected
// traffic of every user.
std::string proxyOwnerCheck(int httpPort, std::uint32_t owner);
// The watchdog: every 2 seconds checks the proxy's plain port with proxyOwnerCheck; loads the
// table when the proxy comes up (and again when something else removed it), deletes it when the
// proxy goes down or the port is someone else's.
std::string watchdogScript(const QSRoutingPorts& ports, const std::filesystem::path& nft,
                           const std::filesystem::path& redirectFile);
// The system unit that keeps the watchdog running, with only the capability it needs.
std::string watchdogUnit(const std::filesystem::path& watchdogScript, const std::filesystem::path& nft);

}  // namespace routingFiles

}  // namespace qs
