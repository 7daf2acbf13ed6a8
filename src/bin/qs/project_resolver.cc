#include "bin/qs/project_resolver.h"

#include "bin/qs/output.h"

#include <algorithm>
#include <cctype>

namespace qs {
namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string ambiguityMessage(std::string_view query, const std::vector<const QSProject*>& candidates) {
  QSTextTable table({"NAME", "ID", "PATH"});
  for (const auto* p : candidates) table.addRow({p->name, p->id.string(), p->path.string()});
  std::string text = std::string("'") + std::string(query) + "' matches " + std::to_string(candidates.size()) +
                     " projects; name one by its id:\n" + table.render("  ");
  text.pop_back();  // printed as one message; the printer ends the line
  return text;
}

}  // namespace

const QSProject& resolveProject(const std::vector<QSProject>& projects, std::string_view query) {
  if (auto id = QSUUID::parse(query))
    for (const auto& p : projects)
      if (p.id == *id) return p;

  auto matching = [&](auto&& sameName) {
    std::vector<const QSProject*> found;
    for (const auto& p : projects)
      if (sameName(p.name)) found.push_back(&p);
    return found;
  };
  auto exact = matching([&](const std::string& name) { return name == query; });
  auto found = exact.empty() ? matching([&](const std::string& name) { return equalIgnoringCase(name, query); })
                             : exact;
  if (found.empty()) throw QSDaemonException(QSDaemonError(daemonError::ProjectNotFound{std::string(query)}));
  if (found.size() > 1) throw QSCliError(ambiguityMessage(query, found));
  return *found.front();
}

asio::awaitable<QSProject> findProject(QSCliSession& session, std::string query) {
  QSDaemonCommand list = cmd::ListProjects{};
  res::Projects projects = co_await session.request<res::Projects>(list);
  co_return resolveProject(projects.value, query);
}

}  // namespace qs
