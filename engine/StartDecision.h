#pragma once
// What the first pass of a run is, decided at the start from the ledger and from what the
// reserve server says of its database: a full dump and load as set, transaction passes that
// resume the log chain where the last run left it, or no start at all when a full load would
// replace a reserve database that is online (a failover promoted it, or someone works in it).
#include "engine/ProcessingControl.h"
#include "engine/ReserveChecks.h"
#include "engine/ShippingLedger.h"

#include <optional>
#include <string>

namespace tvr::engine {

struct TStartFacts {
    StartKind kind = StartKind::Normal;
    bool useReserve = true;
    bool isDumLoadBD = true;  // the first pass is a full one, as set
    bool isResumeChain = false;
    std::string reserveServer;
    std::string reserveDatabase;
    // The reserve database's state; none when the server could not say.
    std::optional<DatabaseState> reserve;
};

struct TStartDecision {
    bool full = true;      // the first pass is a full dump and load
    std::string activity;  // one activity line saying why, or empty
    std::string refusal;   // why processing is not started; empty when it is
};

TStartDecision decideFirstPass(const TLedgerState& ledger, const TStartFacts& facts);

// Why a full load onto `reserve` is refused, or empty when it may go on: a reserve that is
// online is replaced only at a first setup (no load of the pair yet) or at a re-seed.
std::string fullLoadRefusal(const TLedgerState& ledger, DatabaseState reserve, bool reseed,
                            const std::string& reserveServer, const std::string& reserveDatabase);

}  // namespace tvr::engine
