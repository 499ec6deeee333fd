// Dump and load of a database through the emulated Backup Server, against cp of a file of the
// same size on the same disk. Prints the times and their ratio.
//
//   dumpload_bench [--size-mb N] [--dir FOLDER]     (default 1024 MiB in the system temp folder)
//
// To time the steps as whole processes (several runs, against cp run the same way):
//   dumpload_bench --prepare FOLDER [--size-mb N]   builds main.db and an empty reserve.db there
//   dumpload_bench --dump-load FOLDER               one dump of main and its load into reserve
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>

#include "sim/backup/BackupServer.h"

namespace fs = std::filesystem;
using namespace tvr::sim;

namespace {

class BenchHost : public DatabaseHost {
public:
    explicit BenchHost(fs::path dir) : dir_(std::move(dir)) {}
    std::optional<fs::path> databaseFile(const std::string& name) override {
        return dir_ / (name + ".db");
    }
    int usersOf(const std::string&) override { return 0; }
    bool isLoading(const std::string& name) override { return loading_.count(name) > 0; }
    void setLoading(const std::string& name, bool on) override {
        if (on)
            loading_.insert(name);
        else
            loading_.erase(name);
    }
    LogDumpability logDumpability(const std::string&) override { return {}; }

private:
    fs::path dir_;
    std::set<std::string> loading_;
};

struct Quiet : MessageSink {
    void send(const ServerError& m) override {
        if (m.severity > 10) std::cerr << m.number << ": " << m.text << '\n';
    }
};

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void exec(sqlite3* db, const std::string& sql) {
    char* msg = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
        std::cerr << "sqlite: " << (msg ? msg : "?") << '\n';
        std::exit(1);
    }
}

void buildDatabases(const fs::path& dir, long sizeMb) {
    fs::create_directories(dir);
    std::cout << "building a " << sizeMb << " MiB database in " << dir << " ..." << std::endl;
    {
        sqlite3* db = nullptr;
        sqlite3_open((dir / "main.db").c_str(), &db);
        exec(db, "PRAGMA journal_mode=WAL");
        logchain::ensure(db);
        exec(db, "CREATE TABLE blobs (id INTEGER PRIMARY KEY, b BLOB)");
        exec(db, "BEGIN");
        for (long i = 0; i < sizeMb; ++i)
            exec(db, "INSERT INTO blobs (b) VALUES (randomblob(1048000))");
        exec(db, "COMMIT");
        exec(db, "PRAGMA wal_checkpoint(TRUNCATE)");
        sqlite3_close(db);
        sqlite3_open((dir / "reserve.db").c_str(), &db);
        exec(db, "PRAGMA journal_mode=WAL");
        logchain::ensure(db);
        sqlite3_close(db);
    }
    // Each step starts with nothing dirty in the page cache, so that none pays for another's
    // writes (the sync of the copy flushes the whole file system).
    ::sync();
}

struct DumpLoadTimes {
    double dump = 0;
    double load = 0;
};

// `settle`: flush the whole system's writes after each step and remove the dump at the end, so
// that the steps timed here and the cp after them each start clean. Without it (one process timed
// from outside against a cp of its own) the run does only what a dump and a load do: they flush
// their own files, and the dump stays for the next run to replace, as cp's copy does.
bool dumpAndLoad(const fs::path& dir, DumpLoadTimes& times, bool settle) {
    BenchHost host(dir);
    FaultPlan faults;
    BackupServerOptions options;
    options.serverName = "BENCH";
    options.networkName = "BENCH_BS";
    options.scratchFolder = dir / "scratch";
    BackupServer backup(options, host, faults);
    Quiet sink;

    auto t = std::chrono::steady_clock::now();
    if (backup.dumpDatabase("main", (dir / "dump.db").string(), sink).error != 0) return false;
    times.dump = seconds(t);
    if (settle) ::sync();
    t = std::chrono::steady_clock::now();
    if (backup.loadDatabase("reserve", (dir / "dump.db").string(), sink).error != 0) return false;
    times.load = seconds(t);
    if (!settle) return true;
    ::sync();
    fs::remove(dir / "dump.db");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    long sizeMb = 1024;
    fs::path base = fs::temp_directory_path();
    fs::path prepare, dumpLoad;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--size-mb" && i + 1 < argc)
            sizeMb = std::strtol(argv[++i], nullptr, 10);
        else if (a == "--dir" && i + 1 < argc)
            base = argv[++i];
        else if (a == "--prepare" && i + 1 < argc)
            prepare = argv[++i];
        else if (a == "--dump-load" && i + 1 < argc)
            dumpLoad = argv[++i];
        else {
            std::cerr << "usage: dumpload_bench [--size-mb N] [--dir FOLDER]\n"
                         "       dumpload_bench --prepare FOLDER [--size-mb N]\n"
                         "       dumpload_bench --dump-load FOLDER\n";
            return 2;
        }
    }
    if (sizeMb <= 0) {
        std::cerr << "--size-mb must be positive\n";
        return 2;
    }
    if (!prepare.empty()) {
        buildDatabases(prepare, sizeMb);
        return 0;
    }
    DumpLoadTimes times;
    if (!dumpLoad.empty()) return dumpAndLoad(dumpLoad, times, false) ? 0 : 1;

    const fs::path dir = base / ("tvr-dumpload-bench-" + std::to_string(::getpid()));
    buildDatabases(dir, sizeMb);
    const auto dbSize = fs::file_size(dir / "main.db");
    if (!dumpAndLoad(dir, times, true)) return 1;
    const double dump = times.dump;
    const double load = times.load;

    auto t = std::chrono::steady_clock::now();
    const std::string cp = "cp '" + (dir / "main.db").string() + "' '" +
                           (dir / "copy.db").string() + "' && sync -f '" +
                           (dir / "copy.db").string() + "'";
    if (std::system(cp.c_str()) != 0) return 1;
    const double copy = seconds(t);

    std::printf("database size        %10.1f MiB\n", static_cast<double>(dbSize) / 1048576.0);
    std::printf("dump database        %10.2f s\n", dump);
    std::printf("load database        %10.2f s\n", load);
    std::printf("cp + sync            %10.2f s\n", copy);
    std::printf("dump / cp            %10.2f\n", dump / copy);
    std::printf("load / cp            %10.2f\n", load / copy);
    std::printf("(dump + load) / cp   %10.2f\n", (dump + load) / copy);
    fs::remove_all(dir);
    return 0;
}
