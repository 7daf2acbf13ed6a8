// Sample records with every optional field filled in (or, for the minimal ones, left out), for
// round-trip and shape tests of the state file and the daemon protocol.
#pragma once

#include "core/models/database.h"
#include "core/models/domain.h"
#include "core/models/environment_variable.h"
#include "core/models/log_entry.h"
#include "core/models/project.h"
#include "core/models/project_configuration.h"
#include "core/models/server.h"
#include "core/models/toolchain.h"

namespace qs::testing {

// A fixed instant, given in seconds since 2001-01-01 (the protocol's date form).
QSTimestamp sampleTime(double referenceSeconds);
// A fixed identifier derived from `n` ("00000000-0000-4000-8000-0000000000NN").
QSUUID sampleID(int n);

QSDomain sampleDomain();
QSEnvironmentVariable sampleVariable();
QSProject sampleProject();   // every optional present
QSProject minimalProject();  // every optional absent, no variables
QSDatabase sampleDatabase(); // every optional present
QSServer sampleServer();     // running, with pid and start time
QSLogEntry sampleLogEntry(); // every optional present
QSToolchain sampleToolchain();
QSProjectConfiguration sampleConfiguration();

}  // namespace qs::testing
