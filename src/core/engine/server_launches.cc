#include "core/engine/server_launches.h"

#include "core/runtime/console_pipe_reader.h"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

#include <vector>

namespace qs {

// One launched process of a project. Its readers and exit monitor hold it, not the supervisor.
struct QSServerLaunches::Launch {
  Launch(QSUUID id, asio::any_io_executor executor) : projectID(id), drained(std::move(executor)) {}
  QSUUID projectID;
  std::int32_t pid = 0;    // the launched process, which leads its process group
  bool cancelled = false;  // stopped, replaced or removed: its exit is not reported
  int openReaders = 0;     // console pipes not yet at their end
  asio::steady_timer drained;
};

namespace {

// A server's last words are written before it exits, but its pipes and its exit reach the loop
// independently: the exit waits this long at most for the console to be read to its end (a
// helper the server forked may keep the pipes open for ever).
constexpr std::chrono::seconds kConsoleDrainLimit{1};

}  // namespace

QSServerLaunches::QSServerLaunches(asio::any_io_executor executor, std::shared_ptr<QSServerRecords> records)
    : executor_(std::move(executor)), records_(std::move(records)) {}

QSServerLaunches::~QSServerLaunches() { cancelAll(); }

void QSServerLaunches::add(const QSUUID& projectID, std::int32_t pid) {
  auto launch = std::make_shared<Launch>(projectID, executor_);
  launch->pid = pid;
  launches_[projectID] = launch;
}

void QSServerLaunches::follow(const QSUUID& projectID, UniqueFd consolePipe,
                              std::shared_ptr<QSTerminationStream> termination) {
  auto launch = launches_.at(projectID);
  startConsoleReader(std::move(consolePipe), launch);
  startExitMonitor(std::move(termination), launch);
}

void QSServerLaunches::cancel(const QSUUID& projectID) {
  auto it = launches_.find(projectID);
  if (it == launches_.end()) return;
  it->second->cancelled = true;
  launches_.erase(it);
}

void QSServerLaunches::cancelAll() {
  for (auto& [id, launch] : launches_) launch->cancelled = true;
  launches_.clear();
}

// Reads one pipe until its end, handing each complete line to the server's record.
void QSServerLaunches::startConsoleReader(UniqueFd pipe, std::shared_ptr<Launch> launch) {
  if (!pipe) return;
  ++launch->openReaders;
  auto stream = std::make_shared<asio::posix::stream_descriptor>(executor_, pipe.release());
  std::weak_ptr<QSServerLaunches> weak = weak_from_this();
  asio::co_spawn(
      executor_,
      [stream, weak, launch]() -> asio::awaitable<void> {
        auto take = [&weak, &launch](std::vector<std::string> lines) {
          auto self = weak.lock();
          if (!self) return false;
          for (auto& line : lines) self->records_->appendLog(launch->projectID, std::move(line));
          return true;
        };
        bool ended = co_await readConsoleLines(*stream, take);
        if (ended && --launch->openReaders == 0) launch->drained.cancel();
      },
      asio::detached);
}

void QSServerLaunches::startExitMonitor(std::shared_ptr<QSTerminationStream> termination,
                                        std::shared_ptr<Launch> launch) {
  std::weak_ptr<QSServerLaunches> weak = weak_from_this();
  asio::co_spawn(
      executor_,
      [termination, launch, weak]() -> asio::awaitable<void> {
        auto status = co_await termination->next();
        if (!status || launch->cancelled) co_return;
        if (launch->openReaders > 0) {
          launch->drained.expires_after(kConsoleDrainLimit);
          asio::error_code ignored;
          co_await launch->drained.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
        }
        if (launch->cancelled) co_return;
        if (auto self = weak.lock()) self->handleExit(launch->projectID, *status);
      },
      asio::detached);
}

void QSServerLaunches::handleExit(const QSUUID& projectID, std::int32_t status) {
  launches_.erase(projectID);
  records_->recordExit(projectID, status);
}

std::map<std::int32_t, QSUUID> QSServerLaunches::serverProcessIDs() const {
  std::map<std::int32_t, QSUUID> pids;
  for (const auto& [projectID, launch] : launches_)
    if (launch->pid > 0 && !launch->cancelled && records_->isActive(projectID)) pids[launch->pid] = projectID;
  return pids;
}

}  // namespace qs
