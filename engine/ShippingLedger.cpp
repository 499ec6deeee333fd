#include "engine/ShippingLedger.h"

#include "engine/CsvText.h"
#include "platform/AtomicFile.h"
#include "platform/FileWrite.h"
#include "platform/Profile.h"
#include "platform/ScopeExit.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <map>
#include <system_error>
#include <utility>

namespace tvr::engine {
namespace {

constexpr const char* kHeader = "time,event,pair,file,folder,kind,outcome,error,bytes,detail";
constexpr std::size_t kFields = 10;

constexpr std::pair<LedgerEvent, const char*> kEventTexts[] = {
    {LedgerEvent::DumpBegun, "dump-begun"},
    {LedgerEvent::Dump, "dump"},
    {LedgerEvent::Load, "load"},
    {LedgerEvent::Deleted, "deleted"},
    {LedgerEvent::Promoted, "promoted"},
    {LedgerEvent::Cleared, "cleared"},
};

const char* eventText(LedgerEvent event) {
    for (const auto& [each, text] : kEventTexts)
        if (each == event) return text;
    return "dump";
}

std::optional<LedgerEvent> eventOf(const std::string& text) {
    for (const auto& [each, name] : kEventTexts)
        if (text == name) return each;
    return std::nullopt;
}

// Whether the event has an outcome at all: only the end of a dump and a load.
bool judged(LedgerEvent event) { return event == LedgerEvent::Dump || event == LedgerEvent::Load; }

template <typename T>
std::optional<T> number(const std::string& text) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<TLedgerEntry> entryOf(const std::vector<std::string>& f) {
    if (f.size() != kFields) return std::nullopt;
    TLedgerEntry entry;
    const auto time = parseHistoryTime(f[0]);
    const auto event = eventOf(f[1]);
    const auto kind = passKindOf(f[5]);
    if (!time || !event || !kind) return std::nullopt;
    entry.time = *time;
    entry.event = *event;
    entry.pair = f[2];
    entry.file = f[3];
    entry.folder = f[4];
    entry.kind = *kind;
    if (judged(entry.event)) {
        if (f[6] != "ok" && f[6] != "failed") return std::nullopt;
        entry.ok = f[6] == "ok";
    }
    if (!f[7].empty()) {
        const auto error = number<int>(f[7]);
        if (!error) return std::nullopt;
        entry.error = *error;
    }
    if (!f[8].empty()) {
        entry.bytes = number<std::uintmax_t>(f[8]);
        if (!entry.bytes) return std::nullopt;
    }
    entry.detail = f[9];
    return entry;
}

[[noreturn]] void throwErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// The last dump of `dumps` written to `file`, or none.
TLedgerDump* lastOf(std::vector<TLedgerDump>& dumps, const std::string& file) {
    for (auto it = dumps.rbegin(); it != dumps.rend(); ++it)
        if (it->file == file) return &*it;
    return nullptr;
}

}  // namespace

std::string TShippingPair::key() const {
    return mainServer + "." + mainDatabase + ">" +
           (reserveServer.empty() && reserveDatabase.empty()
                ? std::string()
                : reserveServer + "." + reserveDatabase);
}

std::string ledgerHeader() { return kHeader; }

std::string ledgerLine(const TLedgerEntry& e) {
    return historyTimeText(e.time) + "," + eventText(e.event) + "," + csvField(e.pair) + "," +
           csvField(e.file) + "," + csvField(e.folder) + "," + passKindText(e.kind) + "," +
           (judged(e.event) ? (e.ok ? "ok" : "failed") : "") + "," +
           (e.error ? std::to_string(e.error) : "") + "," +
           (e.bytes ? std::to_string(*e.bytes) : "") + "," + csvField(e.detail);
}

std::optional<TLedgerEntry> parseLedgerLine(const std::string& line) {
    bool cut = false;
    const auto records = csvRecords(line + "\n", &cut);
    if (records.size() != 1) return std::nullopt;
    return entryOf(records.front());
}

std::filesystem::path ledgerFileBeside(const std::filesystem::path& registryFile) {
    return registryFile.parent_path() / "ledger.csv";
}

TShippingLedger::TShippingLedger(std::filesystem::path file) : file_(std::move(file)) {}

void TShippingLedger::Read() {
    entries_.clear();
    skipped_ = 0;
    if (file_.empty()) return;
    const auto text = platform::readWholeFile(file_);
    if (!text) return;
    bool cutShort = false;
    const auto records = csvRecords(*text, &cutShort);
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (auto entry = entryOf(records[i])) {
            entries_.push_back(std::move(*entry));
        } else if (!(i == 0 && records[i].size() == kFields && records[i][0] == "time")) {
            ++skipped_;
        }
    }
    if (cutShort) ++skipped_;
}

