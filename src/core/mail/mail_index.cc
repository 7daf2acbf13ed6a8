#include "core/mail/mail_index.h"

#include "core/platform/files.h"

namespace qs {

QSMailIndex QSMailIndex::load(const std::filesystem::path& folder) {
  QSMailIndex index;
  auto text = readFileIfPresent(folder / fileName);
  if (!text) return index;
  json parsed = json::parse(*text, nullptr, /*allow_exceptions=*/false);
  if (!parsed.is_object()) return index;
  for (const auto& [key, value] : parsed.items()) {
    auto id = QSUUID::parse(key);
    if (!id) continue;
    try {
      index.origins_[*id] = fromJson<QSMailOrigin>(value, QSCoder::stateFile());
    } catch (const QSDecodingError&) {
      // A damaged entry loses its project, nothing more.
    }
  }
  return index;
}

std::optional<QSMailOrigin> QSMailIndex::origin(const QSUUID& message) const {
  auto found = origins_.find(message);
  return found == origins_.end() ? std::nullopt : std::optional<QSMailOrigin>(found->second);
}

bool QSMailIndex::forget(const std::vector<QSUUID>& messages) {
  bool changed = false;
  for (const auto& id : messages) changed |= origins_.erase(id) > 0;
  return changed;
}

void QSMailIndex::save(const std::filesystem::path& folder) const {
  json out = json::object();
  for (const auto& [id, origin] : origins_) out[id.string()] = toJson(origin, QSCoder::stateFile());
  createDirectories(folder, 0700);
  // Atomic, but not synced, like the messages it describes: it is saved on the service loop for
  // every message a project sends, and an fsync there (5-13 ms here) would hold up every other
  // client of the daemon. A lost index costs the messages their project names, nothing more.
  writeFileReplacing(folder / fileName, out.dump(2) + "\n", 0600);
}

}  // namespace qs
