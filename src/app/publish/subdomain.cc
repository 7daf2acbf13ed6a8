#include "app/publish/subdomain.h"

#include <fmt/format.h>

#include <cctype>

namespace qs {

std::string defaultSubdomain(std::string_view projectName) {
  std::string out;
  for (unsigned char c : projectName) {
    if (std::isalnum(c) && c < 0x80) out += static_cast<char>(std::tolower(c));
    else if (!out.empty() && out.back() != '-') out += '-';
  }
  if (out.size() > 63) out.resize(63);
  while (!out.empty() && out.back() == '-') out.pop_back();
  return out;
}

std::optional<std::string> subdomainProblem(std::string_view subdomain) {
  bool valid = !subdomain.empty() && subdomain.size() <= 63 && subdomain.front() != '-' && subdomain.back() != '-';
  for (unsigned char c : subdomain) valid = valid && ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-');
  if (valid) return std::nullopt;
  return fmt::format("'{}' can't be a subdomain: use 1 to 63 lower-case letters, digits and hyphens, not starting or "
                     "ending with a hyphen.",
                     subdomain);
}

}  // namespace qs
