#include "bin/qs/server_wait.h"

#include "bin/qs/output.h"
#include "bin/qs/status_line.h"

#include "core/runtime/port_scanner.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>

namespace qs {

QSStartWatch::QSStartWatch(QSUUID projectID, bool underWay) : projectID_(projectID), underWay_(underWay) {}

QSStartWatch::Verdict QSStartWatch::observe(const QSEvent& event, QSTimestamp now) {
  if (verdict_ == Verdict::running || verdict_ == Verdict::failed) return verdict_;
  if (const auto* changed = event.get<evt::ServerChanged>()) {
    if (changed->value.id == projectID_) serverChanged(changed->value);
  } else if (const auto* line = event.get<evt::LogLine>()) {
    const auto* source = line->source.get<svc::Server>();
    if (source && source->id == projectID_) detectStateTransition(console_, line->line, now);
  }
  return verdict_;
}

void QSStartWatch::serverChanged(const QSServer& server) {
  switch (server.status) {
    case QSServerStatus::starting:
    case QSServerStatus::building:
      underWay_ = true;
      verdict_ = Verdict::waiting;
      return;
    case QSServerStatus::running:
      if (!underWay_) return;
      port_ = server.port;
      verdict_ = Verdict::settling;
      return;
    case QSServerStatus::error:
      if (!underWay_) return;
      failure_ = server.errorMessage.value_or("The server failed to start.");
      verdict_ = Verdict::failed;
      return;
    case QSServerStatus::stopping:
    case QSServerStatus::stopped:
      if (!underWay_) return;
      failure_ = verdict_ == Verdict::settling ? "The server stopped right after it started."
                                               : "The server stopped before it was ready.";
      verdict_ = Verdict::failed;
      return;
  }
}

std::string describeFailedStart(const std::string& failure, const QSProject& project,
                                std::vector<std::string> console, const std::vector<ListeningProcess>& holders) {
  constexpr std::size_t kShownLines = 10;
  if (!console.empty() && console.back() == "[" + failure + "]") console.pop_back();
  if (console.size() > kShownLines) console.erase(console.begin(), console.end() - kShownLines);
  std::string text = failure;
  if (!console.empty()) {
    text += "\nThe console's last lines:";
    for (const auto& line : console) text += "\n  " + line;
  }
  for (const auto& holder : holders)
    text += fmt::format("\nPort {} is held by {} (pid {}): stop it, or give {} another port.", project.port,
                        holder.name, holder.pid, project.name);
  return text;
}

QSStartWatch::Verdict QSStartWatch::settled() {
  if (verdict_ == Verdict::settling) verdict_ = Verdict::running;
  return verdict_;
}

namespace {

// The build's progress as a status line: "Compiling [12/340]…".
std::string progressText(const std::string& progress) {
  if (progress.empty() || progress.ends_with("…")) return progress;
  return progress + "…";
}

std::string secondsText(std::chrono::seconds limit) {
  return fmt::format("{} second{}", limit.count(), limit.count() == 1 ? "" : "s");
}

}  // namespace

asio::awaitable<int> waitForServer(QSCliSession& session, QSEventFollower& follower, QSProject project,
                                   bool underWay, std::chrono::seconds limit) {
  using Clock = std::chrono::steady_clock;
  QSStartWatch watch(project.id, underWay);
  QSStatusLine status = QSStatusLine::on(stdout);
  follower.catchInterrupt();
  // One timer serves both the limit and the settle time, whichever comes first.
  Clock::time_point deadline = Clock::now() + limit;
  follower.wakeAfter(limit);
  for (;;) {
    auto item = co_await follower.next();
    QSStartWatch::Verdict before = watch.verdict();
    QSStartWatch::Verdict verdict = before;
    switch (item.what) {
      case QSEventFollower::What::event:
        verdict = watch.observe(item.event, QSTime::now());
        break;
      case QSEventFollower::What::timeUp:
        if (Clock::now() >= deadline) {
          status.clear();
          throw QSCliError(fmt::format("{0} isn't serving after {1}; it goes on starting. Follow it with "
                                       "'qs logs {0} -f'.",
                                       project.name, secondsText(limit)));
        }
        verdict = watch.settled();
        if (verdict != QSStartWatch::Verdict::running) follower.wakeAfter(deadline - Clock::now());
        break;
      case QSEventFollower::What::interrupted:
        status.clear();
        throw QSCliError("Stopped waiting; " + project.name + " goes on starting. Follow it with 'qs logs " +
                         project.name + " -f'.");
      case QSEventFollower::What::ended:
        status.clear();
        throw daemonWentAway();
    }
    if (verdict == QSStartWatch::Verdict::settling && before != verdict)
      follower.wakeAfter(std::min<Clock::duration>(QSStartWatch::settleTime, deadline - Clock::now()));
    if (verdict == QSStartWatch::Verdict::failed) {
      status.clear();
      // The daemon's buffer, not the followed lines: those come on another stream and may still
      // be on their way. The server has gone, so whoever listens on its port is somebody else.
      QSDaemonCommand logs = cmd::Logs{QSServiceRef(svc::Server{project.id}), 11, false};
      auto console = (co_await session.request<res::LogLines>(logs)).value;
      auto holders = QSPortScanner().processesListening(project.port);
      throw QSCliError(describeFailedStart(watch.failure(), project, console, holders));
    }
    if (verdict == QSStartWatch::Verdict::running) {
      status.clear();
      fmt::print("Running on {}\n", localURL(watch.port()));
      co_return QSExitCode::success;
    }
    status.show(progressText(watch.progress()));
  }
}

}  // namespace qs
