#include "core/routing/domain_names.h"

#include "core/platform/regex.h"
#include "core/platform/text.h"

namespace qs {

std::string QSDomainError::message() const {
  return "Invalid hostname: " + get<domainError::InvalidHostname>()->value + ". Must match [a-z0-9-]+.test";
}

bool isValidHostname(std::string_view hostname) {
  static const QSRegex pattern(R"([a-z0-9]([a-z0-9-]*[a-z0-9])?\.test)");
  return pattern.fullMatch(hostname);
}

void requireValidHostname(std::string_view hostname) {
  if (!isValidHostname(hostname))
    throw QSDomainException(QSDomainError(domainError::InvalidHostname{std::string(hostname)}));
}

}  // namespace qs
