#pragma once
// The pass history: one CSV line per pass in `history-YYYYMMDD.csv` beside the activity log,
// so that a monitor, a script or a person can see what every pass did long after the log
// views were closed. The worker appends a line at the end of each pass it ran; `tvr --check`
// and anyone checking the chain of dump files read them back with readPassHistory.
//
// The file (RFC 4180, CR LF line ends, one header line at its top):
//   start,kind,file,bytes,dump_seconds,load_seconds,outcome,error,lag_seconds
//   2026-12-07T16:02:11+01:00,transaction,sales_1207161602.tr,81920,0.412,0.388,ok,,3
// - start: when the pass began (its dump was sent), local time with its UTC offset;
// - kind: "full" (database dump and load), "transaction" (log dump and load) or "tail" (the
//   last log dump a failover saved from the main server, and its load);
// - file: the dump file's name, without its folder; quoted when it holds a comma or a quote;
// - bytes: the dump file's size after the dump; empty when the file could not be seen;
// - dump_seconds, load_seconds: how long each call took; load_seconds empty when no load
//   was sent (a failed dump, or no reserve server);
// - outcome: "ok", "dump failed" or "load failed";
// - error: the server error number of the failed step; empty when none is known;
// - lag_seconds: how far the reserve was behind the main server right after the pass.
// The day in the name is the local date of the pass's start. A profile other than the default
// one has its name in front ("east_history-YYYYMMDD.csv"), as its logs do, so that two
// programs logging into one folder keep apart.
#include "engine/WatchRules.h"

#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace tvr::engine {

using HistoryClock = std::chrono::system_clock;

enum class PassKind { Full, Transaction, Tail };

struct TPassRecord {
    HistoryClock::time_point start;
    PassKind kind = PassKind::Transaction;
    std::string file;
    std::optional<std::uintmax_t> bytes;
    double dumpSeconds = 0;
    std::optional<double> loadSeconds;
    std::string outcome;  // "ok", "dump failed", "load failed"
    int error = 0;
    std::chrono::seconds lag{0};
    bool operator==(const TPassRecord&) const = default;

    // The pass loaded its dump (or, without a reserve server, made it) without a fault.
    bool good() const { return outcome == "ok"; }
};

// "full", "transaction", "tail", and back.
const char* passKindText(PassKind kind);
std::optional<PassKind> passKindOf(const std::string& text);

// The outcome word of a pass from its two steps (`useReserve`: a load was due).
std::string passOutcomeText(const StepResult& dump, const StepResult& load, bool useReserve);
// The error number of the step that failed, 0 when none did or none is known.
int passErrorNumber(const StepResult& dump, const StepResult& load);

// "history-", after the profile's name and '_' for a profile other than the default one.
std::string historyFilePrefix();
// `folder`/history-YYYYMMDD.csv (with the prefix) for the local date `day`.
std::string historyFileName(const std::string& folder, const std::tm& day);

// The header line and one record's line, each without its line end.
std::string historyHeader();
std::string historyLine(const TPassRecord& record);

// Appends the record's line to the history file of its day in `folder`, with the header first
// when the file is new or empty. The check and the write are made under an exclusive lock, so
// that two writers cannot both write the header. Throws std::system_error when the file cannot
// be opened or written (the caller logs it and ships on).
void appendPassRecord(const std::string& folder, const TPassRecord& record);

// The records of one file's text in file order; lines that are not records (the header, a
// line cut short by a crash, a line from a later version with fields this one cannot read)
// are skipped.
std::vector<TPassRecord> parsePassHistory(const std::string& text);

// Every record of the history files in `folder` whose day is `since`'s local day or later,
// oldest first (files in date order, lines in file order); none when the folder holds none.
// Throws std::system_error when a history file exists but cannot be read.
std::vector<TPassRecord> readPassHistory(const std::string& folder, HistoryClock::time_point since);

// The local time of `when` as the history writes it ("2026-12-07T16:02:11+01:00"), and back;
// nothing when the text is not one.
std::string historyTimeText(HistoryClock::time_point when);
std::optional<HistoryClock::time_point> parseHistoryTime(const std::string& text);

}  // namespace tvr::engine
