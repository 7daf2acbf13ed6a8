// A list of records kept beside the compact JSON text of each one, so that a list asked for over
// and over (`status`, `listProjects`) is written again only where it changed.
#pragma once

#include "core/protocol/daemon_framing.h"

#include <cstddef>
#include <string>
#include <vector>

namespace qs {

// Asked for the text of the list as it is now, it compares it with the records it wrote last
// time, record by record, and writes only those that differ (new, changed or moved past a removed
// one). A record's equality covers every field it encodes, so the answer is always exactly what
// encoding the list afresh gives: nothing has to tell the list that its records changed.
template <class T>
class QSEncodedList {
public:
  // The JSON array text of `records`, as QSDaemonFraming::text(records) writes it.
  const std::string& text(const std::vector<T>& records) {
    if (isCurrent(records)) return text_;
    std::vector<Entry> entries;
    entries.reserve(records.size());
    std::vector<bool> taken(entries_.size(), false);
    std::size_t next = 0;  // where the search for an old record resumes: lists change little
    for (const auto& record : records) {
      std::size_t found = find(record, next, taken);
      if (found < entries_.size()) {
        taken[found] = true;
        entries.push_back(std::move(entries_[found]));
        next = found + 1;
      } else {
        entries.push_back({record, QSDaemonFraming::text(record)});
      }
    }
    entries_ = std::move(entries);
    std::size_t size = 2;
    for (const auto& entry : entries_) size += entry.text.size() + 1;
    text_.clear();
    text_.reserve(size);
    text_ += '[';
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (i > 0) text_ += ',';
      text_ += entries_[i].text;
    }
    text_ += ']';
    written_ = true;
    return text_;
  }

private:
  struct Entry {
    T record;
    std::string text;
  };

  bool isCurrent(const std::vector<T>& records) const {
    if (!written_ || records.size() != entries_.size()) return false;
    for (std::size_t i = 0; i < records.size(); ++i)
      if (!(records[i] == entries_[i].record)) return false;
    return true;
  }

  // The old entry, not yet taken, holding `record`: looked for from `from` on, then before it;
  // entries_.size() when there is none.
  std::size_t find(const T& record, std::size_t from, const std::vector<bool>& taken) const {
    for (std::size_t i = from; i < entries_.size(); ++i)
      if (!taken[i] && entries_[i].record == record) return i;
    for (std::size_t i = 0; i < from && i < entries_.size(); ++i)
      if (!taken[i] && entries_[i].record == record) return i;
    return entries_.size();
  }

  std::vector<Entry> entries_;
  std::string text_;
  bool written_ = false;
};

}  // namespace qs
