// What a site's subdomain may be, and the one a project gets when the user names none.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qs {

// A subdomain made from a project's name: lower case, every run of other characters a hyphen,
// no hyphen at either end, at most 63 characters ("My Blog!" is "my-blog").
std::string defaultSubdomain(std::string_view projectName);

// Why `subdomain` cannot be used ("'x y' can't be a subdomain: use 1 to 63 …"); nothing when
// it is 1 to 63 lower-case letters, digits and hyphens, not starting or ending with a hyphen.
std::optional<std::string> subdomainProblem(std::string_view subdomain);

}  // namespace qs
