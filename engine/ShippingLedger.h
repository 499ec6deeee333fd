#pragma once
// The shipping ledger: the durable record of which dumps a profile made and which of them the
// reserve loaded, so that every dump is loaded once, in order, whatever was killed or
// restarted in between. The worker decides each pass from it, not from what it remembers of
// the last one; retention, the clean-up of a partial dump and the failover's chain check find
// their files through it instead of reading dates out of file names.
//
// One file per profile, `ledger.csv` in the profile's folder, one line per event, appended and
// synced before the step it records goes on, so that a kill at any instant leaves it readable
// and true. Its first line is the header; then (RFC 4180 fields, LF line ends):
//   time,event,pair,file,folder,kind,outcome,error,bytes,detail
//   2026-12-08T07:10:12+01:00,dump-begun,MAIN.sales>RESERVE.sales_copy,sales08122026071012.tr,/dumps,transaction,,,,
//   2026-12-08T07:10:13+01:00,dump,MAIN.sales>RESERVE.sales_copy,sales08122026071012.tr,/dumps,transaction,ok,,81920,
//   2026-12-08T07:10:14+01:00,load,MAIN.sales>RESERVE.sales_copy,sales08122026071012.tr,/loads,transaction,failed,4305,,
// - event: "dump-begun" (written before the dump is sent: one with no "dump" after it is a
//   dump that never completed, its file partial), "dump" (the dump ended: outcome "ok" or
//   "failed"), "load" (one load tried), "deleted" (the file was removed), "promoted" (a
//   failover or switchover brought the reserve online: nothing may load over it) and
//   "cleared" (the promoted mark ended: the roles reversed, or a re-seed);
// - pair: which databases between which servers (TShippingPair::key); a profile whose settings
//   change pair keeps one ledger, each pair its own chain;
// - folder: the dump folder (dump events) or the load folder (load events) as seen from here;
// - detail: for a load whose header was checked, the header's "new" sequence date; for
//   "promoted" and "cleared", how.
// A line cut short by a kill (the last one, without its line end) is ignored and reported once;
// it never stops shipping.
#include "engine/PassHistory.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tvr::engine {

using LedgerClock = std::chrono::system_clock;

// The databases a profile ships, and between which servers.
struct TShippingPair {
    std::string mainServer;
    std::string mainDatabase;
    std::string reserveServer;  // empty without a reserve server
    std::string reserveDatabase;
    // "MAIN.sales>RESERVE.sales_copy" ("MAIN.sales>" without a reserve server).
    std::string key() const;
};

enum class LedgerEvent { DumpBegun, Dump, Load, Deleted, Promoted, Cleared };

struct TLedgerEntry {
    LedgerClock::time_point time;
    LedgerEvent event = LedgerEvent::Dump;
    std::string pair;
    std::string file;    // the dump file's name, without its folder
    std::string folder;  // where that file is, as seen from here
    PassKind kind = PassKind::Transaction;
    bool ok = false;
    int error = 0;
    std::optional<std::uintmax_t> bytes;
    std::string detail;
    bool operator==(const TLedgerEntry&) const = default;
};

// One line of the file, without its line end, and back (nothing when it is no entry).
std::string ledgerLine(const TLedgerEntry& entry);
std::optional<TLedgerEntry> parseLedgerLine(const std::string& line);
std::string ledgerHeader();

// The ledger of the settings in `registryFile`: `ledger.csv` beside it, in the profile's folder.
std::filesystem::path ledgerFileBeside(const std::filesystem::path& registryFile);

// The entries of a ledger file. Reading takes the whole file; appending writes one line and
// syncs it before returning. An empty path is a ledger kept in memory only (a worker built by
// a test without a profile).
class TShippingLedger {
public:
    explicit TShippingLedger(std::filesystem::path file = {});

    // Reads the file again. A last line without its line end (a kill in mid-write) and lines
    // that are no entry are skipped, and counted in Skipped(). Throws std::system_error when
    // the file exists but cannot be read; a missing file is an empty ledger.
    void Read();
    // Appends one entry and syncs the file (creating it with its header first). Throws
    // std::system_error when it cannot be written; the entry is kept in memory all the same.
    void Append(TLedgerEntry entry);

