// Replacing this process with another program (the way `qs db console` hands the terminal to a
// database client).
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace qs {

// Executes `program` with `arguments` (program name first) in place of this process, with this
// process's environment plus `set`, minus `unset`. Returns only by throwing QSSystemError
// ("exec /usr/bin/psql: No such file or directory").
[[noreturn]] void execProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                              const std::map<std::string, std::string>& set, const std::vector<std::string>& unset);

}  // namespace qs
