#include "core/platform/settings.h"

#include "core/platform/files.h"
#include "core/platform/paths.h"

#include <nlohmann/json.hpp>

namespace qs {

using nlohmann::json;

QSSettings::QSSettings(std::filesystem::path file) : file_(std::move(file)), values_(std::make_unique<json>(json::object())) {
  reload();
}

void QSSettings::reload() {
  json fresh = json::object();
  try {
    if (auto text = readFileIfPresent(file_)) {
      json parsed = json::parse(*text, nullptr, /*allow_exceptions=*/false);
      if (parsed.is_object()) fresh = std::move(parsed);
    }
  } catch (const std::exception&) {
    // Unreadable: empty, as documented.
  }
  *values_ = std::move(fresh);
}

json QSSettings::storedValues() const { return *values_; }

void QSSettings::setValues(const json& values) {
  reload();
  json before = *values_;
  for (const auto& [key, value] : values.items()) (*values_)[key] = value;
  try {
    save();
  } catch (...) {
    *values_ = std::move(before);
    throw;
  }
}

QSSettings QSSettings::standard() { return QSSettings(QSPaths::configFolder() / "settings.json"); }

QSSettings::~QSSettings() = default;
QSSettings::QSSettings(QSSettings&&) noexcept = default;

void QSSettings::registerDefaults(const std::map<std::string, QSSettingValue>& defaults) {
  for (const auto& [key, value] : defaults) defaults_[key] = value;
}

const json* QSSettings::lookup(const std::string& key) const {
  auto it = values_->find(key);
  return it == values_->end() ? nullptr : &*it;
}

bool QSSettings::contains(const std::string& key) const { return lookup(key) || defaults_.count(key); }

bool QSSettings::boolValue(const std::string& key) const {
  if (auto* v = lookup(key); v && v->is_boolean()) return v->get<bool>();
  auto it = defaults_.find(key);
  if (it != defaults_.end())
    if (auto* b = std::get_if<bool>(&it->second)) return *b;
  return false;
}

long long QSSettings::intValue(const std::string& key) const {
  if (auto* v = lookup(key); v && v->is_number_integer()) return v->get<long long>();
  auto it = defaults_.find(key);
  if (it != defaults_.end())
    if (auto* i = std::get_if<long long>(&it->second)) return *i;
  return 0;
}

double QSSettings::doubleValue(const std::string& key) const {
  if (auto* v = lookup(key); v && v->is_number()) return v->get<double>();
  auto it = defaults_.find(key);
  if (it != defaults_.end()) {
    if (auto* d = std::get_if<double>(&it->second)) return *d;
    if (auto* i = std::get_if<long long>(&it->second)) return static_cast<double>(*i);
  }
  return 0;
}

std::string QSSettings::stringValue(const std::string& key) const {
  if (auto* v = lookup(key); v && v->is_string()) return v->get<std::string>();
  auto it = defaults_.find(key);
  if (it != defaults_.end())
    if (auto* s = std::get_if<std::string>(&it->second)) return *s;
  return {};
}

void QSSettings::set(const std::string& key, QSSettingValue value) {
  // The daemon, `qs settings` and the app's windows write this file too: a write changes only
  // its own key, never puts back what another program changed since this store read the file.
  reload();
  std::visit([&](const auto& v) { (*values_)[key] = v; }, value);
  save();
}

void QSSettings::remove(const std::string& key) {
  reload();
  values_->erase(key);
  save();
}

void QSSettings::save() const {
  createDirectories(file_.parent_path(), 0700);
  writeFileAtomically(file_, values_->dump(2) + "\n", 0600);
}

}  // namespace qs
