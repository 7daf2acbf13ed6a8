#include "app/publish/publish_phase.h"

namespace qs {

using Kind = QSPublishPhase::Kind;

std::string QSPublishPhase::label() const {
  switch (kind) {
    case Kind::idle: return "Ready to publish";
    case Kind::checkingAPI: return "Contacting Brindle Hosting\u2026";
    case Kind::preparingSite: return "Preparing your site\u2026";
    case Kind::provisioning: return "Provisioning the runtime\u2026";
    case Kind::packaging: return "Packaging your project\u2026";
    case Kind::uploading: return "Uploading to Brindle Hosting\u2026";
    case Kind::deploying: return "Building on Brindle Hosting\u2026";
    case Kind::succeeded: return "Published";
    case Kind::failed: return message;
  }
  return {};
}

std::optional<std::string> QSPublishPhase::detail() const {
  if (kind == Kind::provisioning) return "Setting up the runtime and your site's hosted address.";
  if (kind == Kind::deploying)
    return "Compiling your Vapor app from scratch. This usually takes a few minutes \u2014 you can leave this open.";
  return std::nullopt;
}

bool QSPublishPhase::isActive() const { return kind != Kind::idle && kind != Kind::succeeded && kind != Kind::failed; }

std::string_view QSPublishPhase::name() const { return phaseName(kind); }

std::string_view phaseName(Kind kind) {
  switch (kind) {
    case Kind::idle: return "idle";
    case Kind::checkingAPI: return "checkingAPI";
    case Kind::preparingSite: return "preparingSite";
    case Kind::provisioning: return "provisioning";
    case Kind::packaging: return "packaging";
    case Kind::uploading: return "uploading";
    case Kind::deploying: return "deploying";
    case Kind::succeeded: return "succeeded";
    case Kind::failed: return "failed";
  }
  return "idle";
}

}  // namespace qs
