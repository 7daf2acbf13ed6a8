// The records the hosting service answers with and the bodies it is sent; JSON keys equal the
// field names. Enumerations decode a value they do not know as `unknown`.
#pragma once

#include "core/models/json_coding.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qs {

enum class QSHostingTier { staticSite, vapor, unknown };  // "static", "vapor"
enum class QSRuntimeStatus { ready, active, deploying, error, destroyed, unknown };
enum class QSDeploymentStatus { queued, building, releasing, succeeded, failed, unknown };

// True for succeeded and failed: the deployment will not change any more.
bool isTerminal(QSDeploymentStatus status);

std::string_view rawValue(QSHostingTier value);
std::string_view rawValue(QSRuntimeStatus value);
std::string_view rawValue(QSDeploymentStatus value);
void encodeJson(json& out, QSHostingTier value, const QSCoder&);
void encodeJson(json& out, QSRuntimeStatus value, const QSCoder&);
void encodeJson(json& out, QSDeploymentStatus value, const QSCoder&);
void decodeJson(const json& in, QSHostingTier& value, const QSCoder&);
void decodeJson(const json& in, QSRuntimeStatus& value, const QSCoder&);
void decodeJson(const json& in, QSDeploymentStatus& value, const QSCoder&);

// An instant as the service writes it: ISO 8601 internet date-time with or without fractional
// seconds ("2026-12-06T09:45:20.123Z", "2026-12-06T09:45:20+01:00"). Anything else fails to
// decode with "Unrecognized date format".
struct QSHostingDate {
  QSTimestamp value;
  bool operator==(const QSHostingDate&) const = default;
};
void encodeJson(json& out, const QSHostingDate& value, const QSCoder&);
void decodeJson(const json& in, QSHostingDate& value, const QSCoder&);

struct QSHostingHealth {
  static constexpr std::string_view recordName = "QSHostingHealth";
  std::string status, build, sha;
  template <class Self, class Fields>
  static void fields(Self& s, Fields& f) {
    f.field("status", s.status).field("build", s.build).field("sha", s.sha);
  }
};

struct QSSubdomainAvailability {
  static constexpr std::string_view recordName = "QSSubdomainAvailability";
  std::string subdomain;
  bool available = false;
  template <class Self, class Fields>
  static void fields(Self& s, Fields& f) {
    f.field("subdomain", s.subdomain).field("available", s.available);
  }
};

struct QSSite {
  static constexpr std::string_view recordName = "QSSite";
  QSUUID id;
  std::string subdomain;
  std::optional<std::string> customDomain;
  QSHostingTier hostingTier = QSHostingTier::unknown;
  std::string url;
  bool isDomainVerified = false;
  std::optional<QSHostingDate> lastPublished, createdAt;
  template <class Self, class Fields>
  static void fields(Self& s, Fields& f) {
    f.field("id", s.id).field("subdomain", s.subdomain).field("customDomain", s.customDomain);
    f.field("hostingTier", s.hostingTier).field("url", s.url).field("isDomainVerified", s.isDomainVerified);
    f.field("lastPublished", s.lastPublished).field("createdAt", s.createdAt);
  }
};

struct QSRuntime {
  static constexpr std::string_view recordName = "QSRuntime";
  QSUUID id;
  std::string flyAppName;
  std::optional<std::string> flyMachineID;
  QSRuntimeStatus status = QSRuntimeStatus::unknown;
  std::optional<std::string> errorMessage, siteSubdomain;
  std::optional<QSHostingDate> createdAt;
  template <class Self, class Fields>
  static void fields(Self& s, Fields& f) {
    f.field("id", s.id).field("flyAppName", s.flyAppName).field("flyMachineID", s.flyMachineID);
    f.field("status", s.status).field("errorMessage", s.errorMessage).field("siteSubdomain", s.siteSubdomain);
    f.field("createdAt", s.createdAt);
  }
};

struct QSDeployAccepted {
  static constexpr std::string_view recordName = "QSDeployAccepted";
  QSUUID deploymentID;
  QSDeploymentStatus status = QSDeploymentStatus::unknown;
  std::optional<std::string> url, message;
  template <class Self, class Fields>
  static void fields(Self& s, Fields& f) {
    f.field("deploymentID", s.deploymentID).field("status", s.status).field("url", s.url).field("message", s.message);
  }
};

struct QSDeploymentLogs {
  static constexpr std::string_view recordName = "QSDeploymentLogs";
  QSUUID deploymentID;
  QSDeploymentStatus status = QSDeploymentStatus::unknown;
  std::vector<std::string> lines;
  std::int64_t nextCursor = 0;
  bool finished = false;
  std::optional<std::string> url, errorMessage;
  template <class Self, class Fields>
  static void fields(Self& s, Fields& f) {
    f.field("deploymentID", s.deploymentID).field("status", s.status).field("lines", s.lines);
    f.field("nextCursor", s.nextCursor).field("finished", s.finished).field("url", s.url);
    f.field("errorMessage", s.errorMessage);
  }
};

struct QSDeployResult {
  static constexpr std::string_view recordName = "QSDeployResult";
  QSRuntimeStatus status = QSRuntimeStatus::unknown;
  std::optional<std::string> url, message;
  template <class Self, class Fields>
  static void fields(Self& s, Fields& f) {
    f.field("status", s.status).field("url", s.url).field("message", s.message);
  }
};

// The machine a Vapor site's runtime gets.
struct QSServerOptions {
  static constexpr std::string_view recordName = "QSServerOptions";
  int memoryMB = 512;
  int cpus = 1;
  std::string cpuKind = "shared";
  std::string region = "iad";
  int machineCount = 1;
  bool alwaysOn = false;
  bool dedicatedIPv4 = false;
  template <class Self, class Fields>
  static void fields(Self& s, Fields& f) {
    f.field("memoryMB", s.memoryMB).field("cpus", s.cpus).field("cpuKind", s.cpuKind).field("region", s.region);
    f.field("machineCount", s.machineCount).field("alwaysOn", s.alwaysOn).field("dedicatedIPv4", s.dedicatedIPv4);
  }
  bool operator==(const QSServerOptions&) const = default;

  // 512 MB, 1 shared CPU in "iad", one machine, not always on, no dedicated IPv4.
  static QSServerOptions standard() { return {}; }
  bool isNonDefault() const { return *this != standard(); }
};

// A machine size the desktop app offers: "1 GB · 1 shared CPU" is 1024 MB, 1 CPU, "shared".
struct QSMachineSizeChoice {
  std::string label;
  int memoryMB = 0;
  int cpus = 0;
  std::string cpuKind;
};
const std::vector<QSMachineSizeChoice>& machineSizeChoices();

// A region the runtime may run in: code and label ("iad", "Ashburn, US East").
struct QSRegionChoice {
  std::string code, label;
};
const std::vector<QSRegionChoice>& regionChoices();

}  // namespace qs
