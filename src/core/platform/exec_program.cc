#include "core/platform/exec_program.h"

#include "core/platform/process_runner.h"
#include "core/platform/system_error.h"

#include <unistd.h>

#include <cerrno>

namespace qs {

void execProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& set, const std::vector<std::string>& unset) {
  std::vector<std::string> environment = mergedEnvironment(set, unset);
  std::vector<char*> argv, envp;
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  ::execve(program.c_str(), argv.data(), envp.data());
  throwSystemError("exec " + program.string());
}

}  // namespace qs