    // Once the entries have doubled since the last look (and are more than a few thousand),
    // rewrites the file with compactedEntries, replaced as a whole, so that a ledger of a
    // long run stays as small as what it must tell. Throws std::system_error when the file
    // cannot be replaced (it is then left as it was).
    void CompactIfLarge();

    const std::vector<TLedgerEntry>& Entries() const { return entries_; }
    std::size_t Skipped() const { return skipped_; }
    const std::filesystem::path& File() const { return file_; }

private:
    std::filesystem::path file_;
    std::vector<TLedgerEntry> entries_;
    std::size_t skipped_ = 0;
    std::size_t compactAt_ = 0;
};

// The entries that tell the same of every pair but of dumps whose files are gone and which no
// longer count: a dump loaded (or replaced by a newer full one) and deleted is left out, but
// for the first dump of each chain and the last one it loaded; the promoted mark is kept only
// while it holds. The order of what is kept is the file's.
std::vector<TLedgerEntry> compactedEntries(const std::vector<TLedgerEntry>& entries);

// One dump of a pair as the ledger tells it.
struct TLedgerDump {
    std::string file;
    std::string folder;  // the dump folder it was written to
    PassKind kind = PassKind::Transaction;
    LedgerClock::time_point made;  // when its dump began
    bool loaded = false;           // a load of it succeeded
    int loadsFailed = 0;           // loads tried and failed
    int lastError = 0;             // the server error of the last failed load
    bool deleted = false;          // the ledger records its deletion
    std::string sequenceNew;       // the checked header's "new" date of its load; may be empty
    std::string loadFolder;        // where its last load read it from; empty before any
    bool operator==(const TLedgerDump&) const = default;
};

// What the ledger says of one pair.
struct TLedgerState {
    // The dumps of the current chain, oldest first: the last completed full dump and every
    // completed dump after it (every completed dump when no full one is known).
    std::vector<TLedgerDump> chain;
    // Completed dumps before the chain whose files were not deleted: no longer needed once the
    // chain's full dump is loaded.
    std::vector<TLedgerDump> superseded;
    // Dumps begun and never ended: their files are partial.
    std::vector<TLedgerDump> partial;
    bool anyLoad = false;  // some load of this pair ever succeeded: the reserve is no new one
    bool withoutReserve = false;  // the pair has no reserve server: nothing is ever loaded
    bool promoted = false;        // a failover or switchover took the reserve online since
    std::string promotedHow;

    // The chain's dumps not loaded yet, oldest first: each must be loaded before any later one.
    std::vector<TLedgerDump> pending() const;
    // The chain's full dump is loaded and so is every dump after it.
    bool caughtUp() const;
};

// The state of `pair` (TShippingPair::key) from the entries in file order. The promoted mark
// is the profile's: set by any "promoted" entry, ended by a later "cleared".
TLedgerState ledgerState(const std::vector<TLedgerEntry>& entries, const std::string& pair);

// The files the ledger names for `pair` made before `before` and no longer needed: loaded (or
// superseded, or without a reserve server made), not deleted, not pending. Retention deletes
// these, in the dump folder they were written to and the load folder they were read from.
std::vector<TLedgerDump> expiredLedgerDumps(const TLedgerState& state,
                                            LedgerClock::time_point before);

// The ledger's appends of a failover: its tail dump and load (kind Tail), and the promoted
// mark once the reserve is online ("a failover" or "a switchover").
void recordTailInLedger(TShippingLedger& ledger, const std::string& pair, const TPassRecord& tail,
                        const std::string& dumpFolder, const std::string& loadFolder);
void recordPromoted(TShippingLedger& ledger, bool planned, LedgerClock::time_point when);
// The end of the promoted mark: the roles were reversed, or the reserve re-seeded.
void recordCleared(TShippingLedger& ledger, const std::string& how, LedgerClock::time_point when);

}  // namespace tvr::engine