void TShippingLedger::Append(TLedgerEntry entry) {
    const std::string line = ledgerLine(entry);
    entries_.push_back(std::move(entry));
    if (file_.empty()) return;
    std::error_code folderError;
    if (file_.has_parent_path())
        std::filesystem::create_directories(file_.parent_path(), folderError);
    const std::string name = file_.string();
    const int fd = ::open(name.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) throwErrno("cannot open " + name);
    const auto closeFile = onScopeExit([fd] { ::close(fd); });
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) throwErrno("cannot lock " + name);
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) throwErrno("cannot read the size of " + name);
    std::string text;
    if (status.st_size == 0) {
        text = ledgerHeader() + "\n";
    } else {
        // A line a kill cut short stays a line of its own, which the reading skips, instead of
        // swallowing this entry.
        char last = '\n';
        if (::pread(fd, &last, 1, status.st_size - 1) == 1 && last != '\n') text = "\n";
    }
    text += line + "\n";
    if (!platform::writeWhole(fd, text)) throwErrno("cannot write " + name);
    if (::fsync(fd) != 0) throwErrno("cannot sync " + name);
    if (status.st_size == 0 && file_.has_parent_path()) {
        // A new file's name must survive a crash as well as its content.
        const int folder = ::open(file_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
    }
}

void TShippingLedger::CompactIfLarge() {
    constexpr std::size_t kFewThousand = 4000;
    if (entries_.size() < std::max(compactAt_, kFewThousand)) return;
    std::vector<TLedgerEntry> kept = compactedEntries(entries_);
    compactAt_ = 2 * kept.size();
    if (kept.size() == entries_.size()) return;
    if (!file_.empty()) {
        std::string text = ledgerHeader() + "\n";
        for (const TLedgerEntry& entry : kept) text += ledgerLine(entry) + "\n";
        platform::replaceFileAtomically(file_, text);
    }
    entries_ = std::move(kept);
    skipped_ = 0;
}

std::vector<TLedgerEntry> compactedEntries(const std::vector<TLedgerEntry>& entries) {
    // Each dump of each pair with the indices of its entries, as ledgerState reads them.
    struct Dump {
        std::string pair;
        std::string file;
        std::vector<std::size_t> at;
        PassKind kind = PassKind::Transaction;
        bool ended = false, made = false, loaded = false, deleted = false;
    };
    std::vector<Dump> dumps;
    std::vector<bool> keep(entries.size(), true);
    std::optional<std::size_t> promotedAt;  // the entry of the mark that holds
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TLedgerEntry& e = entries[i];
        if (e.event == LedgerEvent::Promoted || e.event == LedgerEvent::Cleared) {
            keep[i] = false;
            if (e.event == LedgerEvent::Promoted)
                promotedAt = i;
            else
                promotedAt.reset();
            continue;
        }
        Dump* dump = nullptr;
        for (auto it = dumps.rbegin(); it != dumps.rend() && !dump; ++it)
            if (it->pair == e.pair && it->file == e.file) dump = &*it;
        if (e.event == LedgerEvent::DumpBegun || (!dump && e.event == LedgerEvent::Dump)) {
            dumps.push_back({e.pair, e.file, {}, e.kind});
            dump = &dumps.back();
        }
        if (!dump) continue;  // kept as it is: ledgerState passes it by too
        dump->at.push_back(i);
        if (e.event == LedgerEvent::Dump) {
            dump->ended = true;
            dump->made = e.ok;
        } else if (e.event == LedgerEvent::Load && e.ok) {
            dump->loaded = true;
        } else if (e.event == LedgerEvent::Deleted) {
            dump->deleted = true;
        }
    }
    if (promotedAt) keep[*promotedAt] = true;
    // Per pair: where its chain begins, and the last dump of the chain it loaded.
    std::map<std::string, std::pair<std::size_t, std::optional<std::size_t>>> chains;
    for (std::size_t d = 0; d < dumps.size(); ++d) {
        const auto it = chains.try_emplace(dumps[d].pair, d, std::nullopt).first;
        if (dumps[d].made && dumps[d].kind == PassKind::Full) it->second = {d, std::nullopt};
    }
    for (std::size_t d = 0; d < dumps.size(); ++d) {
        auto& [start, lastLoaded] = chains[dumps[d].pair];
        if (d >= start && dumps[d].made && dumps[d].loaded) lastLoaded = d;
    }
    for (std::size_t d = 0; d < dumps.size(); ++d) {
        const Dump& dump = dumps[d];
        const auto& [start, lastLoaded] = chains[dump.pair];
        const bool needed = !dump.ended || !dump.deleted || d == start || d == lastLoaded;
        if (needed) continue;
        for (const std::size_t i : dump.at) keep[i] = false;
    }
    std::vector<TLedgerEntry> kept;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (keep[i]) kept.push_back(entries[i]);
    return kept;
}

std::vector<TLedgerDump> TLedgerState::pending() const {
    std::vector<TLedgerDump> due;
    for (const TLedgerDump& dump : chain)
        if (!dump.loaded) due.push_back(dump);
    return due;
}

