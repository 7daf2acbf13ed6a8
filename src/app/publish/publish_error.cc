#include "app/publish/publish_error.h"

#include <map>

namespace qs {

std::string QSPublishError::message() const {
  using namespace publishError;
  return visit(QSOverloaded{
      [](const Unreachable& c) { return "Couldn't reach Brindle Hosting: " + c.value; },
      [](const NotFound& c) { return c.value; },
      [](const Conflict& c) { return c.value; },
      [](const Server& c) {
        return "Brindle Hosting returned an error (" + std::to_string(c.status) + "): " + c.reason;
      },
      [](const NotConfigured&) {
        return std::string("Add your Brindle Hosting API key in Settings before publishing.");
      },
      [](const Unauthorized&) {
        return std::string("Your Brindle Hosting API key was rejected. Check it in Settings.");
      },
      [](const InvalidResponse&) { return std::string("Brindle Hosting returned an unexpected response."); },
      [](const ArchiveUnreadable& c) { return "couldn't read the packaged tarball: " + c.value; }});
}

std::string httpStatusText(int status) {
  static const std::map<int, const char*> texts{
      {400, "Bad Request"}, {401, "Unauthorized"}, {402, "Payment Required"}, {403, "Forbidden"},
      {404, "Not Found"}, {405, "Method Not Allowed"}, {406, "Not Acceptable"}, {408, "Request Timeout"},
      {409, "Conflict"}, {410, "Gone"}, {411, "Length Required"}, {412, "Precondition Failed"},
      {413, "Payload Too Large"}, {414, "URI Too Long"}, {415, "Unsupported Media Type"},
      {422, "Unprocessable Content"}, {429, "Too Many Requests"}, {500, "Internal Server Error"},
      {501, "Not Implemented"}, {502, "Bad Gateway"}, {503, "Service Unavailable"}, {504, "Gateway Timeout"},
      {300, "Multiple Choices"}, {301, "Moved Permanently"}, {302, "Found"}, {303, "See Other"},
      {304, "Not Modified"}, {307, "Temporary Redirect"}, {308, "Permanent Redirect"}};
  auto it = texts.find(status);
  return it == texts.end() ? "Unknown Status" : it->second;
}

}  // namespace qs
