#include "core/protocol/json_tree_decoding.h"

namespace qs {

double QSJsonTreeReader::number(std::uint32_t index) const {
  const QSJsonNode& n = tree_[index];
  if (n.kind == QSJsonNode::Kind::integer) return static_cast<double>(n.integer);
  if (n.kind == QSJsonNode::Kind::number) return n.number;
  throw GiveUp{};
}

QSJsonTreeReader::RecordFields::RecordFields(QSJsonTreeReader& reader, std::uint32_t index)
    : reader_(reader), base_(reader.members_.size()) {
  const QSJsonNode& object = reader.node(index, QSJsonNode::Kind::object);
  auto& members = reader.members_;
  for (std::uint32_t i = index + 1; i < object.end; i = reader.tree_[i + 1].end) members.push_back({reader.tree_[i].text, i + 1});
  auto first = members.begin() + static_cast<std::ptrdiff_t>(base_), last = members.end();
  auto byKey = [](const Member& a, const Member& b) { return detail::keyLess(a.key, b.key); };
  // Frames from this program come in key order; anything else is sorted once here.
  if (!std::is_sorted(first, last, byKey)) std::sort(first, last, byKey);
  // With a repeated key the DOM keeps the last value; leave that rare case to it.
  auto sameKey = [](const Member& a, const Member& b) { return !detail::keyLess(a.key, b.key) && !detail::keyLess(b.key, a.key); };
  if (std::adjacent_find(first, last, sameKey) != last) {
    members.resize(base_);
    throw GiveUp{};
  }
}

std::uint32_t QSJsonTreeReader::RecordFields::find(std::string_view key) const {
  auto first = reader_.members_.begin() + static_cast<std::ptrdiff_t>(base_), last = reader_.members_.end();
  auto it = std::lower_bound(first, last, key, [](const Member& member, std::string_view k) { return detail::keyLess(member.key, k); });
  return it != last && !detail::keyLess(key, it->key) ? it->value : absent;
}

}  // namespace qs
