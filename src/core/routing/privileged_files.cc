#include "core/routing/privileged_files.h"

#include "core/routing/shell_quoting.h"

#include <fmt/format.h>

namespace qs {

QSRoutingLayout::QSRoutingLayout(const QSSystemRoot& system)
    : resolvedFolder(system.path("/etc/systemd/resolved.conf.d")),
      resolverFile(resolvedFolder / "quayside.conf"),
      resolverBackup(resolvedFolder / "quayside.conf.quayside-backup"),
      dnsmasqFolder(system.path("/etc/NetworkManager/dnsmasq.d")),
      dnsmasqFile(dnsmasqFolder / "quayside.conf"),
      networkManagerFolder(system.path("/etc/NetworkManager/conf.d")),
      networkManagerFile(networkManagerFolder / "quayside.conf"),
      redirectFolder(system.path("/etc/quayside")),
      redirectFile(redirectFolder / "redirect.nft"),
      watchdogFolder(system.path("/usr/local/libexec/quayside")),
      watchdogScript(watchdogFolder / "redirect-watchdog.sh"),
      unitFolder(system.path("/etc/systemd/system")),
      unitFile(unitFolder / unitName),
      systemdRuntime(system.path("/run/systemd/system")) {}

QSRoutingTools::QSRoutingTools(const QSSystemRoot& system)
    : systemctl(system.tool("systemctl")), nft(system.tool("nft")), dnsmasq(system.tool("dnsmasq")) {}

namespace routingFiles {

std::string resolverDropIn(int dnsPort) {
  return fmt::format("{}\n[Resolve]\nDNS=127.0.0.1:{}\nDomains=~test\n", QSRoutingLayout::resolverHeader,
                     checkedPort(dnsPort));
}

std::string dnsmasqServer(int dnsPort) {
  return fmt::format("{}\nserver=/test/127.0.0.1#{}\n", QSRoutingLayout::resolverHeader, checkedPort(dnsPort));
}

std::string networkManagerSetting() {
  return fmt::format("{}\n[main]\ndns=dnsmasq\n", QSRoutingLayout::resolverHeader);
}

std::string redirectTable(int httpPort, int httpsPort) {
  // "table" then "delete table" first: the file always starts from nothing, in one transaction,
  // whether or not an earlier copy is loaded.
  return fmt::format(
      "# Quayside — redirects local ports 80/443 to the Quayside proxy\n"
      "table inet quayside\n"
      "delete table inet quayside\n"
      "table inet quayside {{\n"
      "  chain output {{\n"
      "    type nat hook output priority -100; policy accept;\n"
      "    oifname \"lo\" ip daddr 127.0.0.1 tcp dport 80 redirect to :{}\n"
      "    oifname \"lo\" ip daddr 127.0.0.1 tcp dport 443 redirect to :{}\n"
      "  }}\n"
      "}}\n",
      checkedPort(httpPort), checkedPort(httpsPort));
}

std::string proxyOwnerCheck(int httpPort, std::uint32_t owner) {
  checkedPort(httpPort);  // throws for a port outside 1–65535
  return fmt::format(
      "proxy_is_ours() {{\n"
      "  local found=\"\" table st address uid\n"
      "  for table in /proc/net/tcp /proc/net/tcp6; do\n"
      "    [ -r \"$table\" ] || continue\n"
      "    while read -r _ address _ st _ _ _ uid _; do\n"
      "      [ \"$st\" = \"0A\" ] && [ \"${{address##*:}}\" = \"{0:04X}\" ] || continue\n"
      "      [ \"$uid\" = \"{1}\" ] || return 1\n"
      "      found=1\n"
      "    done < \"$table\"\n"
      "  done\n"
      "  [ -n \"$found\" ]\n"
      "}}\n",
      httpPort, owner);
}

std::string watchdogScript(const QSRoutingPorts& ports, const std::filesystem::path& nft,
                           const std::filesystem::path& redirectFile) {
  auto h = checkedPort(ports.http);
  auto n = shellPath(nft);
  return fmt::format(
      "#!/bin/bash\n"
      "# Quayside redirect watchdog — keeps the 80/443 → {0} redirect\n"
      "# loaded only while the Quayside proxy of uid {3} is listening on {0}.\n"
      "{4}"
      "loaded=\"\"\n"
      "while true; do\n"
      "  if proxy_is_ours; then\n"
      "    if [ \"$loaded\" != \"1\" ] || ! {1} list table inet quayside >/dev/null 2>&1; then\n"
      "      {1} -f {2} 2>/dev/null && loaded=1\n"
      "    fi\n"
      "  else\n"
      "    if [ \"$loaded\" != \"0\" ]; then\n"
      "      {1} delete table inet quayside 2>/dev/null\n"
      "      loaded=0\n"
      "    fi\n"
      "  fi\n"
      "  sleep 2\n"
      "done\n",
      h, n, shellPath(redirectFile), ports.proxyOwner, proxyOwnerCheck(ports.http, ports.proxyOwner));
}

std::string watchdogUnit(const std::filesystem::path& script, const std::filesystem::path& nft) {
  return fmt::format(
      "# Quayside — keeps ports 80/443 redirected to the Quayside proxy while it listens\n"
      "[Unit]\n"
      "Description=Quayside .test redirect watchdog\n"
      "After=network.target\n"
      "\n"
      "[Service]\n"
      "ExecStart=/bin/bash {0}\n"
      "ExecStopPost=-{1} delete table inet quayside\n"
      "Restart=always\n"
      "RestartSec=2\n"
      "DynamicUser=yes\n"
      "AmbientCapabilities=CAP_NET_ADMIN\n"
      "CapabilityBoundingSet=CAP_NET_ADMIN\n"
      "NoNewPrivileges=yes\n"
      "\n"
      "[Install]\n"
      "WantedBy=multi-user.target\n",
      unitPath(script), unitPath(nft));
}

}  // namespace routingFiles

}  // namespace qs
