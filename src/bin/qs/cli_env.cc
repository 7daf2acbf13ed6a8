// `qs env PROJECT [list|get KEY|set KEY VALUE|unset KEY]`: a project's environment variables,
// which the daemon writes to the project's .env file and passes to its server.
#include "bin/qs/cli_commands.h"
#include "bin/qs/output.h"
#include "bin/qs/project_resolver.h"

#include "core/models/dotenv.h"

#include <fmt/format.h>

#include <algorithm>
#include <memory>

namespace qs {
namespace {

enum class EnvAction { list, get, set, unset };

struct EnvOptions {
  std::string project;
  EnvAction action = EnvAction::list;
  std::string key;
  std::string value;
};

asio::awaitable<std::vector<QSEnvironmentVariable>> variablesOf(QSCliSession& session, QSUUID projectID) {
  QSDaemonCommand get = cmd::GetEnvVars{projectID};
  res::EnvVars variables = co_await session.request<res::EnvVars>(get);
  co_return variables.value;
}

const QSEnvironmentVariable* findVariable(const std::vector<QSEnvironmentVariable>& variables, const std::string& key) {
  auto it = std::find_if(variables.begin(), variables.end(), [&](const auto& v) { return v.key == key; });
  return it == variables.end() ? nullptr : &*it;
}

asio::awaitable<int> listVariables(QSCliSession& session, const QSProject& project) {
  auto variables = co_await variablesOf(session, project.id);
  if (session.json)
    fmt::print("{}", jsonText(variables));
  else if (variables.empty())
    fmt::print("{} has no environment variables.\n", project.name);
  else
    fmt::print("{}", formatEnvironment(variables));
  co_return QSExitCode::success;
}

asio::awaitable<int> getVariable(QSCliSession& session, const QSProject& project, std::string key) {
  auto variables = co_await variablesOf(session, project.id);
  const auto* variable = findVariable(variables, key);
  if (!variable) throw QSCliError(project.name + " has no variable named '" + key + "'.");
  fmt::print("{}", session.json ? jsonText(*variable) : variable->value + "\n");
  co_return QSExitCode::success;
}

asio::awaitable<int> setVariable(QSCliSession& session, const QSProject& project, std::string key, std::string value) {
  // Checked here too: a value that is not UTF-8 would be changed on its way to the daemon.
  if (auto error = validateEnvironmentVariable(key, value)) throw QSCliError(error->message());
  QSDaemonCommand set = cmd::SetEnvVar{project.id, key, value};
  co_await session.request<res::Ok>(set);
  fmt::print("Set {} for {}.\n", key, project.name);
  co_return QSExitCode::success;
}

asio::awaitable<int> unsetVariable(QSCliSession& session, const QSProject& project, std::string key) {
  auto variables = co_await variablesOf(session, project.id);
  if (!findVariable(variables, key)) {
    // Unsetting is idempotent, as in a shell; say so rather than pretend something changed.
    fmt::print("{} had no variable named '{}'.\n", project.name, key);
    co_return QSExitCode::success;
  }
  QSDaemonCommand unset = cmd::UnsetEnvVar{project.id, key};
  co_await session.request<res::Ok>(unset);
  fmt::print("Unset {} for {}.\n", key, project.name);
  co_return QSExitCode::success;
}

asio::awaitable<int> runEnv(QSCliSession& session, EnvOptions options) {
  QSProject project = co_await findProject(session, options.project);
  switch (options.action) {
    case EnvAction::list:
      co_return co_await listVariables(session, project);
    case EnvAction::get:
      co_return co_await getVariable(session, project, options.key);
    case EnvAction::set:
      co_return co_await setVariable(session, project, options.key, options.value);
    case EnvAction::unset:
      co_return co_await unsetVariable(session, project, options.key);
  }
  co_return QSExitCode::failure;
}

// A subcommand of `env` that records which action was chosen.
CLI::App* addAction(CLI::App* env, const std::string& name, const std::string& description,
                    const std::string& examples, std::shared_ptr<EnvOptions> options, EnvAction action) {
  auto* command = addCommand(*env, name, description, examples);
  command->callback([options, action] { options->action = action; });
  return command;
}

}  // namespace

void addEnvCommands(CLI::App& app, QSCliSession& session) {
  auto* env = addCommand(app, "env", "Show or change a project's environment variables (its .env file)",
                         "  qs env blog                      # list, as KEY=value lines\n"
                         "  qs env blog get DATABASE_URL\n"
                         "  qs env blog set LOG_LEVEL debug\n"
                         "  qs env blog unset LOG_LEVEL\n"
                         "  qs env blog list --json\n");
  auto options = std::make_shared<EnvOptions>();
  env->add_option("PROJECT", options->project, "The project's name or id")->required();
  env->require_subcommand(0, 1);
  addJsonFlag(env, session);

  auto* list = addAction(env, "list", "List the variables (the default)",
                         "  qs env blog list\n  qs env blog list --json\n", options, EnvAction::list);
  addJsonFlag(list, session);
  auto* get = addAction(env, "get", "Print one variable's value (exit 1 when it isn't set)",
                        "  qs env blog get DATABASE_URL\n", options, EnvAction::get);
  get->add_option("KEY", options->key, "The variable's name")->required();
  addJsonFlag(get, session);
  auto* set = addAction(env, "set", "Set a variable (added when missing); the server sees it at its next start",
                        "  qs env blog set LOG_LEVEL debug\n  qs env blog set GREETING 'hello world'\n"
                        "  qs env blog set OFFSET -- -1\n",
                        options, EnvAction::set);
  set->add_option("KEY", options->key, "The variable's name")->required();
  set->add_option("VALUE", options->value, "Its value (may be empty)")->required();
  auto* unset = addAction(env, "unset", "Remove a variable", "  qs env blog unset LOG_LEVEL\n", options,
                          EnvAction::unset);
  unset->add_option("KEY", options->key, "The variable's name")->required();

  onRun(env, session, [&session, options] { return runEnv(session, *options); });
}

}  // namespace qs
