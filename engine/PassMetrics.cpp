#include "engine/PassMetrics.h"

namespace tvr::engine {
namespace {

void metric(std::string& text, const char* name, const char* type, const char* help) {
    text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

void sample(std::string& text, const std::string& name, std::uint64_t value) {
    text += name + " " + std::to_string(value) + "\n";
}

std::size_t kindIndex(PassKind kind) { return kind == PassKind::Full ? 0 : 1; }

}  // namespace

void TPassMetrics::Count(const TPassRecord& record) {
    const std::size_t kind = kindIndex(record.kind);
    ++passes[kind];
    if (!record.good()) {
        ++failures[kind];
        // Another failure (a lost connection) leaves the chain as it was.
        if (isChainBreakError(record.error)) chainBroken = true;
        return;
    }
    chainBroken = false;
    shippedBytes += record.bytes.value_or(0);
    const double seconds = record.dumpSeconds + record.loadSeconds.value_or(0);
    lastGoodLoad = record.start + std::chrono::duration_cast<HistoryClock::duration>(
                                      std::chrono::duration<double>(seconds));
}

std::string metricsText(const TPassMetrics& m) {
    std::string text;
    metric(text, "tvr_lag_seconds", "gauge",
           "How far the reserve database is behind the main one, in seconds.");
    sample(text, "tvr_lag_seconds",
           static_cast<std::uint64_t>(std::max<long long>(m.lag.count(), 0)));
    metric(text, "tvr_last_good_load_timestamp_seconds", "gauge",
           "When the last good load ended, in seconds since 1970 (0: none yet).");
    sample(
        text, "tvr_last_good_load_timestamp_seconds",
        m.lastGoodLoad ? static_cast<std::uint64_t>(HistoryClock::to_time_t(*m.lastGoodLoad)) : 0);
    metric(text, "tvr_passes_total", "counter", "Passes that sent their dump, by kind.");
    sample(text, "tvr_passes_total{kind=\"full\"}", m.passes[0]);
    sample(text, "tvr_passes_total{kind=\"transaction\"}", m.passes[1]);
    metric(text, "tvr_pass_failures_total", "counter",
           "Passes whose dump or load failed, by kind.");
    sample(text, "tvr_pass_failures_total{kind=\"full\"}", m.failures[0]);
    sample(text, "tvr_pass_failures_total{kind=\"transaction\"}", m.failures[1]);
    metric(text, "tvr_shipped_bytes_total", "counter", "Bytes of the dump files loaded.");
    sample(text, "tvr_shipped_bytes_total", m.shippedBytes);
    metric(text, "tvr_processing", "gauge", "1 while processing runs, 0 once it has stopped.");
    sample(text, "tvr_processing", m.processing ? 1 : 0);
    metric(text, "tvr_alert_level", "gauge",
           "The alert level: 0 none, 1 warning, 2 critical (the lag, a stalled pass, a broken "
           "log chain).");
    sample(text, "tvr_alert_level", static_cast<std::uint64_t>(m.level));
    metric(text, "tvr_chain_broken", "gauge",
           "1 while the log chain is broken and only a full dump and load can mend it, else 0.");
    sample(text, "tvr_chain_broken", m.chainBroken ? 1 : 0);
    metric(text, "tvr_up", "gauge", "1: the program that writes this file runs.");
    sample(text, "tvr_up", 1);
    metric(text, "tvr_server_connected", "gauge",
           "1 while the session to the server of that role is open, else 0.");
    sample(text, "tvr_server_connected{role=\"main\"}", m.connected[0] ? 1 : 0);
    if (m.useReserve)
        sample(text, "tvr_server_connected{role=\"reserve\"}", m.connected[1] ? 1 : 0);
    metric(text, "tvr_pending_loads", "gauge", "Dumps made and not loaded on the reserve yet.");
    sample(text, "tvr_pending_loads", m.pendingLoads);
    metric(text, "tvr_log_write_failures_total", "counter",
           "Log entries that a log file did not take (kept and written later).");
    sample(text, "tvr_log_write_failures_total", m.logWriteFailures);
    return text;
}

}  // namespace tvr::engine
