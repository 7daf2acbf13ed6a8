// `qs start --wait`: following a project's server from the start command until it serves or
// fails, with the build's progress on the way.
#pragma once

#include "bin/qs/cli_session.h"
#include "bin/qs/event_follower.h"

#include "core/models/port_availability.h"
#include "core/protocol/event.h"
#include "core/runtime/console_transition.h"

#include <asio/awaitable.hpp>

#include <chrono>
#include <string>
#include <vector>

namespace qs {

// Decides, event by event, whether a start has succeeded. Pure: the caller feeds it the
// events of the `servers` and `logs` subscriptions and acts on the verdicts.
class QSStartWatch {
public:
  enum class Verdict {
    waiting,   // not running yet
    settling,  // reported running; waiting out settleTime before believing it
    running,   // still running after settleTime
    failed,    // ended in error or stopped; failure() says why
  };

  // How long a server must stay up after its readiness line before the start counts: a server
  // that crashes right after announcing itself is reported as failed, not as running.
  static constexpr std::chrono::milliseconds settleTime{1000};

  // `underWay`: the server was already starting or building when the watch began. Otherwise
  // state changes are ignored until the server is seen building or starting, so that a record
  // from before the command (an old error, say) is not taken for its outcome.
  QSStartWatch(QSUUID projectID, bool underWay);

  // Applies one event. Events of other projects and of other kinds change nothing.
  Verdict observe(const QSEvent& event, QSTimestamp now);
  // The settle time has passed: settling becomes running.
  Verdict settled();

  Verdict verdict() const { return verdict_; }
  // The console's build progress ("Compiling [12/340]", "Starting server…"); empty for none.
  const std::string& progress() const { return console_.buildProgress; }
  // The port of the running server.
  int port() const { return port_; }
  const std::string& failure() const { return failure_; }

private:
  void serverChanged(const QSServer& server);

  QSUUID projectID_;
  bool underWay_;
  Verdict verdict_ = Verdict::waiting;
  QSServerConsoleState console_;
  int port_ = 0;
  std::string failure_;
};

// What a failed start says: the server's error, its last console lines (`console`, oldest
// first, of which the last 10 are shown, without an exit line that repeats the error), and who
// holds its port when someone else does (`holders` as the port scanner reports them).
std::string describeFailedStart(const std::string& failure, const QSProject& project,
                                std::vector<std::string> console, const std::vector<ListeningProcess>& holders);

// Follows the server of `project` after a start or restart command was answered. Returns 0
// once it runs ("Running on http://127.0.0.1:PORT"); throws QSCliError with its error message
// when it fails, when the daemon goes away, when Ctrl-C ends the wait, or when it does not run
// within `limit` ("NAME isn't serving after N seconds; it goes on starting. …"). `follower`
// must already follow the `servers` and `logs` streams, subscribed before the command was sent.
asio::awaitable<int> waitForServer(QSCliSession& session, QSEventFollower& follower, QSProject project,
                                   bool underWay, std::chrono::seconds limit);

}  // namespace qs
