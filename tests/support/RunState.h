#pragma once
// Test support: the run-time state the main window holds for the program (the two sessions,
// the run's flags and its worker), for tests that drive the engine and the logons without
// the window. The worker is declared last, so it is freed before what it uses.
#include "engine/Connections.h"
#include "engine/RunFlags.h"
#include "engine/WorkerRun.h"

namespace tvr::testing {

struct RunState {
    engine::TConnections connections;
    engine::TRunFlags flags;
    engine::TWorkerRun worker;
};

}  // namespace tvr::testing
