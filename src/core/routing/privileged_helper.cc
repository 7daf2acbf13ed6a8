#include "core/routing/privileged_helper.h"

#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/process_runner.h"
#include "core/platform/regex.h"
#include "core/platform/uuid.h"
#include "core/routing/privileged_error.h"
#include "core/routing/privileged_scripts.h"

#include <string>
#include <vector>

namespace qs {
namespace {

namespace fs = std::filesystem;

// The generated files, each in its own temporary file for the install script to copy; removed
// again whatever happens.
class StagedFiles {
public:
  fs::path add(std::string_view prefix, const std::string& contents) {
    auto path = QSPaths::temporaryFolder() / (std::string(prefix) + "-" + QSUUID::random().string());
    paths_.push_back(path);
    writeFileAtomically(path, contents, 0644);
    return path;
  }
  ~StagedFiles() {
    for (const auto& path : paths_) tryRemoveFile(path);
  }

private:
  std::vector<fs::path> paths_;
};

bool hasLine(const std::string& text, std::string_view line) {
  std::size_t start = 0;
  while (start <= text.size()) {
    auto end = text.find('\n', start);
    auto candidate = std::string_view(text).substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!candidate.empty() && candidate.back() == '\r') candidate.remove_suffix(1);
    if (candidate == line) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

}  // namespace

QSPrivilegedHelper::QSPrivilegedHelper(QSSystemRoot system, std::shared_ptr<QSPrivilegedRunner> runner)
    : system_(std::move(system)), layout_(system_), runner_(std::move(runner)) {}

std::optional<int> QSPrivilegedHelper::configuredResolverPort() const {
  auto text = readFileIfPresent(layout_.resolverFile);
  if (!text) return std::nullopt;
  static const QSRegex pattern(R"(^DNS=127\.0\.0\.1:(\d{1,5})\s*$)", {.multiLine = true});
  auto match = pattern.firstMatch(*text);
  if (!match) return std::nullopt;
  int port = std::stoi((*match)[0]);
  if (port < 1 || port > 65535) return std::nullopt;
  return port;
}

bool QSPrivilegedHelper::isResolverConfigured(int dnsPort) const {
  auto text = readFileIfPresent(layout_.resolverFile);
  return text && hasLine(*text, "DNS=127.0.0.1:" + std::to_string(dnsPort)) && hasLine(*text, "Domains=~test");
}

bool QSPrivilegedHelper::isRedirectInstalled() const {
  return fileExists(layout_.redirectFile) && fileExists(layout_.unitFile);
}

bool QSPrivilegedHelper::isTestRoutingEnabled(int dnsPort) const {
  return isResolverConfigured(dnsPort) && isRedirectInstalled();
}

bool QSPrivilegedHelper::isWatchdogActive() const {
  auto systemctl = system_.tool("systemctl");
  if (!systemctl || !system_.isSystemdRunning()) return false;
  return runProcess({systemctl->string(), "is-active", "--quiet", std::string(QSRoutingLayout::unitName)}).succeeded();
}

QSResolverService QSPrivilegedHelper::activeResolver() const {
  auto systemctl = system_.tool("systemctl");
  if (!systemctl || !system_.isSystemdRunning()) return QSResolverService::none;
  if (runProcess({systemctl->string(), "is-active", "--quiet", "systemd-resolved"}).succeeded())
    return QSResolverService::systemdResolved;
  if (fileExists(layout_.dnsmasqFile) &&
      runProcess({systemctl->string(), "is-active", "--quiet", "NetworkManager"}).succeeded())
    return QSResolverService::networkManagerDnsmasq;
  return QSResolverService::none;
}

void QSPrivilegedHelper::enableTestRouting(const QSRoutingPorts& ports) {
  QSRoutingTools tools(system_);
  // Everything is generated (and so checked) before the first file is written.
  auto resolver = routingFiles::resolverDropIn(ports.dns);
  auto dnsmasq = routingFiles::dnsmasqServer(ports.dns);
  auto table = routingFiles::redirectTable(ports.http, ports.https);
  if (!tools.nft) throw QSPrivilegedException(privilegedError::ToolMissing{"nft"});
  auto watchdog = routingFiles::watchdogScript(ports, *tools.nft, layout_.redirectFile);
  auto unit = routingFiles::watchdogUnit(layout_.watchdogScript, *tools.nft);
  QSRoutingStaging names;
  StagedFiles staged;
  names.resolver = staged.add("qs-resolver", resolver);
  names.dnsmasq = staged.add("qs-dnsmasq", dnsmasq);
  names.networkManager = staged.add("qs-networkmanager", routingFiles::networkManagerSetting());
  names.table = staged.add("qs-redirect-table", table);
  names.watchdog = staged.add("qs-redirect-watchdog", watchdog);
  names.unit = staged.add("qs-redirect-unit", unit);
  runner_->run(routingScripts::install(layout_, tools, names, ports), kRoutingNeedsPromptText);
}

bool QSPrivilegedHelper::hasAnythingInstalled() const {
  if (fileExists(layout_.redirectFile) || fileExists(layout_.unitFile) || fileExists(layout_.watchdogScript) ||
      fileExists(layout_.resolverBackup) || fileExists(layout_.dnsmasqFile) || fileExists(layout_.networkManagerFile))
    return true;
  auto resolver = readFileIfPresent(layout_.resolverFile);
  return resolver && hasLine(*resolver, QSRoutingLayout::resolverHeader);
}

QSRoutingRemoval QSPrivilegedHelper::disableTestRouting() {
  if (!hasAnythingInstalled()) return QSRoutingRemoval::nothingToRemove;
  runner_->run(routingScripts::uninstall(layout_, QSRoutingTools(system_)), kRoutingNeedsPromptText);
  return QSRoutingRemoval::removed;
}

void QSPrivilegedHelper::terminateAsRoot(int pid, const std::vector<int>& ports) {
  runner_->run(routingScripts::terminate(pid, ports),
               "Stopping a process that runs as root needs an admin prompt; run the command from a terminal.");
}

}  // namespace qs
