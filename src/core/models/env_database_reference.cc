#include "core/models/env_database_reference.h"

#include "core/models/connection_url.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <initializer_list>
#include <map>

namespace qs {
namespace {

using Variables = std::map<std::string, std::string, std::less<>>;

// The first of the candidates that is present and not empty.
std::optional<std::string> firstNonEmpty(std::initializer_list<std::optional<std::string>> candidates) {
  for (const auto& candidate : candidates)
    if (candidate && !candidate->empty()) return candidate;
  return std::nullopt;
}

std::optional<std::string> lookup(const Variables& variables, std::string_view key) {
  auto it = variables.find(key);
  if (it == variables.end()) return std::nullopt;
  return it->second;
}

std::optional<int> portVariable(const Variables& variables, std::string_view key) {
  auto text = lookup(variables, key);
  if (!text || text->empty() || text->size() > 5) return std::nullopt;
  if (!std::all_of(text->begin(), text->end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
  int port = std::stoi(*text);
  if (port < 1 || port > 65535) return std::nullopt;
  return port;
}

std::optional<std::string> nonEmpty(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return text;
}

std::string withoutLeadingSlash(const std::string& path) { return path.starts_with('/') ? path.substr(1) : path; }

std::optional<QSEnvDatabaseReference> sqliteReference(const QSConnectionURL& url) {
  // QSDatabase writes "sqlite://blog.sqlite", where the file shows up as the host.
  std::string file = url.host + url.path;
  std::string name = file.substr(file.find_last_of('/') + 1);
  if (name.ends_with(".sqlite")) name.resize(name.size() - 7);
  if (name.empty()) return std::nullopt;
  return QSEnvDatabaseReference{QSDatabaseType::sqlite, name, "localhost", defaultPort(QSDatabaseType::sqlite),
                                std::nullopt, std::nullopt};
}

std::optional<QSEnvDatabaseReference> serverReference(QSDatabaseType type, const QSConnectionURL& url,
                                                      const Variables& variables) {
  auto name = firstNonEmpty({lookup(variables, "DB_NAME"), nonEmpty(withoutLeadingSlash(url.path))});
  if (!name) return std::nullopt;
  QSEnvDatabaseReference reference;
  reference.type = type;
  reference.name = *name;
  reference.host = firstNonEmpty({lookup(variables, "DB_HOST"), url.host}).value_or("localhost");
  reference.port = portVariable(variables, "DB_PORT").value_or(url.port.value_or(defaultPort(type)));
  reference.username = firstNonEmpty({lookup(variables, "DB_USERNAME"), lookup(variables, "DB_USER"), url.user});
  reference.password = firstNonEmpty({lookup(variables, "DB_PASSWORD"), url.password});
  return reference;
}

std::optional<QSEnvDatabaseReference> parseSQLURL(const std::string& text, const Variables& variables) {
  auto url = QSConnectionURL::parse(text);
  if (!url) return std::nullopt;
  if (url->scheme == "postgres" || url->scheme == "postgresql")
    return serverReference(QSDatabaseType::postgresql, *url, variables);
  if (url->scheme == "mysql") return serverReference(QSDatabaseType::mysql, *url, variables);
  if (url->scheme == "sqlite" || url->scheme == "file") return sqliteReference(*url);
  return std::nullopt;
}

std::optional<QSEnvDatabaseReference> detectRedis(const Variables& variables) {
  QSConnectionURL url;
  auto urlText = lookup(variables, "REDIS_URL");
  if (urlText && !urlText->empty()) {
    auto parsed = QSConnectionURL::parse(*urlText);
    if (!parsed || (parsed->scheme != "redis" && parsed->scheme != "rediss")) return std::nullopt;
    url = std::move(*parsed);
  } else if (!lookup(variables, "REDIS_HOST") && !lookup(variables, "REDIS_PORT")) {
    return std::nullopt;
  }
  QSEnvDatabaseReference reference;
  reference.type = QSDatabaseType::redis;
  reference.name = nonEmpty(withoutLeadingSlash(url.path)).value_or("0");
  reference.host = firstNonEmpty({lookup(variables, "REDIS_HOST"), url.host}).value_or("localhost");
  reference.port = portVariable(variables, "REDIS_PORT").value_or(url.port.value_or(defaultPort(QSDatabaseType::redis)));
  reference.username = firstNonEmpty({url.user});
  reference.password = firstNonEmpty({lookup(variables, "REDIS_PASSWORD"), url.password});
  return reference;
}

}  // namespace

bool QSEnvDatabaseReference::isLocalHost() const {
  static constexpr std::array<std::string_view, 5> kLocal{"", "localhost", "127.0.0.1", "::1", "0.0.0.0"};
  std::string lower = host;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return std::find(kLocal.begin(), kLocal.end(), lower) != kLocal.end();
}

std::vector<QSEnvDatabaseReference> QSEnvDatabaseReference::detect(const std::vector<QSEnvironmentVariable>& variables) {
  Variables enabled;
  for (const auto& variable : variables)
    if (variable.isEnabled) enabled[variable.key] = variable.value;

  std::vector<QSEnvDatabaseReference> references;
  if (auto url = lookup(enabled, "DATABASE_URL"); url && !url->empty())
    if (auto sql = parseSQLURL(*url, enabled)) references.push_back(std::move(*sql));
  if (auto redis = detectRedis(enabled)) references.push_back(std::move(*redis));
  return references;
}

}  // namespace qs
