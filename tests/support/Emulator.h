#pragma once
// Test support: runs aseemu, the server emulator, as a child process for a test and makes it
// reachable by name through FreeTDS.
//
//   tvr::testing::Emulator main("MAIN", {"pubs2"});
//   // or: EmulatorOptions options; options.name = "MAIN"; options.logins = {"sa:secret"};
//   //     Emulator main(options);
//   // (designated initializers that leave fields out trip -Wmissing-field-initializers)
//   // ct_connect(connection, "MAIN", CS_NULLTERM) now reaches it with TDS 5.0, user "sa",
//   // empty password.
//
// The emulator is started on port 0 (a free port) with a fresh data folder unless one is given,
// always with a trace file, and stopped by the destructor (SIGTERM, then SIGKILL after 30 s).
// It also dies with the test process. A server that exits uncleanly (a sanitizer finding, a
// crash) when stopped fails the current test, unless the test killed it itself with signal().
//
// Every running emulator has a section in a freetds.conf of this process (FREETDSCONF is set by
// the first Emulator): host 127.0.0.1, its port, tds version 5.0, client charset UTF-8.
// Several emulators may run at once under different names.
//
// What the emulator sends, briefly (sim/README.md has the whole story): at logon an
// environment change to master and message 5701 "Changed database context to 'master'.";
// a refused logon gets 4002 "Login failed." at severity 14. System message texts end with a
// line feed ("Login failed.\n"); print texts arrive exactly as printed.
#include <sys/types.h>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace tvr::testing {

struct EmulatorOptions {
    std::string name = "MAIN";           // server name, also the FreeTDS server name clients use
    std::vector<std::string> databases;  // --database
    std::vector<std::string> logins;     // "user:password"; empty = default sa with empty password
    std::vector<std::string> extraArgs;  // more aseemu arguments
    std::string dataDir;                 // empty: a fresh temporary folder, removed at the end
};

class Emulator {
public:
    // Starts the emulator and waits (up to 60 s) for its "listening on" line; throws
    // std::runtime_error with the reason when it does not come.
    explicit Emulator(EmulatorOptions options);
    // Server `name` with these user databases, default login sa with an empty password.
    explicit Emulator(const std::string& name, std::vector<std::string> databases = {});
    ~Emulator();
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    int port() const { return port_; }
    const std::string& name() const { return options_.name; }
    const std::string& dataDir() const { return options_.dataDir; }
    const std::string& tracePath() const { return tracePath_; }
    bool running() const { return pid_ > 0; }

    // The --trace file: each language command received, as "-- connection N, L bytes" lines
    // followed by the command text.
    std::string traceText() const;
    std::size_t traceSize() const;

    // One command of the trace: the connection that sent it (the server numbers them from 1
    // at each start), where its record begins in the file, and its text.
    struct TracedCommand {
        int connection = 0;
        std::size_t offset = 0;
        std::string text;
    };

    // Runs `connect`, a client's logon to this server, and returns its result. The client
    // library may send commands of its own while it logs on, each release its own (FreeTDS 1.3
    // "select @@spid ", later ones a batch that also tries two conversions): what a connection
    // that had not spoken before sends until `connect` returns is the library's, not ours.
    template <class Connect>
    auto logOn(Connect connect) {
        const std::size_t before = traceSize();
        auto result = connect();
        noteLogon(before);
        return result;
    }
    // The commands of the trace without the library's own during the logons run by logOn().
    std::vector<TracedCommand> ownCommands() const;

    // stop() ends the server (SIGTERM) and waits for it; start() starts it again on the same
    // data folder (and a new port, written to freetds.conf).
    void stop();
    void start();
    // Starts it again with other logins (a password changed, a login locked meanwhile).
    void start(std::vector<std::string> logins);
    // Sends a signal; after SIGKILL (or any signal that ends it) the server counts as stopped
    // and its exit is not checked.
    void signal(int sig);

private:
    void reap(bool expectClean);
    std::vector<TracedCommand> tracedCommands() const;
    void noteLogon(std::size_t traceBefore);

    // Commands of `connection` traced from `begin` up to `end` came from the library.
    struct LogonTraffic {
        int connection;
        std::size_t begin;
        std::size_t end;
    };

    EmulatorOptions options_;
    std::string ownedRoot_;  // temporary folder removed at the end ("" when none)
    std::string tracePath_;
    pid_t pid_ = -1;
    int port_ = 0;
    int stdoutPipe_ = -1;
    std::vector<std::size_t> starts_;  // the trace's size at each start, where numbering restarts
    std::vector<LogonTraffic> logons_;
    mutable std::mutex logonsMutex_;
};

// The path of the freetds.conf of this process (created on first use).
std::string freetdsConfigPath();

}  // namespace tvr::testing
