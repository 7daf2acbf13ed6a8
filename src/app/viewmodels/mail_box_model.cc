#include "app/viewmodels/mail_box_model.h"

#include "core/mail/mail_selection.h"
#include "core/mail/mail_summary.h"

#include <algorithm>

namespace qs {

QSMailSummary QSMailBoxModel::Entry::summary() const { return summarize(message, origin); }

QSMailBoxModel::QSMailBoxModel(QSMailStore store, QObject* parent) : QObject(parent), store_(std::move(store)) {}

void QSMailBoxModel::ensureLoaded() {
  if (loaded_) return;
  loaded_ = true;
  QSMailIndex index = QSMailIndex::load(store_.folder());
  entries_.clear();
  for (auto& message : store_.loadAll()) {
    if (entries_.size() == maxMessages) break;
    auto origin = index.origin(message.id);
    entries_.push_back({std::move(message), std::move(origin)});
  }
  std::set<QSUUID> listed;
  for (const auto& e : entries_) listed.insert(e.message.id);
  std::set<QSUUID> unread;
  for (const auto& id : unread_)
    if (listed.count(id)) unread.insert(id);
  setUnread(std::move(unread));
}

const std::vector<QSMailBoxModel::Entry>& QSMailBoxModel::messages() {
  ensureLoaded();
  return entries_;
}

const QSMailBoxModel::Entry* QSMailBoxModel::find(const QSUUID& id) {
  for (const auto& e : messages())
    if (e.message.id == id) return &e;
  return nullptr;
}

std::vector<const QSMailBoxModel::Entry*> QSMailBoxModel::filtered(const std::string& project, const std::string& text) {
  std::vector<const Entry*> out;
  for (const auto& e : messages()) {
    if (!project.empty()) {
      QSMailSummary bare{.id = e.message.id};
      if (e.origin) bare.projectID = e.origin->projectID, bare.projectName = e.origin->projectName;
      if (!fromProject(bare, project)) continue;
    }
    if (!text.empty() && !mentions(e.message, text)) continue;
    out.push_back(&e);
  }
  return out;
}

void QSMailBoxModel::reload() {
  loaded_ = false;
  ensureLoaded();
  emit messagesChanged();
}

void QSMailBoxModel::markRead(const QSUUID& id) {
  if (!isUnread(id)) return;
  std::set<QSUUID> unread = unread_;
  unread.erase(id);
  setUnread(std::move(unread));
}

void QSMailBoxModel::ingest(const QSMailSummary& summary) {
  if (!loaded_) {
    // Listed with the rest when the folder is first read; counted now.
    auto names = store_.list();
    if (std::any_of(names.begin(), names.end(), [&](const QSMailFileName& n) { return n.id == summary.id; })) {
      std::set<QSUUID> unread = unread_;
      unread.insert(summary.id);
      setUnread(std::move(unread));
      emit messageArrived(summary.id);
    }
    return;
  }
  if (find(summary.id)) return;
  auto message = store_.load(summary.id);
  if (!message) return;
  std::optional<QSMailOrigin> origin;
  if (summary.projectID) origin = QSMailOrigin{*summary.projectID, summary.projectName.value_or("")};
  entries_.insert(entries_.begin(), {std::move(*message), std::move(origin)});
  std::set<QSUUID> unread = unread_;
  unread.insert(summary.id);
  while (entries_.size() > maxMessages) {
    unread.erase(entries_.back().message.id);
    entries_.pop_back();
  }
  setUnread(std::move(unread));
  emit messagesChanged();
  emit messageArrived(summary.id);
}

bool QSMailBoxModel::remove(const QSUUID& id) {
  ensureLoaded();
  store_.remove(id);
  auto gone = std::remove_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.message.id == id; });
  bool listed = gone != entries_.end();
  entries_.erase(gone, entries_.end());
  if (listed) emit messagesChanged();
  markRead(id);
  return listed;
}

int QSMailBoxModel::clearAll() {
  ensureLoaded();
  store_.clearAll();
  int count = static_cast<int>(entries_.size());
  entries_.clear();
  emit messagesChanged();
  setUnread({});
  return count;
}

void QSMailBoxModel::setUnread(std::set<QSUUID> unread) {
  if (unread == unread_) return;
  unread_ = std::move(unread);
  emit unreadCountChanged(unreadCount());
}

}  // namespace qs
