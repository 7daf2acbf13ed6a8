// .test host names: which are acceptable, and the error that rejects the others.
#pragma once

#include "core/models/case_coding.h"
#include "core/platform/error_exception.h"

#include <string>
#include <string_view>

namespace qs {

// Cases of QSDomainError.
namespace domainError {
using InvalidHostname = QSUnnamedCase<"invalidHostname", std::string>;  // the name as given
}  // namespace domainError

struct QSDomainError : QSEnumeration<domainError::InvalidHostname> {
  using QSEnumeration::QSEnumeration;
  static constexpr std::string_view typeName = "QSDomainError";
  // "Invalid hostname: NAME. Must match [a-z0-9-]+.test"
  std::string message() const;
};
using QSDomainException = QSErrorException<QSDomainError>;

// Whether `hostname` is one label of lower-case letters, digits and inner hyphens followed by
// ".test" ("blog.test", "my-app2.test"). Not lower-cased first: "Blog.test" is rejected. Such a
// name is safe in a file name, an openssl subject and an HTML page.
bool isValidHostname(std::string_view hostname);

// Throws QSDomainException(invalidHostname) unless isValidHostname(hostname).
void requireValidHostname(std::string_view hostname);

}  // namespace qs
