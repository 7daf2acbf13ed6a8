#include "core/mail/mail_store.h"

#include "core/mail/mail_parser.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"

#include <algorithm>
#include <charconv>

namespace qs {
namespace {

constexpr std::string_view kExtension = ".eml";

std::int64_t millisecondsOf(QSTimestamp time) { return time.time_since_epoch().count(); }

bool newerFirst(const QSMailFileName& a, const QSMailFileName& b) {
  return a.milliseconds != b.milliseconds ? a.milliseconds > b.milliseconds : a.id > b.id;
}

}  // namespace

QSMailStore::QSMailStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

QSMailStore QSMailStore::standard() { return QSMailStore(QSPaths::dataFolderPath() / "mail"); }

std::string QSMailStore::fileName(const QSUUID& id, QSTimestamp arrivedAt) {
  return std::to_string(millisecondsOf(arrivedAt)) + "-" + id.string() + std::string(kExtension);
}

std::optional<QSMailFileName> QSMailStore::decodeFileName(std::string_view name) {
  if (!name.ends_with(kExtension)) return std::nullopt;
  name.remove_suffix(kExtension.size());
  // Names from before arrival times were used may start with a minus (a Date before 1970).
  auto dash = name.find('-', name.starts_with('-') ? 1 : 0);
  if (dash == std::string_view::npos || dash == 0) return std::nullopt;
  QSMailFileName decoded;
  auto digits = name.substr(0, dash);
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), decoded.milliseconds);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  auto id = QSUUID::parse(name.substr(dash + 1));
  if (!id) return std::nullopt;
  decoded.id = *id;
  return decoded;
}

void QSMailStore::save(const QSMailMessage& message, QSTimestamp arrivedAt) const {
  createDirectories(folder_, 0700);
  // Atomic, but not synced: the catcher writes hundreds a second, and a message lost in a power
  // cut costs a developer nothing.
  writeFileReplacing(folder_ / fileName(message.id, arrivedAt), message.raw, 0600);
}

int QSMailStore::removeLeftovers() const {
  int removed = removeInterruptedWrites(folder_, [](std::string_view) { return true; });
  // Earlier versions named their temporary files ".NAME.part-UUID".
  for (const auto& name : tryListDirectory(folder_))
    if (name.starts_with('.') && name.find(".part-") != std::string::npos && !tryRemoveFile(folder_ / name)) ++removed;
  return removed;
}

std::vector<std::string> QSMailStore::emlFiles() const {
  std::vector<std::string> names;
  for (auto& name : tryListDirectory(folder_))
    if (std::string_view(name).ends_with(kExtension)) names.push_back(std::move(name));
  return names;
}

std::vector<QSMailFileName> QSMailStore::list() const {
  std::vector<QSMailFileName> names;
  for (const auto& name : emlFiles())
    if (auto decoded = decodeFileName(name)) names.push_back(*decoded);
  std::sort(names.begin(), names.end(), newerFirst);
  return names;
}

std::optional<QSMailMessage> QSMailStore::load(const QSUUID& id) const {
  auto path = pathOf(id);
  if (!path) return std::nullopt;
  auto decoded = decodeFileName(path->filename().string());
  auto raw = readFileIfPresent(*path);
  if (!decoded || !raw) return std::nullopt;
  // The message's own Date when it has one, as when it was caught; else when it arrived.
  QSTimestamp arrived{std::chrono::milliseconds(decoded->milliseconds)};
  QSMailMessage message = QSMailParser::parse(*raw, "", arrived);
  message.id = decoded->id;
  return message;
}

std::vector<QSMailMessage> QSMailStore::loadAll() const {
  std::vector<QSMailMessage> messages;
  for (const auto& name : list())
    if (auto message = load(name.id)) messages.push_back(std::move(*message));
  return messages;
}

std::optional<std::filesystem::path> QSMailStore::pathOf(const QSUUID& id) const {
  for (const auto& name : emlFiles()) {
    auto decoded = decodeFileName(name);
    if (decoded && decoded->id == id) return folder_ / name;
  }
  return std::nullopt;
}

bool QSMailStore::remove(const QSUUID& id) const {
  auto path = pathOf(id);
  return path && !tryRemoveFile(*path);
}

int QSMailStore::clearAll() const {
  int removed = 0;
  for (const auto& name : emlFiles())
    if (!tryRemoveFile(folder_ / name)) ++removed;
  return removed;
}

bool QSMailStore::removeFile(const QSMailFileName& name) const {
  auto path = folder_ / (std::to_string(name.milliseconds) + "-" + name.id.string() + std::string(kExtension));
  return !tryRemoveFile(path);
}

std::vector<QSUUID> QSMailStore::prune(std::size_t max) const {
  std::vector<QSUUID> removed;
  auto names = emlFiles();
  if (names.size() <= max) return removed;
  // Oldest first; a name that does not decode counts as time 0.
  auto timeOf = [](const std::string& name) {
    auto decoded = decodeFileName(name);
    return decoded ? decoded->milliseconds : 0;
  };
  std::stable_sort(names.begin(), names.end(),
                   [&](const std::string& a, const std::string& b) { return timeOf(a) < timeOf(b); });
  for (std::size_t i = 0; i < names.size() - max; ++i) {
    tryRemoveFile(folder_ / names[i]);
    if (auto decoded = decodeFileName(names[i])) removed.push_back(decoded->id);
  }
  return removed;
}

}  // namespace qs
