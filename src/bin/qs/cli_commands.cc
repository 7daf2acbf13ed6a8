#include "bin/qs/cli_commands.h"

#include <fmt/format.h>

#include <cstdio>
#include <iostream>

namespace qs {

CLI::App* addCommand(CLI::App& parent, const std::string& name, const std::string& description,
                     const std::string& examples) {
  CLI::App* command = parent.add_subcommand(name, description);
  if (!examples.empty()) command->footer("Examples:\n" + examples);
  return command;
}

void addJsonFlag(CLI::App* command, QSCliSession& session) {
  command->add_flag("--json", session.json, "Print JSON instead of text (timestamps in ISO 8601)");
}

void onRun(CLI::App* command, QSCliSession& session, std::function<asio::awaitable<int>()> makeAction) {
  command->callback([&session, makeAction] { session.action = makeAction; });
}

bool confirm(const std::string& question, std::FILE* out) {
  fmt::print(out, "{} [y/N] ", question);
  std::fflush(out);
  std::string answer;
  if (!std::getline(std::cin, answer)) {
    fmt::print(out, "\n");
    return false;
  }
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

}  // namespace qs
