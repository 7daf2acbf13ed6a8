#include "core/routing/privileged_scripts.h"

#include "core/routing/privileged_error.h"
#include "core/routing/shell_quoting.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

namespace qs {
namespace {

namespace fs = std::filesystem;

// Lines that put one staged file in place with mode `mode`.
std::string placeFile(const fs::path& staged, const fs::path& target, std::string_view mode) {
  return fmt::format("cp {0} {1}\nchmod {2} {1}\n", shellPath(staged), shellPath(target), mode);
}

std::string resolverSection(const QSRoutingLayout& layout, const QSRoutingTools& tools, const QSRoutingStaging& staging) {
  auto file = shellPath(layout.resolverFile);
  auto backup = shellPath(layout.resolverBackup);
  std::string text = fmt::format(
      "# 1. Resolver — keep another tool's file at our path (once) so that disabling can\n"
      "#    restore it instead of leaving its .test names broken. Our own file, whatever\n"
      "#    port it named, is never taken for another tool's.\n"
      "mkdir -p {0}\n"
      "if [ -f {1} ] && ! grep -qxF {3} {1} && [ ! -f {2} ]; then\n"
      "  cp -p {1} {2}\n"
      "fi\n",
      shellPath(layout.resolvedFolder), file, backup, shellQuoted(QSRoutingLayout::resolverHeader));
  text += placeFile(staging.resolver, layout.resolverFile, "644");
  if (!tools.systemctl) return text + "# (no systemctl here: the resolver is read when systemd-resolved starts)\n";
  auto systemctl = shellPath(*tools.systemctl);
  text += fmt::format("if {0} is-active --quiet systemd-resolved 2>/dev/null; then\n  {0} restart systemd-resolved\n", systemctl);
  if (tools.dnsmasq) {
    text += fmt::format("elif {0} is-active --quiet NetworkManager 2>/dev/null; then\n  mkdir -p {1} {2}\n", systemctl,
                        shellPath(layout.dnsmasqFolder), shellPath(layout.networkManagerFolder));
    std::string nmFiles = placeFile(staging.dnsmasq, layout.dnsmasqFile, "644") +
                          placeFile(staging.networkManager, layout.networkManagerFile, "644");
    for (std::size_t start = 0; start < nmFiles.size();) {
      auto end = nmFiles.find('\n', start);
      text += "  " + nmFiles.substr(start, end - start + 1);
      start = end + 1;
    }
    text += fmt::format("  {0} restart NetworkManager\n", systemctl);
  }
  return text + "fi\n";
}

std::string redirectSection(const QSRoutingLayout& layout, const QSRoutingTools& tools, const QSRoutingStaging& staging,
                            const QSRoutingPorts& ports) {
  auto nft = shellPath(*tools.nft);
  auto file = shellPath(layout.redirectFile);
  return fmt::format(
             "\n# 2. Redirect table: checked before anything loads it, and loaded now when the\n"
             "#    user's proxy already listens (the watchdog keeps it in step from then on).\n"
             "mkdir -p {0}\n",
             shellPath(layout.redirectFolder)) +
         placeFile(staging.table, layout.redirectFile, "644") + routingFiles::proxyOwnerCheck(ports.http, ports.proxyOwner) +
         fmt::format("{0} -c -f {1}\nif proxy_is_ours; then\n  {0} -f {1}\nfi\n", nft, file);
}

std::string watchdogSection(const QSRoutingLayout& layout, const QSRoutingTools& tools, const QSRoutingStaging& staging) {
  std::string text = fmt::format(
      "\n# 3. Watchdog service: keeps the redirect loaded only while the proxy listens, and\n"
      "#    re-arms it after a restart. A replaced script or unit takes effect at once.\n"
      "mkdir -p {0}\n",
      shellPath(layout.watchdogFolder));
  text += placeFile(staging.watchdog, layout.watchdogScript, "755");
  text += fmt::format("mkdir -p {}\n", shellPath(layout.unitFolder));
  text += placeFile(staging.unit, layout.unitFile, "644");
  if (!tools.systemctl) return text + "# (no systemctl here: the watchdog starts with systemd)\n";
  auto systemctl = shellPath(*tools.systemctl);
  return text + fmt::format(
                    "if [ -d {0} ]; then\n"
                    "  {1} daemon-reload\n"
                    "  {1} enable {2}\n"
                    "  {1} restart {2}\n"
                    "fi\n",
                    shellPath(layout.systemdRuntime), systemctl, QSRoutingLayout::unitName);
}

}  // namespace

namespace routingScripts {

std::string install(const QSRoutingLayout& layout, const QSRoutingTools& tools, const QSRoutingStaging& staging,
                    const QSRoutingPorts& ports) {
  if (!tools.nft) throw QSPrivilegedException(privilegedError::ToolMissing{"nft"});
  checkedPort(ports.dns);
  checkedPort(ports.https);
  return "#!/bin/bash\n"
         "set -e\n"
         "trap 'echo \"Failed step: $BASH_COMMAND\" >&2' ERR\n"
         "\n" +
         resolverSection(layout, tools, staging) + redirectSection(layout, tools, staging, ports) +
         watchdogSection(layout, tools, staging);
}

std::string uninstall(const QSRoutingLayout& layout, const QSRoutingTools& tools) {
  std::string systemctl = tools.systemctl ? shellPath(*tools.systemctl) : std::string();
  std::string text = "#!/bin/bash\n";
  if (tools.systemctl)
    text += fmt::format("{0} disable --now {1} 2>/dev/null || true\n", systemctl, QSRoutingLayout::unitName);
  text += fmt::format("rm -f {}\n", shellPath(layout.unitFile));
  if (tools.systemctl) text += fmt::format("{} daemon-reload 2>/dev/null || true\n", systemctl);
  text += fmt::format("rm -f {}\nrmdir {} 2>/dev/null || true\n", shellPath(layout.watchdogScript),
                      shellPath(layout.watchdogFolder));
  if (tools.nft) text += fmt::format("{} delete table inet quayside 2>/dev/null || true\n", shellPath(*tools.nft));
  text += fmt::format("rm -f {}\nrmdir {} 2>/dev/null || true\n", shellPath(layout.redirectFile),
                      shellPath(layout.redirectFolder));
  auto file = shellPath(layout.resolverFile);
  text += fmt::format(
      "# Restore another tool's backed-up resolver instead of deleting outright, so its\n"
      "# .test names keep working after we step aside; a file that was never ours stays.\n"
      "if [ -f {1} ]; then\n"
      "  mv -f {1} {0}\n"
      "elif [ -f {0} ] && grep -qxF {2} {0}; then\n"
      "  rm -f {0}\n"
      "fi\n"
      "rmdir {3} 2>/dev/null || true\n",
      file, shellPath(layout.resolverBackup), shellQuoted(QSRoutingLayout::resolverHeader),
      shellPath(layout.resolvedFolder));
  auto nmFile = shellPath(layout.networkManagerFile);
  text += fmt::format("nm_fallback=\"\"\nif [ -f {0} ]; then nm_fallback=1; fi\nrm -f {0} {1}\n", nmFile,
                      shellPath(layout.dnsmasqFile));
  if (tools.systemctl) {
    text += fmt::format(
        "if {0} is-active --quiet systemd-resolved 2>/dev/null; then\n"
        "  {0} restart systemd-resolved || true\n"
        "fi\n"
        "if [ -n \"$nm_fallback\" ] && {0} is-active --quiet NetworkManager 2>/dev/null; then\n"
        "  {0} restart NetworkManager || true\n"
        "fi\n",
        systemctl);
  }
  return text + "exit 0\n";
}

std::string terminate(int pid, const std::vector<int>& ports) {
  if (pid < 2) throw QSPrivilegedException(privilegedError::InvalidProcess{pid});
  std::vector<std::string> hex, decimal;
  for (int port : ports) {
    decimal.push_back(checkedPort(port));
    hex.push_back(fmt::format("{:04X}", port));
  }
  if (ports.empty()) throw QSPrivilegedException(privilegedError::InvalidPort{0});
  // The check runs as root, where every process's sockets can be seen.
  return fmt::format(
      "#!/bin/bash\n"
      "# Ends process {0}, only when it listens on port {1}.\n"
      "held=\" \"\n"
      "for table in /proc/net/tcp /proc/net/tcp6; do\n"
      "  [ -r \"$table\" ] || continue\n"
      "  while read -r _ address _ st _ _ _ _ _ inode _; do\n"
      "    [ \"$st\" = \"0A\" ] || continue\n"
      "    case \"${{address##*:}}\" in {2}) held=\"$held socket:[$inode] \";; esac\n"
      "  done < \"$table\"\n"
      "done\n"
      "for fd in /proc/{0}/fd/*; do\n"
      "  target=$(readlink \"$fd\" 2>/dev/null) || continue\n"
      "  case \"$held\" in *\" $target \"*) kill {0}; exit $?;; esac\n"
      "done\n"
      "echo \"Process {0} isn't listening on port {1}.\" >&2\n"
      "exit {3}\n",
      pid, fmt::join(decimal, ", "), fmt::join(hex, "|"), notListeningStatus);
}

}  // namespace routingScripts

}  // namespace qs
