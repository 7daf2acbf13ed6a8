#include "core/databases/service_account.h"

#include "core/databases/database_engine.h"
#include "core/databases/database_error.h"
#include "core/platform/files.h"
#include "core/platform/system_error.h"

#include <openssl/rand.h>

#include <algorithm>
#include <cctype>

namespace qs {
namespace fs = std::filesystem;

namespace {

std::string firstLine(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

}  // namespace

fs::path QSServiceAccount::folder(QSDatabaseType type) const { return dataRoot_ / rawValue(type); }

std::optional<std::string> QSServiceAccount::password(QSDatabaseType type) const {
  auto text = readFileIfPresent(passwordFile(type));
  if (!text || firstLine(*text).empty()) return std::nullopt;
  return firstLine(*text);
}

std::string QSServiceAccount::ensurePassword(QSDatabaseType type) const {
  if (auto existing = password(type)) return *existing;
  createDirectories(folder(type), 0700);
  std::string made = randomPassword();
  writeFileAtomically(passwordFile(type), made + "\n", 0600);
  return made;
}

bool QSServiceAccount::isSecured(QSDatabaseType type) const { return fileExists(folder(type) / ".service-secured"); }

void QSServiceAccount::markSecured(QSDatabaseType type) const {
  writeFileAtomically(folder(type) / ".service-secured", "", 0600);
}

std::vector<std::string> QSServiceAccount::postgresArguments(int port, const std::string& database) const {
  return {"-h", folder(QSDatabaseType::postgresql).string(), "-p", std::to_string(port), "-U", std::string(name),
          "-d", database};
}

std::vector<std::string> QSServiceAccount::mysqlArguments() const {
  return {"-u", std::string(name), "--socket=" + mysqlSocket().string()};
}

std::map<std::string, std::string> QSServiceAccount::mysqlEnvironment() const {
  if (auto secret = password(QSDatabaseType::mysql)) return {{"MYSQL_PWD", *secret}};
  return {};
}

bool isReservedDatabaseName(QSDatabaseType type, std::string_view name) {
  std::string lowered;
  for (unsigned char c : name) lowered += static_cast<char>(std::tolower(c));
  return makeDatabaseEngine(type)->isReservedName(lowered);
}

std::string reservedDatabaseNameMessage(QSDatabaseType type, std::string_view name) {
  return QSDatabaseError(databaseError::ReservedName{type, std::string(name)}).message();
}

std::string randomPassword() {
  static constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string out;
  while (out.size() < 32) {
    unsigned char bytes[64];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
      throwSystemError("draw a random password (the system's random generator failed)",
                       std::make_error_code(std::errc::resource_unavailable_try_again));
    // 62 * 4 = 248: bytes from 248 up are dropped, so every character is equally likely.
    for (unsigned char b : bytes)
      if (b < 248 && out.size() < 32) out += alphabet[b % 62];
  }
  return out;
}

}  // namespace qs
