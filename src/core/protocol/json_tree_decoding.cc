#include "core/protocol/json_tree_decoding.h"

namespace qs {

double QSJsonTreeReader::number(std::uint32_t index) const {
  const QSJsonNode& n = tree_[index];
  if (n.kind == QSJsonNode::Kind::integer) return static_cast<double>(n.integer);
  if (n.kind == QSJsonNode::Kind::number) return n.number;
  throw GiveUp{};
}

QSJsonTreeReader::RecordFields::RecordFields(const QSJsonTreeReader& reader, std::uint32_t index) : reader_(reader) {
  const QSJsonNode& object = reader.node(index, QSJsonNode::Kind::object);
  members_.reserve(object.count);
  for (std::uint32_t i = index + 1; i < object.end; i = reader.tree_[i + 1].end)
    members_.push_back({reader.tree_[i].text, i + 1});
  auto byKey = [](const Member& a, const Member& b) { return a.key < b.key; };
  // Frames from this program come in key order; anything else is sorted once here.
  if (!std::is_sorted(members_.begin(), members_.end(), byKey)) std::sort(members_.begin(), members_.end(), byKey);
  // With a repeated key the DOM keeps the last value; leave that rare case to it.
  auto sameKey = [](const Member& a, const Member& b) { return a.key == b.key; };
  if (std::adjacent_find(members_.begin(), members_.end(), sameKey) != members_.end()) throw GiveUp{};
}

const QSJsonTreeReader::RecordFields::Member* QSJsonTreeReader::RecordFields::find(std::string_view key) const {
  auto it = std::lower_bound(members_.begin(), members_.end(), key,
                             [](const Member& member, std::string_view k) { return member.key < k; });
  return it != members_.end() && it->key == key ? &*it : nullptr;
}

}  // namespace qs
