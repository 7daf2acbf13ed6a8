// The application's settings (`qs.*` keys): one JSON object file, registered defaults in code.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <variant>

namespace qs {

using QSSettingValue = std::variant<bool, long long, double, std::string>;

// Reads and writes ~/.config/Quayside/settings.json. Only values that differ from nothing are
// stored; a key that is not in the file reads as its registered default. Every set writes the
// file atomically. A missing or unreadable file reads as empty (defaults everywhere).
class QSSettings {
public:
  explicit QSSettings(std::filesystem::path file);
  // The store at the standard location.
  static QSSettings standard();
  ~QSSettings();
  QSSettings(QSSettings&&) noexcept;

  // Defaults apply to keys absent from the file. Registering again replaces the default.
  void registerDefaults(const std::map<std::string, QSSettingValue>& defaults);

  // Typed reads: the stored value when it has that type, else the default when it has it,
  // else the type's zero value ("" for text).
  bool boolValue(const std::string& key) const;
  long long intValue(const std::string& key) const;
  double doubleValue(const std::string& key) const;
  std::string stringValue(const std::string& key) const;
  bool contains(const std::string& key) const;
  // Whether the file holds a value for `key` (whatever its type), rather than the default applying.
  bool isStored(const std::string& key) const { return lookup(key) != nullptr; }

  // Stores the value and writes the file, as it is by then plus this change: what other programs
  // wrote since this store read it stays. Throws QSSystemError when the file cannot be written.
  void set(const std::string& key, QSSettingValue value);
  // Forgets the stored value (the default applies again) and writes the file (as set does).
  void remove(const std::string& key);

  // Re-reads the file, taking what other programs wrote since (a missing or unreadable file
  // reads as empty).
  void reload();
  // Every stored value, by key (a JSON object).
  nlohmann::json storedValues() const;
  // Stores every member of `values` (a JSON object) over what the file holds now, in one write.
  // When the file cannot be written nothing changes (in memory either) and QSSystemError is thrown.
  void setValues(const nlohmann::json& values);

  const std::filesystem::path& file() const { return file_; }

private:
  const nlohmann::json* lookup(const std::string& key) const;
  void save() const;

  std::filesystem::path file_;
  std::unique_ptr<nlohmann::json> values_;
  std::map<std::string, QSSettingValue> defaults_;
};

}  // namespace qs
