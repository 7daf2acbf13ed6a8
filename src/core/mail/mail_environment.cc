#include "core/mail/mail_environment.h"

#include <algorithm>

namespace qs {
namespace {

constexpr int kUsualPort = 1025;

bool isThisComputer(const std::string& host) {
  return host.empty() || host == "127.0.0.1" || host == "localhost" || host == "::1" || host == "[::1]";
}

}  // namespace

std::optional<std::string> pointMailAtCatcher(std::map<std::string, std::string>& environment, QSCatcherPorts ports) {
  std::string listening = std::to_string(ports.listening);
  auto port = environment.find("MAIL_PORT");
  if (port == environment.end()) {
    environment["MAIL_PORT"] = listening;
    return std::nullopt;
  }
  auto host = environment.find("MAIL_HOST");
  bool local = host == environment.end() || isThisComputer(host->second);
  bool usual = port->second == std::to_string(ports.preferred) || port->second == std::to_string(kUsualPort);
  if (!local || !usual || port->second == listening) return std::nullopt;
  std::string note = "[Quayside] MAIL_PORT is " + port->second + " in .env, but the mail catcher listens on " +
                     listening + " (another program holds " + port->second + "): this server gets MAIL_PORT=" +
                     listening + ".";
  port->second = listening;
  return note;
}

std::optional<std::string> mailPortElsewhere(const std::vector<QSEnvironmentVariable>& variables, int listening) {
  auto value = [&](const std::string& key) -> std::optional<std::string> {
    // The last one, as the server gets it.
    auto found = std::find_if(variables.rbegin(), variables.rend(),
                              [&](const QSEnvironmentVariable& v) { return v.isEnabled && v.key == key; });
    return found == variables.rend() ? std::nullopt : std::optional<std::string>(found->value);
  };
  auto port = value("MAIL_PORT");
  if (!port || *port == std::to_string(listening) || !isThisComputer(value("MAIL_HOST").value_or("")))
    return std::nullopt;
  return port;
}

}  // namespace qs
