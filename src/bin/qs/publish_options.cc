#include "bin/qs/publish_options.h"

#include "bin/qs/cli_session.h"

#include <fmt/format.h>

#include <charconv>

namespace qs {
namespace {

int positiveNumber(const std::string& key, const std::string& value) {
  int number = 0;
  auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (error != std::errc() || end != value.data() + value.size() || number < 1)
    throw QSCliError(fmt::format("--runtime-option {}: '{}' isn't a positive whole number.", key, value),
                     QSExitCode::usage);
  return number;
}

bool switchValue(const std::string& key, const std::string& value) {
  if (value == "true" || value == "yes" || value == "on" || value == "1") return true;
  if (value == "false" || value == "no" || value == "off" || value == "0") return false;
  throw QSCliError(fmt::format("--runtime-option {}: '{}' isn't true or false.", key, value), QSExitCode::usage);
}

std::string oneOf(const std::string& key, const std::string& value, const std::vector<std::string>& allowed) {
  for (const auto& candidate : allowed)
    if (candidate == value) return value;
  throw QSCliError(fmt::format("--runtime-option {}: '{}' isn't one of {}.", key, value, fmt::join(allowed, ", ")),
                   QSExitCode::usage);
}

std::vector<std::string> regionCodes() {
  std::vector<std::string> codes;
  for (const auto& region : regionChoices()) codes.push_back(region.code);
  return codes;
}

}  // namespace

QSServerOptions parseRuntimeOptions(const std::vector<std::string>& options) {
  QSServerOptions out = QSServerOptions::standard();
  for (const auto& option : options) {
    auto equals = option.find('=');
    if (equals == std::string::npos)
      throw QSCliError(fmt::format("--runtime-option '{}' isn't KEY=VALUE.", option), QSExitCode::usage);
    std::string key = option.substr(0, equals), value = option.substr(equals + 1);
    if (key == "memoryMB") out.memoryMB = positiveNumber(key, value);
    else if (key == "cpus") out.cpus = positiveNumber(key, value);
    else if (key == "machineCount") out.machineCount = positiveNumber(key, value);
    else if (key == "cpuKind") out.cpuKind = oneOf(key, value, {"shared", "performance"});
    else if (key == "region") out.region = oneOf(key, value, regionCodes());
    else if (key == "alwaysOn") out.alwaysOn = switchValue(key, value);
    else if (key == "dedicatedIPv4") out.dedicatedIPv4 = switchValue(key, value);
    else
      throw QSCliError(fmt::format("Unknown runtime option '{}'; use memoryMB, cpus, cpuKind, region, machineCount, "
                                   "alwaysOn or dedicatedIPv4.",
                                   key),
                       QSExitCode::usage);
  }
  return out;
}

}  // namespace qs
