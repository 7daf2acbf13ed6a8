// What `qs publish` reads from its command line: the subdomain and the runtime's machine options.
#pragma once

#include "app/publish/hosting_records.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

// KEY=VALUE options applied over the standard machine, in order. Keys are QSServerOptions'
// fields: memoryMB, cpus, machineCount (positive whole numbers), cpuKind ("shared",
// "performance"), region (one of regionChoices), alwaysOn, dedicatedIPv4 (true/false, yes/no,
// on/off, 1/0). Throws QSCliError (usage) naming the option at fault.
QSServerOptions parseRuntimeOptions(const std::vector<std::string>& options);

// A subdomain made from a project's name: lower case, every run of other characters a hyphen,
// no hyphen at either end, at most 63 characters ("My Blog!" is "my-blog").
std::string defaultSubdomain(std::string_view projectName);

// Why `subdomain` cannot be used; nothing when it is 1 to 63 lower-case letters, digits and
// hyphens, not starting or ending with a hyphen.
std::optional<std::string> subdomainProblem(std::string_view subdomain);

}  // namespace qs
