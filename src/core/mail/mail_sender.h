// Which project's server sent a message: the client's end of the SMTP connection, found in the
// kernel's socket tables, belongs to a process that is a project server Quayside started or one
// of its descendants.
#pragma once

#include "core/platform/uuid.h"

#include <cstdint>
#include <map>
#include <optional>

namespace qs {

// The project whose server (a process id in `serverPIDs`, which leads its process group) holds,
// itself or through a descendant, the TCP connection from 127.0.0.1:`clientPort` to the
// catcher's `catcherPort`. Nothing for a client that is none of them, or that has gone. Reads
// /proc; blocking, a few milliseconds.
std::optional<QSUUID> findSendingProject(std::uint16_t clientPort, std::uint16_t catcherPort,
                                         const std::map<std::int32_t, QSUUID>& serverPIDs);

}  // namespace qs
