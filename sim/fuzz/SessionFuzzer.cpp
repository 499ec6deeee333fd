// libFuzzer target for a whole session, as the program drives one: a logon, then the input's
// batches (separated by lines of "go") as language commands through the session, with every
// statement of the emulator: procedures (sp_TVR is created and run as the program installs
// it), dump and load of databases and logs, online database, the Backup Server's start and
// faults. Each input starts from a server just started. Device paths stay in the fuzzer's own
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

// A TDS 5.0 language command.
std::vector<std::uint8_t> language(const std::string& text) {
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
    // The client's side: a logon, the batches, a logout, written while the answers are read;
    // a batch still running after a while gets an attention, as an impatient client sends it.
    std::thread writing([&] {
        writeAll(sockets[0], tds::packet(PacketLogin, 1, tds::loginRecord("sa", "", "512")));
        for (const std::string& batch :
             batchesOf(std::string(reinterpret_cast<const char*>(data), size)))
            writeAll(sockets[0], language(batch));
        writeAll(sockets[0], tds::message(PacketNormal, {0x71, 0}));  // logout
    });
    auto lastAttention = std::chrono::steady_clock::now();
    std::vector<std::uint8_t> answer(65536);
    for (;;) {
        pollfd ready{sockets[0], POLLIN, 0};
        if (::poll(&ready, 1, 100) == 0) {
            if (std::chrono::steady_clock::now() - lastAttention > std::chrono::milliseconds(200)) {
                writeAll(sockets[0], tds::packet(PacketCancel, 1, {}));
                lastAttention = std::chrono::steady_clock::now();
            }
            continue;
        }
        if (::recv(sockets[0], answer.data(), answer.size(), 0) <= 0) break;
    }
    writing.join();
    serving.join();
    ::close(sockets[0]);
    ::close(sockets[1]);
    return 0;
}
