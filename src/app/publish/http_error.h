// Failures of one HTTP exchange before an answer came, each carrying the text the user sees.
#pragma once

#include "core/models/case_coding.h"
#include "core/platform/error_exception.h"

#include <cstdint>
#include <string>

namespace qs {

// Cases of QSHTTPError. Times are in milliseconds.
namespace httpError {
using InvalidAddress = QSUnnamedCase<"invalidAddress", std::string>;    // the URL
using InsecureAddress = QSUnnamedCase<"insecureAddress", std::string>;  // the URL, plain http elsewhere
using NotStarted = QSEmptyCase<"notStarted">;                           // the transfer could not be set up
using AnswerTooLarge = QSEmptyCase<"answerTooLarge">;
using Silent = QSUnnamedCase<"silent", std::int64_t>;        // nothing moved for this long
using TookTooLong = QSUnnamedCase<"tookTooLong", std::int64_t>;  // the whole exchange's limit
using Cancelled = QSEmptyCase<"cancelled">;
using Failed = QSUnnamedCase<"failed", std::string>;  // the transfer's own words
using RedirectedAway = QSUnnamedCase<"redirectedAway", std::string>;  // the other origin (or URL)
using TooManyRedirects = QSEmptyCase<"tooManyRedirects">;
// The file of a FileBody could not be opened or read: "open /tmp/x.tar.gz: No such file or directory".
using BodyUnreadable = QSUnnamedCase<"bodyUnreadable", std::string>;
}  // namespace httpError

// e.g. QSHTTPError(httpError::Silent{30000}).message() ==
// "The request timed out: nothing moved for 30 seconds.". Every case but bodyUnreadable is a
// failure of the transfer itself.
struct QSHTTPError
    : QSEnumeration<httpError::InvalidAddress, httpError::InsecureAddress, httpError::NotStarted,
                    httpError::AnswerTooLarge, httpError::Silent, httpError::TookTooLong, httpError::Cancelled,
                    httpError::Failed, httpError::RedirectedAway, httpError::TooManyRedirects,
                    httpError::BodyUnreadable> {
  using QSEnumeration::QSEnumeration;
  // The text the user sees.
  std::string message() const;
  // True for the two time limits.
  bool timedOut() const { return is<httpError::Silent>() || is<httpError::TookTooLong>(); }
};
using QSHTTPException = QSErrorException<QSHTTPError>;

}  // namespace qs
