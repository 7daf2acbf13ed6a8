#include "core/protocol/event.h"

namespace qs {

QSEventKind QSEvent::kind() const {
  // Exhaustive on purpose: a new event that is given no kind does not compile.
  return visit(QSOverloaded{
      [](const evt::ProjectsChanged&) { return QSEventKind::projects; },
      [](const evt::DatabaseChanged&) { return QSEventKind::databases; },
      [](const evt::DatabasesChanged&) { return QSEventKind::databases; },
      [](const evt::ServerChanged&) { return QSEventKind::servers; },
      [](const evt::NetworkChanged&) { return QSEventKind::network; },
      [](const evt::LogLine&) { return QSEventKind::logs; },
      [](const evt::RequestLogged&) { return QSEventKind::logs; },
      [](const evt::MailReceived&) { return QSEventKind::mail; },
      [](const evt::LogBatch&) { return QSEventKind::logBatches; },
  });
}

bool matches(QSEventKind kind, const QSEvent& event) {
  return kind == event.kind() || (kind == QSEventKind::all && coveredByAll(event.kind()));
}

bool coveredByAll(QSEventKind kind) {
  return kind != QSEventKind::mail && kind != QSEventKind::logBatches;
}

}  // namespace qs
