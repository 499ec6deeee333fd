// libFuzzer target for a whole session, as the program drives one: a logon, then the input's
// batches (separated by lines of "go") as language commands through the session, with every
// statement of the emulator: procedures (sp_TVR is created and run as the program installs
// it), dump and load of databases and logs, online database, the Backup Server's start and
// faults. A batch that begins with a line "#tds N" is sent as it is, as a message of packet
// type N (15 requests: RPC, dynamic statements, parameters; 7 bulk rows and text values), so
// the requests other clients than the program send are reached too. Each input starts from a
// server just started. Device paths stay in the fuzzer's own
// folder, which it makes the root of the file system before anything runs (so it runs as root
// only, and libFuzzer sees that folder as "/"). LeakSanitizer needs /proc, which is outside:
//   mkdir -p /tmp/f/corpus /tmp/f/crashes && cp sim/fuzz/session-corpus/* /tmp/f/corpus
//   ASEEMU_FUZZ_ROOT=/tmp/f ASAN_OPTIONS=detect_leaks=0 \
//     build-fuzz/bin/aseemu_fuzz_session -artifact_prefix=/crashes/ /corpus
#include "sim/fuzz/FreshServer.h"
#include "sim/procs/BackupCommands.h"
#include "sim/protocol/Session.h"
#include "sim/statements/StatementHandlers.h"
#include "tests/support/RawTds.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace tvr::sim;
namespace tds = tvr::testing;

fuzz::FreshServer& fresh() {
    static fuzz::FreshServer server([] {
        ServerOptions options;
        options.name = "FUZZS";
        options.databases = {"sales", "sales_copy"};
        options.logins = {{"sa", ""}};
        return options;
    }());
    return server;
}

// No input may write a dump outside the fuzzer's folder.
void enterJail() {
    static const bool jailed = fresh().jail();
    if (jailed) return;
    std::fprintf(stderr,
                 "aseemu_fuzz_session runs as root only: it confines dump files with chroot\n");
    std::exit(1);
}

std::vector<std::string> batchesOf(const std::string& input) {
    std::vector<std::string> batches;
    std::size_t start = 0;
    while (start <= input.size()) {
        std::size_t go = input.find("\ngo\n", start);
        if (go == std::string::npos) go = input.size();
        batches.push_back(input.substr(start, go - start));
        start = go + 4;
    }
    return batches;
}

// A TDS 5.0 language command, or the raw message a "#tds N" line announces.
std::vector<std::uint8_t> request(const std::string& text) {
    static const std::string kRaw = "#tds ";
    if (text.compare(0, kRaw.size(), kRaw) == 0) {
        const std::size_t eol = text.find('\n');
        const int type = std::atoi(text.c_str() + kRaw.size()) & 0xFF;
        const std::string body = eol == std::string::npos ? "" : text.substr(eol + 1);
        return tds::message(static_cast<std::uint8_t>(type),
                            std::vector<std::uint8_t>(body.begin(), body.end()));
    }
    std::vector<std::uint8_t> body = {0x21};
    const std::uint32_t length = static_cast<std::uint32_t>(text.size() + 1);
    for (int shift = 0; shift < 32; shift += 8) body.push_back((length >> shift) & 0xFF);
    body.push_back(0);  // no parameters
    body.insert(body.end(), text.begin(), text.end());
    return tds::message(PacketNormal, body);
}

void writeAll(int socket, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(socket, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// Reads until the packet that ends a message and tells whether that packet has come.
class AnswerReader {
public:
    explicit AnswerReader(int socket) : socket_(socket) {}
    enum class Read { Ended, Silent, Closed };
    Read until(std::chrono::milliseconds silence) {
        const auto deadline = std::chrono::steady_clock::now() + silence;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd ready{socket_, POLLIN, 0};
            if (::poll(&ready, 1, 20) == 0) continue;
            std::uint8_t chunk[65536];
            const ssize_t n = ::recv(socket_, chunk, sizeof chunk, 0);
            if (n <= 0) return Read::Closed;
            pending_.insert(pending_.end(), chunk, chunk + n);
            if (takePackets()) return Read::Ended;
        }
        return Read::Silent;
    }

private:
    bool takePackets() {
        bool ended = false;
        while (pending_.size() >= 8) {
            const std::size_t length = std::size_t{pending_[2]} << 8 | pending_[3];
            if (pending_.size() < std::max<std::size_t>(length, 8)) break;
            ended = ended || (pending_[1] & 1) != 0;
            pending_.erase(
                pending_.begin(),
                pending_.begin() + static_cast<std::ptrdiff_t>(std::max<std::size_t>(length, 8)));
        }
        return ended;
    }
    int socket_;
    std::vector<std::uint8_t> pending_;
};

// Sends one request and reads its answer. A request still running after a while gets an
// attention, as an impatient client sends it; what the server still sends after that is
// read too, so that the next request finds the session idle. False: the server has gone.
bool awaitAnswer(int socket, const std::vector<std::uint8_t>& bytes) {
    using std::chrono::milliseconds;
    writeAll(socket, bytes);
    AnswerReader reader(socket);
    AnswerReader::Read read = reader.until(milliseconds(200));
    if (read != AnswerReader::Read::Silent) return read != AnswerReader::Read::Closed;
    writeAll(socket, tds::packet(PacketCancel, 1, {}));
    read = reader.until(milliseconds(1000));
    while (read == AnswerReader::Read::Ended) read = reader.until(milliseconds(50));
    return read != AnswerReader::Read::Closed;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    enterJail();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::unique_ptr<ServerState> state = fresh().reset();
    ExtensionOptions extensions;
    BackupServices backup(*state, extensions);
    CommandSet commands = makeStandardCommands();
    addBackupCommands(commands, backup);
    CommandTrace trace("");
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) != 0) return 0;
    std::thread serving([&] {
        Session session(*state, commands, trace, sockets[1], 1);
        session.run();
        ::shutdown(sockets[1], SHUT_RDWR);
    });
    // The client's side, as FreeTDS drives a session: one request at a time, each after the
    // answer to the one before (a request sent while a command runs ends the session).
    bool open =
        awaitAnswer(sockets[0], tds::packet(PacketLogin, 1, tds::loginRecord("sa", "", "512")));
    for (const std::string& batch :
         batchesOf(std::string(reinterpret_cast<const char*>(data), size))) {
        if (!open) break;
        open = awaitAnswer(sockets[0], request(batch));
    }
    if (open) awaitAnswer(sockets[0], tds::message(PacketNormal, {0x71, 0}));  // logout
    ::shutdown(sockets[0], SHUT_RDWR);
    serving.join();
    ::close(sockets[0]);
    ::close(sockets[1]);
    return 0;
}
