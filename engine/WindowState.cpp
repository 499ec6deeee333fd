#include "engine/WindowState.h"

#include "engine/DumpLoadThread.h"

namespace tvr::engine {

TWindowState::TWindowState() = default;
TWindowState::~TWindowState() = default;

}  // namespace tvr::engine
