#include "engine/StartDecision.h"

namespace tvr::engine {
namespace {

std::string where(const TStartFacts& facts) {
    return facts.reserveDatabase + " on " + facts.reserveServer;
}

// Why the chain cannot be resumed, or empty when it can.
std::string notResumable(const TLedgerState& ledger, const TStartFacts& facts) {
    if (!facts.reserve) return "the state of " + where(facts) + " is not known";
    if (*facts.reserve != DatabaseState::Loading) {
        return where(facts) + " is " + databaseStateText(*facts.reserve);
    }
    if (ledger.chain.empty() || !ledger.anyLoad) return "the ledger records no load of it";
    const auto pending = ledger.pending();
    if (!pending.empty()) {
        return std::to_string(pending.size()) + " dump" + (pending.size() == 1 ? "" : "s") +
               " of the chain not loaded, the first " + pending.front().file;
    }
    return {};
}

}  // namespace

std::string fullLoadRefusal(const TLedgerState& ledger, DatabaseState reserve, bool reseed,
                            const std::string& reserveServer, const std::string& reserveDatabase) {
    if (reserve != DatabaseState::Online || reseed || !ledger.anyLoad) return {};
    return "The reserve database " + reserveDatabase + " on " + reserveServer +
           " is online: a full load would replace it and whatever was written there. Nothing "
           "was sent; use \"Re-seed the reserve...\" (tvr --reseed) to replace it";
}

TStartDecision decideFirstPass(const TLedgerState& ledger, const TStartFacts& facts) {
    TStartDecision decision;
    const bool reseed = facts.kind == StartKind::Reseed;
    if (ledger.promoted && !reseed) {
        decision.refusal = "The reserve database " + where(facts) + " was brought online by " +
                           (ledger.promotedHow.empty() ? "a failover" : ledger.promotedHow) +
                           ": processing is not started. Reverse the roles, or use \"Re-seed "
                           "the reserve...\" (tvr --reseed) to load it again from the main "
                           "server";
        return decision;
    }
    decision.full = reseed || facts.isDumLoadBD;
    if (!facts.useReserve) return decision;
    if (reseed) {
        decision.activity = "Re-seeding the reserve: a full dump and load replaces " + where(facts);
    } else if (facts.isDumLoadBD && facts.isResumeChain) {
        const std::string why = notResumable(ledger, facts);
        if (why.empty()) {
            decision.full = false;
            decision.activity = "Resuming the log chain: " + where(facts) + " has loaded " +
                                ledger.chain.back().file + ", the last dump made; no full dump";
        } else {
            decision.activity =
                "The log chain is not resumed (" + why + "); a full dump and load follows";
        }
    }
    if (decision.full && facts.reserve) {
        decision.refusal = fullLoadRefusal(ledger, *facts.reserve, reseed, facts.reserveServer,
                                           facts.reserveDatabase);
    }
    return decision;
}

}  // namespace tvr::engine
