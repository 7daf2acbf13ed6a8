#include "app/publish/http_error.h"

#include <fmt/format.h>

namespace qs {
namespace {

std::string seconds(std::int64_t milliseconds) {
  return fmt::format("{:g} seconds", static_cast<double>(milliseconds) / 1000.0);
}

}  // namespace

std::string QSHTTPError::message() const {
  using namespace httpError;
  return visit(QSOverloaded{
      [](const InvalidAddress& c) { return "not a valid address: " + c.value; },
      [](const InsecureAddress& c) {
        return "only https addresses are allowed (plain http only to this computer): " + c.value;
      },
      [](const NotStarted&) { return std::string("couldn't start an HTTP request"); },
      [](const AnswerTooLarge&) { return std::string("the answer was larger than 32 MB"); },
      [](const Silent& c) { return "The request timed out: nothing moved for " + seconds(c.value) + "."; },
      [](const TookTooLong& c) { return "The request timed out after " + seconds(c.value) + "."; },
      [](const Cancelled&) { return std::string("the request was cancelled"); },
      [](const Failed& c) { return c.value; },
      [](const RedirectedAway& c) {
        return "the request was redirected to another host (" + c.value + "); the redirect wasn't followed";
      },
      [](const TooManyRedirects&) { return std::string("too many redirects"); },
      [](const BodyUnreadable& c) { return c.value; }});
}

}  // namespace qs
