#include "core/mail/mail_sender.h"

#include "core/platform/proc_table.h"

namespace qs {
namespace {

// A chain of parents longer than this is a loop in a table read while it changed.
constexpr int kMaxAncestors = 128;

std::optional<QSUUID> projectOfAncestor(std::int32_t pid, const std::map<std::int32_t, QSUUID>& serverPIDs) {
  for (int step = 0; step < kMaxAncestors && pid > 1; ++step) {
    if (auto found = serverPIDs.find(pid); found != serverPIDs.end()) return found->second;
    // A helper the server forked keeps its process group after the server's exit re-parents it.
    if (auto group = processGroupID(pid))
      if (auto found = serverPIDs.find(*group); found != serverPIDs.end()) return found->second;
    auto parent = parentProcessID(pid);
    if (!parent) break;
    pid = *parent;
  }
  return std::nullopt;
}

}  // namespace

std::optional<QSUUID> findSendingProject(std::uint16_t clientPort, std::uint16_t catcherPort,
                                         const std::map<std::int32_t, QSUUID>& serverPIDs) {
  if (serverPIDs.empty()) return std::nullopt;
  auto inodes = connectedTCPSocketInodes(clientPort, catcherPort);
  for (auto pid : processesHoldingSockets(inodes))
    if (auto project = projectOfAncestor(pid, serverPIDs)) return project;
  return std::nullopt;
}

}  // namespace qs
