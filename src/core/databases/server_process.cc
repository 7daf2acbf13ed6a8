#include "core/databases/server_process.h"

#include "core/databases/engine_tool.h"
#include "core/platform/child_process.h"
#include "core/platform/files.h"
#include "core/platform/proc_table.h"

#include <algorithm>
#include <csignal>

namespace qs {

QSServerProcess::QSServerProcess() = default;
QSServerProcess::~QSServerProcess() = default;

bool QSServerProcess::isRunning() const { return process_ && process_->isRunning(); }

std::optional<std::int32_t> QSServerProcess::pid() const {
  if (!process_) return std::nullopt;
  return process_->pid();
}

void QSServerProcess::end(bool politely) {
  if (!process_) return;
  auto process = std::move(process_);
  process_.reset();
  if (process->isRunning() && politely) process->signal(SIGTERM);
  if (!pollUntil([&] { return process->reap().has_value(); }, std::chrono::seconds(30))) {
    process->signalGroup(SIGKILL);
    pollUntil([&] { return process->reap().has_value(); }, std::chrono::seconds(10));
  }
}

std::optional<std::int32_t> adoptedServer(const std::filesystem::path& pidFile, const std::vector<std::string>& names) {
  auto text = readFileIfPresent(pidFile);
  if (!text) return std::nullopt;
  std::string first = text->substr(0, text->find_first_of(" \r\n"));
  if (first.empty() || first.size() > 9 || first.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  auto pid = static_cast<std::int32_t>(std::stol(first));
  // The id alone could have been reused by an unrelated process since the server ended.
  auto identity = processIdentity(pid);
  if (!identity || identity->realUID != currentUserID() || processHasEnded(pid)) return std::nullopt;
  if (std::find(names.begin(), names.end(), identity->name) == names.end()) return std::nullopt;
  return pid;
}

}  // namespace qs
