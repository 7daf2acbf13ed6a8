// The app's mail box: the caught messages of the mail folder, newest first, with the project
// each came from, and which of them this app has not shown yet. Unread marks live only in this
// model: mail that was in the folder when the app started (or that another program put there)
// counts as read. The daemon, or the app's own engine, writes the folder; the model reads it,
// and removes files when the user deletes mail.
#pragma once

#include "core/mail/mail_index.h"
#include "core/mail/mail_message.h"
#include "core/mail/mail_store.h"
#include "core/protocol/mail_records.h"

#include <QObject>

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qs {

class QSMailBoxModel : public QObject {
  Q_OBJECT
public:
  // At most this many messages are listed (the catcher keeps no more in the folder).
  static constexpr std::size_t maxMessages = 500;

  struct Entry {
    QSMailMessage message;
    std::optional<QSMailOrigin> origin;
    QSMailSummary summary() const;
  };

  explicit QSMailBoxModel(QSMailStore store, QObject* parent = nullptr);

  // Every listed message, newest first; the folder is read on first use.
  const std::vector<Entry>& messages();
  const Entry* find(const QSUUID& id);
  // Those of `project` (a project's name or id, or "other"; empty: all) that mention `text`
  // (empty: all), newest first.
  std::vector<const Entry*> filtered(const std::string& project, const std::string& text);
  // Reads the folder again (what other programs removed goes, unread marks stay).
  void reload();

  bool isUnread(const QSUUID& id) const { return unread_.count(id) > 0; }
  int unreadCount() const { return static_cast<int>(unread_.size()); }
  void markRead(const QSUUID& id);

  // A message the catcher announced: read from its file, listed first and unread. Announcements
  // of a message already listed, or whose file is gone, change nothing.
  void ingest(const QSMailSummary& summary);
  // Deletes the message's file and its entry; false when it was not listed.
  bool remove(const QSUUID& id);
  // Deletes every message file; how many entries went.
  int clearAll();

  const QSMailStore& store() const { return store_; }

signals:
  void messagesChanged();
  void unreadCountChanged(int count);
  void messageArrived(const QSUUID& id);

private:
  void ensureLoaded();
  void setUnread(std::set<QSUUID> unread);

  QSMailStore store_;
  bool loaded_ = false;
  std::vector<Entry> entries_;
  std::set<QSUUID> unread_;
};

}  // namespace qs