bool TLedgerState::caughtUp() const { return !chain.empty() && pending().empty(); }

TLedgerState ledgerState(const std::vector<TLedgerEntry>& entries, const std::string& pair) {
    TLedgerState state;
    std::vector<TLedgerDump> dumps;
    std::vector<bool> ended;  // beside dumps: whether its dump ended, and
    std::vector<bool> made;   // whether it ended well
    for (const TLedgerEntry& e : entries) {
        if (e.event == LedgerEvent::Promoted) {
            state.promoted = true;
            state.promotedHow = e.detail;
            continue;
        }
        if (e.event == LedgerEvent::Cleared) {
            state.promoted = false;
            state.promotedHow.clear();
            continue;
        }
        if (e.pair != pair) continue;
        TLedgerDump* dump = lastOf(dumps, e.file);
        // A begun dump opens a new record even for a name used before (a name is never reused
        // while its file exists, but a deleted file's name may come back).
        if (e.event == LedgerEvent::DumpBegun || (!dump && e.event == LedgerEvent::Dump)) {
            TLedgerDump opened;
            opened.file = e.file;
            opened.folder = e.folder;
            opened.kind = e.kind;
            opened.made = e.time;
            dumps.push_back(std::move(opened));
            ended.push_back(false);
            made.push_back(false);
            dump = &dumps.back();
        }
        if (!dump) continue;
        const std::size_t index = static_cast<std::size_t>(dump - dumps.data());
        switch (e.event) {
            case LedgerEvent::Dump:
                ended[index] = true;
                made[index] = e.ok;
                break;
            case LedgerEvent::Load:
                if (e.ok) {
                    dump->loaded = true;
                    dump->sequenceNew = e.detail;
                    state.anyLoad = true;
                } else {
                    ++dump->loadsFailed;
                    dump->lastError = e.error;
                }
                dump->loadFolder = e.folder;
                break;
            case LedgerEvent::Deleted:
                dump->deleted = true;
                break;
            default:
                break;
        }
    }
    // The chain begins at the last full dump that was made.
    std::size_t start = 0;
    for (std::size_t i = 0; i < dumps.size(); ++i)
        if (made[i] && dumps[i].kind == PassKind::Full) start = i;
    for (std::size_t i = 0; i < dumps.size(); ++i) {
        if (!ended[i]) {
            if (!dumps[i].deleted) state.partial.push_back(dumps[i]);
        } else if (!made[i]) {
            continue;
        } else if (i >= start) {
            state.chain.push_back(dumps[i]);
        } else if (!dumps[i].deleted) {
            state.superseded.push_back(dumps[i]);
        }
    }
    state.withoutReserve = pair.ends_with('>');
    return state;
}

std::vector<TLedgerDump> expiredLedgerDumps(const TLedgerState& state,
                                            LedgerClock::time_point before) {
    std::vector<TLedgerDump> expired;
    // Without a reserve server a dump is done once made; with one, once loaded, and the dumps
    // before the chain once its full dump is.
    const auto done = [&](const TLedgerDump& dump) { return state.withoutReserve || dump.loaded; };
    if (!state.chain.empty() && done(state.chain.front())) {
        for (const TLedgerDump& dump : state.superseded)
            if (dump.made < before) expired.push_back(dump);
    }
    for (const TLedgerDump& dump : state.chain)
        if (done(dump) && !dump.deleted && dump.made < before) expired.push_back(dump);
    return expired;
}

void recordTailInLedger(TShippingLedger& ledger, const std::string& pair, const TPassRecord& tail,
                        const std::string& dumpFolder, const std::string& loadFolder) {
    TLedgerEntry entry;
    entry.time = tail.start;
    entry.event = LedgerEvent::Dump;
    entry.pair = pair;
    entry.file = tail.file;
    entry.folder = dumpFolder;
    entry.kind = PassKind::Tail;
    entry.ok = tail.outcome != "dump failed";
    entry.error = entry.ok ? 0 : tail.error;
    entry.bytes = tail.bytes;
    ledger.Append(entry);
    if (!entry.ok || !tail.loadSeconds) return;
    entry.event = LedgerEvent::Load;
    entry.folder = loadFolder;
    entry.ok = tail.good();
    entry.error = tail.good() ? 0 : tail.error;
    entry.bytes.reset();
    ledger.Append(entry);
}

void recordPromoted(TShippingLedger& ledger, bool planned, LedgerClock::time_point when) {
    TLedgerEntry entry;
    entry.time = when;
    entry.event = LedgerEvent::Promoted;
    entry.detail = planned ? "a switchover" : "a failover";
    ledger.Append(entry);
}

void recordCleared(TShippingLedger& ledger, const std::string& how, LedgerClock::time_point when) {
    TLedgerEntry entry;
    entry.time = when;
    entry.event = LedgerEvent::Cleared;
    entry.detail = how;
    ledger.Append(entry);
}

}  // namespace tvr::engine
