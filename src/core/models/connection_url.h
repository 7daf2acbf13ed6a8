// Connection URLs as found in .env files: "postgres://user:p%40ss@[::1]:5433/blog?sslmode=off".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qs {

// The parts of a URL that say where a database is. The query and fragment are not kept.
struct QSConnectionURL {
  std::string scheme;                   // lower-cased: "postgres", "redis", "file", …
  std::optional<std::string> user;      // absent without a user part ("user@", "user:pw@")
  std::optional<std::string> password;  // absent without ":password" in the user part
  std::string host;                     // "" without one; an IPv6 literal without its brackets
  std::optional<int> port;              // absent when not given (or given as an empty "host:")
  std::string path;                     // with its leading slash when it has one: "/blog"

  // Reads "scheme:" followed by "//authority" and a path, or by a path alone ("file:db.sqlite").
  // User, password, host and path are percent-decoded; a part with a malformed %-escape is kept
  // as written. The user part ends at the last `@` of the authority, so an unencoded `@` in a
  // password still reads. Nothing when there is no scheme, an IPv6 host lacks its `]`, or the
  // port is not a number from 0 to 65535.
  static std::optional<QSConnectionURL> parse(std::string_view text);

  bool operator==(const QSConnectionURL&) const = default;
};

}  // namespace qs
