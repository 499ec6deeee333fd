#pragma once
// Runs one language command: cuts it into statements, hands each to its handler, and ends each
// with a done token (more-results set on all but the last, the error bit and the count where
// they apply). A syntax error stops the batch; other errors end only their statement.
#include "sim/ExecutionContext.h"

#include <string>

namespace tvr::sim {

enum class BatchResult { Completed, Cancelled };

BatchResult runBatch(ExecutionContext& context, const std::string& batch);

} // namespace tvr::sim
