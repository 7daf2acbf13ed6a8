// The mail catcher's store: one file per message in a folder, named
// "<milliseconds since 1970>-<UUID>.eml" after the time the message arrived and its id, holding
// the message's bytes exactly as received. Arrival, not the Date a sender wrote (which may be
// anything, 1970 or 0001 included), orders and prunes the messages. Any Quayside process may
// read the folder; the process that owns the services writes it.
#pragma once

#include "core/mail/mail_message.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qs {

// A message file's name taken apart.
struct QSMailFileName {
  std::int64_t milliseconds = 0;
  QSUUID id;
  auto operator<=>(const QSMailFileName&) const = default;
};

class QSMailStore {
public:
  // The store in `folder`; the standard one is the data folder's "mail".
  explicit QSMailStore(std::filesystem::path folder);
  static QSMailStore standard();

  const std::filesystem::path& folder() const { return folder_; }

  // The file name of the message `id` that arrived at `arrivedAt`.
  static std::string fileName(const QSUUID& id, QSTimestamp arrivedAt);
  // The time and id of a message file's name; nothing for names of any other form.
  static std::optional<QSMailFileName> decodeFileName(std::string_view name);

  // Writes the message's file atomically (mode 0600), creating the folder (mode 0700) first.
  // Throws QSSystemError naming the path when either fails.
  void save(const QSMailMessage& message, QSTimestamp arrivedAt) const;
  // Removes the hidden temporary files that a write cut short by a crash left; how many went.
  int removeLeftovers() const;
  // Every stored message, parsed, latest arrival first, with the id of its file name and no
  // envelope sender; `receivedAt` is its Date, else its arrival. Files that are not messages
  // or cannot be read are skipped. Never throws.
  std::vector<QSMailMessage> loadAll() const;
  // The stored messages' names (arrival time and id), latest first, without reading the files.
  std::vector<QSMailFileName> list() const;
  // One message by its id; nothing when it is not stored (or cannot be read).
  std::optional<QSMailMessage> load(const QSUUID& id) const;
  // Removes the message's file; false when there was none. Errors are ignored.
  bool remove(const QSUUID& id) const;
  // Removes the file of that name, which list() gave; false when it could not be removed.
  bool removeFile(const QSMailFileName& name) const;
  // Removes every message file (only "*.eml" files); how many went. Errors are ignored.
  int clearAll() const;
  // Keeps the `max` message files that arrived last; a ".eml" file whose name does not decode
  // counts as the oldest. Returns the ids removed. Errors are ignored.
  std::vector<QSUUID> prune(std::size_t max) const;

private:
  std::optional<std::filesystem::path> pathOf(const QSUUID& id) const;
  std::vector<std::string> emlFiles() const;

  std::filesystem::path folder_;
};

}  // namespace qs
