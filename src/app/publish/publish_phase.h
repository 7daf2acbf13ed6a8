// The steps of a publish, as the user watches them: each with its label and, for some, a line
// of detail.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qs {

struct QSPublishPhase {
  enum class Kind { idle, checkingAPI, preparingSite, provisioning, packaging, uploading, deploying, succeeded, failed };

  Kind kind = Kind::idle;
  std::string url;      // succeeded: the published site's address
  std::string message;  // failed: what went wrong, as the user sees it

  static QSPublishPhase succeeded(std::string url) { return {Kind::succeeded, std::move(url), {}}; }
  static QSPublishPhase failed(std::string message) { return {Kind::failed, {}, std::move(message)}; }

  // "Contacting Brindle Hosting…", …; "Published" once succeeded; the message once failed.
  std::string label() const;
  // The line shown under the label while provisioning and deploying; nothing otherwise.
  std::optional<std::string> detail() const;
  // True for the six working phases, checkingAPI to deploying.
  bool isActive() const;
  // The case's name ("checkingAPI"), as --json output carries it.
  std::string_view name() const;

  bool operator==(const QSPublishPhase&) const = default;
};

// The name of a kind ("uploading").
std::string_view phaseName(QSPublishPhase::Kind kind);

}  // namespace qs
