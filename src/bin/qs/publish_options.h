// What `qs publish` reads from its command line: the subdomain (its rules are the app's too) and the
// runtime's machine options.
#pragma once

#include "app/publish/hosting_records.h"
#include "app/publish/subdomain.h"

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

}  // namespace qs
