// The scripts that install and remove .test routing as root. They copy staged files into place,
// so nothing but quoted paths and checked numbers ever reaches a script line.
#pragma once

#include "core/routing/privileged_files.h"

#include <filesystem>
#include <string>
#include <vector>

namespace qs {

// The temporary copies of the generated files that the install script puts in place.
struct QSRoutingStaging {
  std::filesystem::path resolver;
  std::filesystem::path dnsmasq;
  std::filesystem::path networkManager;
  std::filesystem::path table;
  std::filesystem::path watchdog;
  std::filesystem::path unit;
};

namespace routingScripts {

// The install script (bash, `set -e`; a failing step names itself on standard error):
// 1. the resolver drop-in, after keeping another tool's file at our path as the backup (once;
//    an existing backup is never overwritten), then systemd-resolved is restarted, or, where it is
//    not active but NetworkManager is (and dnsmasq is installed), NetworkManager's dnsmasq
//    fallback is installed and NetworkManager restarted;
// 2. the redirect table, checked with `nft -c -f` and loaded at once when the user's proxy listens;
// 3. the watchdog script and its system unit, enabled and restarted where systemd runs.
// `tools.nft` must be present. Throws QSPrivilegedException (invalidPath, invalidPort,
// toolMissing) before producing any text when a path or port is unusable.
std::string install(const QSRoutingLayout& layout, const QSRoutingTools& tools, const QSRoutingStaging& staging,
                    const QSRoutingPorts& ports);

// The uninstall script: stops and removes the watchdog and its unit, deletes the table and its
// file, restores a backed-up resolver file (else removes ours; another tool's file that was
// never backed up stays), removes the NetworkManager fallback, and restarts the resolvers that
// run. Every step tolerates failure.
std::string uninstall(const QSRoutingLayout& layout, const QSRoutingTools& tools);

// The exit status of the terminate script when the process holds none of the ports.
inline constexpr int notListeningStatus = 3;

// The script that ends process `pid` as root (SIGTERM), but only when it listens on one of
// `ports` (checked as root, so another account's process is checked too); else it exits with
// notListeningStatus. Throws QSPrivilegedException (invalidProcess) for a pid below 2,
// (invalidPort) for an empty list or a port outside 1–65535.
std::string terminate(int pid, const std::vector<int>& ports);

}  // namespace routingScripts

}  // namespace qs
