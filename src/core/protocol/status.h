// Status records that only travel on the daemon socket.
#pragma once

#include "core/models/database.h"
#include "core/models/project.h"
#include "core/models/server.h"
#include "core/models/case_coding.h"
#include "core/models/port_availability.h"
#include "core/protocol/mail_records.h"

#include <optional>
#include <string>
#include <vector>

namespace qs {

// The DNS server, proxy and .test routing as the engine sees them.
struct QSNetworkStatus {
  static constexpr std::string_view recordName = "QSNetworkStatus";
  bool dnsRunning = false;
  int dnsPort = 0;
  bool proxyRunning = false;
  bool proxyTLSRunning = false;
  bool testRoutingEnabled = false;
  bool testRoutingPortConflict = false;
  std::optional<int> testRoutingExpectedPort;
  QSPortAvailability httpPortStatus;
  QSPortAvailability httpsPortStatus;
  std::vector<ListeningProcess> conflictingProcesses;
  // Beyond the shared protocol: the ports the proxy serves plain HTTP and TLS on (7080 and 7443
  // unless the daemon was told otherwise), for clients that show .test URLs.
  std::optional<int> proxyPort;
  std::optional<int> proxyTLSPort;
  // Beyond the shared protocol: the system-wide pieces of .test routing. The redirect table and
  // its watchdog's unit are installed; the watchdog service runs; the resolver that reads the
  // resolver entry ("systemd-resolved", "NetworkManager's dnsmasq"; absent while neither runs);
  // the local certificate authority is trusted.
  std::optional<bool> testRoutingRedirectInstalled;
  std::optional<bool> testRoutingWatchdogActive;
  std::optional<std::string> testRoutingResolver;
  std::optional<bool> caTrusted;

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("dnsRunning", self.dnsRunning)
        .field("dnsPort", self.dnsPort)
        .field("proxyRunning", self.proxyRunning)
        .field("proxyTLSRunning", self.proxyTLSRunning)
        .field("testRoutingEnabled", self.testRoutingEnabled)
        .field("testRoutingPortConflict", self.testRoutingPortConflict)
        .field("testRoutingExpectedPort", self.testRoutingExpectedPort)
        .field("httpPortStatus", self.httpPortStatus)
        .field("httpsPortStatus", self.httpsPortStatus)
        .field("conflictingProcesses", self.conflictingProcesses)
        .field("proxyPort", self.proxyPort)
        .field("proxyTLSPort", self.proxyTLSPort)
        .field("testRoutingRedirectInstalled", self.testRoutingRedirectInstalled)
        .field("testRoutingWatchdogActive", self.testRoutingWatchdogActive)
        .field("testRoutingResolver", self.testRoutingResolver)
        .field("caTrusted", self.caTrusted);
  }
  bool operator==(const QSNetworkStatus&) const = default;
};

// Everything a client needs to mirror the engine: the answer to `status` and the payload of
// `networkChanged`.
struct QSFullStatus {
  static constexpr std::string_view recordName = "QSFullStatus";
  std::vector<QSProject> projects;
  std::vector<QSDatabase> databases;
  std::vector<QSServer> servers;
  QSNetworkStatus network;
  std::string daemonVersion;
  // Set when the saved state could not be read at start: why, and where its copy was kept (the
  // daemon then runs on an empty state).
  std::optional<std::string> stateLoadWarning;
  // The SMTP mail catcher, when this daemon runs one.
  std::optional<QSMailStatus> mail;

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("projects", self.projects)
        .field("databases", self.databases)
        .field("servers", self.servers)
        .field("network", self.network)
        .field("daemonVersion", self.daemonVersion)
        .field("stateLoadWarning", self.stateLoadWarning)
        .field("mail", self.mail);
  }
  bool operator==(const QSFullStatus&) const = default;
};

// A web port held by someone else.
struct QSPortConflict {
  static constexpr std::string_view recordName = "QSPortConflict";
  int port = 0;
  std::string heldBy;

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("port", self.port).field("heldBy", self.heldBy);
  }
  bool operator==(const QSPortConflict&) const = default;
};

// The answer to `health`.
struct QSHealthReport {
  static constexpr std::string_view recordName = "QSHealthReport";
  bool dnsRunning = false;
  bool proxyRunning = false;
  bool testRoutingEnabled = false;
  bool resolverInstalled = false;
  std::vector<QSPortConflict> portConflicts;
  std::vector<std::string> warnings;
  // As in QSFullStatus.
  std::optional<std::string> stateLoadWarning;

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("dnsRunning", self.dnsRunning)
        .field("proxyRunning", self.proxyRunning)
        .field("testRoutingEnabled", self.testRoutingEnabled)
        .field("resolverInstalled", self.resolverInstalled)
        .field("portConflicts", self.portConflicts)
        .field("warnings", self.warnings)
        .field("stateLoadWarning", self.stateLoadWarning);
  }
  bool operator==(const QSHealthReport&) const = default;
};

}  // namespace qs
