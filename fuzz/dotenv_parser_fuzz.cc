// Fuzzes the .env reader, writer and merge.
//
// The input is split at its first NUL byte: what comes before is taken as an existing .env file,
// what comes after (or the whole input when there is no NUL) is read into the variables. Then:
//   - the variables, written and read back, keep their keys, values and enabled flags, and
//     writing what was read gives the same text again;
//   - merged into the existing file, they read back as exactly those variables, and merging
//     them into the result once more changes nothing;
//   - the file read as variables and merged into itself keeps its variables;
//   - every value goes through the connection-URL reader and the database detection.
#include "core/models/connection_url.h"
#include "core/models/dotenv.h"
#include "core/models/env_database_reference.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace {

using qs::QSEnvironmentVariable;

// Keys, values and enabled flags; the comments may change their form (a note that reads like an
// assignment gains a space). The order is compared per key: a merge keeps the file's order.
std::map<std::string, std::vector<std::string>> essentials(const std::vector<QSEnvironmentVariable>& variables) {
  std::map<std::string, std::vector<std::string>> out;
  for (const auto& v : variables) out[v.key].push_back((v.isEnabled ? "" : "# ") + v.value);
  return out;
}

void check(bool holds, const char* what, std::string_view text) {
  if (holds) return;
  std::fprintf(stderr, "dotenv fuzz: %s\n--- text ---\n%.*s\n------------\n", what, static_cast<int>(text.size()),
               text.data());
  std::abort();
}

void checkWriteAndRead(const std::vector<QSEnvironmentVariable>& variables) {
  std::string text = qs::dotenvFileContents(variables);
  auto read = qs::parseDotenv(text);
  check(essentials(read) == essentials(variables), "variables changed by a write and a read", text);
  check(read.size() == variables.size(), "a write and a read changed the number of variables", text);
  check(qs::dotenvFileContents(read) == text, "writing what was read changed the text", text);
}

void checkMerge(std::string_view existing, const std::vector<QSEnvironmentVariable>& variables) {
  std::string merged = qs::mergedDotenv(existing, variables);
  check(!existing.empty() || merged == qs::dotenvFileContents(variables), "merge into nothing differs", merged);
  check(essentials(qs::parseDotenv(merged)) == essentials(variables), "merge lost or changed variables", merged);
  check(qs::mergedDotenv(merged, qs::parseDotenv(merged)) == merged, "a second merge changed the text", merged);
}

void checkConnectionURLs(const std::vector<QSEnvironmentVariable>& variables) {
  for (const auto& v : variables) {
    auto url = qs::QSConnectionURL::parse(v.value);
    check(!url || !url->port || (*url->port >= 0 && *url->port <= 65535), "port out of range", v.value);
  }
  for (const auto& reference : qs::QSEnvDatabaseReference::detect(variables))
    check(reference.port >= 0 && reference.port <= 65535, "reference port out of range", reference.name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t nul = input.find('\0');
  std::string_view existing = nul == std::string_view::npos ? input : input.substr(0, nul);
  std::string_view source = nul == std::string_view::npos ? input : input.substr(nul + 1);

  auto variables = qs::parseDotenv(source);
  checkWriteAndRead(variables);
  checkMerge(existing, variables);
  checkConnectionURLs(variables);
  if (nul != std::string_view::npos) {
    auto own = qs::parseDotenv(existing);
    check(essentials(qs::parseDotenv(qs::mergedDotenv(existing, own))) == essentials(own),
          "merging a file's own variables changed them", existing);
  }
  return 0;
}
