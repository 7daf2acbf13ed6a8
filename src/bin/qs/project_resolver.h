// Finds the project a user means on the command line: by its id or by its name.
#pragma once

#include "bin/qs/cli_session.h"

#include "core/models/project.h"

#include <asio/awaitable.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace qs {

// The project `query` names among `projects`, in this order of preference:
//  1. the project whose id is `query` (any letter case);
//  2. the one project whose name is exactly `query`;
//  3. the one project whose name equals `query` ignoring ASCII letter case.
// No match throws QSDaemonException(projectNotFound): "No project matching 'X'.". Several
// matches at the first step that has any throw QSCliError listing each candidate with its id
// and path, so that the user can pick one by id.
const QSProject& resolveProject(const std::vector<QSProject>& projects, std::string_view query);

// Lists the daemon's projects and resolves `query` among them.
asio::awaitable<QSProject> findProject(QSCliSession& session, std::string query);

}  // namespace qs
