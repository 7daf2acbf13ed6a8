// Hosting account commands: hosting login, logout, status. The API key is read from the
// terminal (not echoed), from standard input, or from QS_HOSTING_API_KEY, never from the
// command line, where every user of the machine could see it.
#include "bin/qs/cli_commands.h"

#include "app/publish/hosting_configuration.h"
#include "app/publish/hub_token_service.h"
#include "app/publish/publish_error.h"
#include "core/platform/file_status.h"
#include "core/platform/files.h"
#include "core/platform/process_environment.h"
#include "core/platform/settings.h"
#include "core/platform/terminal.h"
#include "core/platform/text.h"

#include <fmt/format.h>

#include <cstdio>
#include <memory>

namespace qs {
namespace {

namespace config = QSHostingConfiguration;

std::string readKey() {
  if (auto fromEnvironment = environmentValue(config::apiKeyVariable)) return std::string(trimmed(*fromEnvironment));
  if (isTerminal(0)) {
    fmt::print("Brindle Hosting API key: ");
    std::fflush(stdout);
  }
  return std::string(trimmed(readLineWithoutEcho().value_or("")));
}

asio::awaitable<int> login(bool verify) {
  std::string key = readKey();
  if (key.empty())
    throw QSCliError("No API key given. Type or paste it when asked, pipe it in, or set QS_HOSTING_API_KEY.");
  QSSettings settings = QSSettings::standard();
  if (verify) {
    QSHubTokenService tokens(config::hubBaseURL(settings), QSHTTPSession::shared());
    try {
      co_await tokens.jwt(key);
    } catch (const QSPublishException& e) {
      throw QSCliError(std::string(e.what()) + " The key was not stored.");
    }
  }
  config::storeAPIKey(settings, key);
  fmt::print("{}Stored your Brindle Hosting API key in {} (readable only by you).\n", verify ? "The hub accepted it. " : "",
             settings.file().string());
  co_return QSExitCode::success;
}

asio::awaitable<int> logout() {
  QSSettings settings = QSSettings::standard();
  bool stored = !settings.stringValue(config::apiKeySetting).empty();
  if (stored) {
    settings.remove(config::apiKeySetting);
    fmt::print("Removed the stored Brindle Hosting API key.\n");
  } else {
    fmt::print("No Brindle Hosting API key was stored.\n");
  }
  if (environmentValue(config::apiKeyVariable))
    fmt::print("QS_HOSTING_API_KEY is still set in this environment and will be used.\n");
  co_return QSExitCode::success;
}

asio::awaitable<int> status() {
  QSSettings settings = QSSettings::standard();
  auto source = config::apiKeySource(settings);
  fmt::print("Hosting API  {}\nAccount hub  {}\nAPI key      {}\n", config::hostingBaseURL(), config::hubBaseURL(settings),
             !source ? "none (run 'qs hosting login')"
                     : (*source == "settings" ? "stored in " + settings.file().string() : "from " + *source));
  co_return QSExitCode::success;
}

}  // namespace

void addHostingCommands(CLI::App& app, QSCliSession& session) {
  auto* hosting = addCommand(app, "hosting", "Your Brindle Hosting API key: login, logout, status",
                             "  qs hosting login                  asks for the key (not echoed)\n"
                             "  pass show brindle | qs hosting login\n"
                             "  qs hosting status\n");
  hosting->require_subcommand(1);
  auto* loginCommand = addCommand(*hosting, "login",
                                  "Store your API key (from the terminal, standard input or QS_HOSTING_API_KEY)", "");
  auto noVerify = std::make_shared<bool>(false);
  loginCommand->add_flag("--no-verify", *noVerify, "Store the key without asking the account hub whether it is valid");
  onRun(loginCommand, session, [noVerify] { return login(!*noVerify); });
  auto* logoutCommand = addCommand(*hosting, "logout", "Forget the stored API key", "");
  onRun(logoutCommand, session, [] { return logout(); });
  auto* statusCommand = addCommand(*hosting, "status", "Show which addresses and which key source publishing uses", "");
  onRun(statusCommand, session, [] { return status(); });
}

}  // namespace qs
