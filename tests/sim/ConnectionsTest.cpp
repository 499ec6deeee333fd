// Connections side by side, a cancel during a long command, a restart on the same data folder,
// the command trace, and what happens to malformed input on a raw socket.
#include "tests/support/CtClient.h"
#include "tests/support/Emulator.h"
#include "tests/support/RawTds.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <future>
#include <random>
#include <thread>

using tvr::testing::CtBatch;
using tvr::testing::CtClient;
using tvr::testing::Emulator;
using tvr::testing::loginRecord;
using tvr::testing::packet;

namespace {

// A plain TCP connection to the emulator for sending bytes no client library would send.
class RawConnection {
public:
    explicit RawConnection(int port) {
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawConnection() { ::close(socket_); }

    bool connected() const { return connected_; }
    bool send(const std::vector<std::uint8_t>& bytes) {
        return ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // Reads one whole reply (packets up to the one marked last); empty when the connection
    // closed or nothing came within the timeout.
    std::vector<std::uint8_t> reply(int timeoutMs = 30000) {
        largestPacket = 0;
        std::vector<std::uint8_t> body;
        for (;;) {
            std::uint8_t header[8];
            if (!readExact(header, 8, timeoutMs)) return {};
            std::size_t length = static_cast<std::size_t>((header[2] << 8) | header[3]);
            largestPacket = std::max(largestPacket, length);
            std::vector<std::uint8_t> part(length - 8);
            if (!part.empty() && !readExact(part.data(), part.size(), timeoutMs)) return {};
            body.insert(body.end(), part.begin(), part.end());
            if (header[1] & 1) return body;
        }
    }
    // True when the server closed the connection within the timeout (reading whatever it sent).
    bool closedByServer(int timeoutMs = 30000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd waiting{socket_, POLLIN, 0};
            if (::poll(&waiting, 1, 100) <= 0) continue;
            char buffer[4096];
            ssize_t got = ::recv(socket_, buffer, sizeof buffer, 0);
            if (got <= 0) return true;
        }
        return false;
    }

    std::size_t largestPacket = 0;  // of the last reply

private:
    bool readExact(std::uint8_t* data, std::size_t size, int timeoutMs) {
        std::size_t done = 0;
        while (done < size) {
            pollfd waiting{socket_, POLLIN, 0};
            if (::poll(&waiting, 1, timeoutMs) <= 0) return false;
            ssize_t got = ::recv(socket_, data + done, size - done, 0);
            if (got <= 0) return false;
            done += static_cast<std::size_t>(got);
        }
        return true;
    }

    int socket_ = -1;
    bool connected_ = false;
};

void expectServing(const std::string& name) {
    CtClient client;
    ASSERT_TRUE(client.connect(name));
    EXPECT_EQ(client.execute("select 42").rowResults().at(0).rows.at(0).at(0), "42");
}

}  // namespace

TEST(Connections, ALongCommandDoesNotDelayAnotherConnectionAndCanBeCancelled) {
    Emulator server("CONC1");
    CtClient slow, quick;
    ASSERT_TRUE(slow.connect("CONC1"));
    ASSERT_TRUE(quick.connect("CONC1"));
    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(slow.send("waitfor delay '00:02:00' select 'never'"));
    // The other connection is served while the first one waits.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(quick.execute("select " + std::to_string(i)).rowResults().at(0).rows.at(0).at(0),
                  std::to_string(i));
    // The cancel is acknowledged long before the two minutes are over.
    EXPECT_TRUE(slow.cancelAll());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(90));
    // The cancelled connection goes on.
    CtBatch after = slow.execute("select 'again'");
    ASSERT_EQ(after.rowResults().size(), 1u);
    EXPECT_EQ(after.rowResults()[0].rows.at(0).at(0), "again");
}

TEST(Connections, ALongQueryIsCancelledInsideSqlite) {
    Emulator server("CONC4", {"pubs2"});
    CtClient client;
    ASSERT_TRUE(client.connect("CONC4"));
    ASSERT_FALSE(
        client
            .execute(
                "use pubs2 create table ten (d int) insert ten values (1) insert ten select d + 1 from ten "
                "insert ten select d + 2 from ten insert ten select d + 4 from ten "
                "insert ten select d + 8 from ten")
            .failed());
    auto started = std::chrono::steady_clock::now();
    // 16^9 combinations: far more than any test run lasts.
    ASSERT_TRUE(client.send(
        "select count(*) from ten a, ten b, ten c, ten d, ten e, ten f, ten g, ten h, ten i"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(client.cancelAll());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
    EXPECT_EQ(client.execute("select count(*) from ten").rowResults().at(0).rows.at(0).at(0), "16");
}

TEST(Connections, CancelAfterTheResultsWereSentIsAcknowledged) {
    Emulator server("CONC2");
    CtClient client;
    ASSERT_TRUE(client.connect("CONC2"));
    ASSERT_TRUE(client.send("select name from master..sysdatabases"));
    EXPECT_TRUE(client.cancelAll());
    EXPECT_EQ(client.execute("select 7").rowResults().at(0).rows.at(0).at(0), "7");
}

TEST(Connections, ManyClientsAtOnce) {
    Emulator server("CONC3", {"pubs2"});
    {
        CtClient setup;
        ASSERT_TRUE(setup.connect("CONC3"));
        ASSERT_FALSE(setup.execute("use pubs2 create table hits (worker int, n int)").failed());
    }
    std::vector<std::future<int>> workers;
    for (int w = 0; w < 4; ++w) {
        workers.push_back(std::async(std::launch::async, [w] {
            CtClient client;
            if (!client.connect("CONC3")) return -1;
            client.execute("use pubs2");
            for (int n = 0; n < 20; ++n)
                if (client
                        .execute("insert hits values (" + std::to_string(w) + ", " +
                                 std::to_string(n) + ")")
                        .failed())
                    return -2;
            return 0;
        }));
    }
    for (auto& worker : workers) EXPECT_EQ(worker.get(), 0);
    CtClient check;
    ASSERT_TRUE(check.connect("CONC3"));
    EXPECT_EQ(check.execute("select count(*) from pubs2..hits").rowResults().at(0).rows.at(0).at(0),
              "80");
}

TEST(Connections, RestartOnTheSameDataKeepsDatabasesAndRows) {
    Emulator server("RESTART", {"pubs2"});
    {
        CtClient client;
        ASSERT_TRUE(client.connect("RESTART"));
        ASSERT_FALSE(client
                         .execute("use pubs2 create table kept (name varchar(10), at datetime) "
                                  "insert kept values ('first', '2026-12-07 08:00:00') "
                                  "create database later")
                         .failed());
    }
    server.stop();
    server.start();
    CtClient client;
    ASSERT_TRUE(client.connect("RESTART"));
    auto rows = client.execute("select name, at from pubs2..kept").rowResults().at(0).rows;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "first");
    auto names =
        client
            .execute(
                "select name from master..sysdatabases where name in ('later', 'pubs2') order by name")
            .rowResults()
            .at(0)
            .rows;
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0][0], "later");
}

TEST(Connections, TraceRecordsEveryLanguageCommandAsSent) {
    Emulator server("TRACE1");
    CtClient client;
    ASSERT_TRUE(client.connect("TRACE1"));
    client.execute("select 1\n-- a comment\nprint 'x'");
    std::string trace = server.traceText();
    EXPECT_NE(trace.find("select 1\n-- a comment\nprint 'x'\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("-- connection "), std::string::npos);
}

// Releases of the client library send different commands of their own at logon: FreeTDS 1.3
// the first batch, 1.4 and later the second. Whatever a new connection sends before its logon
// returns is left out of ours; the same text sent afterwards, and what a connection already
// open sends meanwhile, are kept, across a restart that numbers connections from 1 again.
TEST(Connections, TraceTellsTheLibrarysLogonCommandsFromOursWhateverTheirText) {
    const std::string logonBatches[] = {
        "select @@spid ",
        "SELECT @@spid spid\nSELECT CONVERT(NVARCHAR(3), 'abc') nvc\n"
        "EXECUTE ('SELECT CONVERT(UNIVARCHAR(3), ''xyz'') uvc')\n"};
    Emulator server("TRACE2");
    std::vector<std::string> expected;
    for (const std::string& batch : logonBatches) {
        SCOPED_TRACE(batch);
        {
            CtClient open;
            ASSERT_TRUE(server.logOn([&] { return open.connect("TRACE2"); }));
            open.execute("select 1");
            CtClient client;
            ASSERT_TRUE(server.logOn([&] {
                open.execute("print 'meanwhile'");
                return client.connect("TRACE2") && !client.execute(batch).failed();
            }));
            client.execute(batch);
        }
        expected.insert(expected.end(), {"select 1", "print 'meanwhile'", batch});
        server.stop();
        server.start();
    }
    std::vector<std::string> own;
    for (const auto& command : server.ownCommands()) own.push_back(command.text);
    EXPECT_EQ(own, expected) << server.traceText();
}

TEST(Connections, MalformedInputClosesOnlyThatConnection) {
    Emulator server("ROBUST");
    CtClient bystander;
    ASSERT_TRUE(bystander.connect("ROBUST"));

    {  // A packet length shorter than the header.
        RawConnection raw(server.port());
        ASSERT_TRUE(raw.connected());
        raw.send(packet(2, 1, {}, 4));
        EXPECT_TRUE(raw.closedByServer());
    }
    {  // A login record cut short.
        RawConnection raw(server.port());
        raw.send(packet(2, 1, std::vector<std::uint8_t>(100, 'a')));
        EXPECT_TRUE(raw.closedByServer());
    }
    {  // A packet announced longer than what arrives before the client goes away.
        RawConnection raw(server.port());
        std::vector<std::uint8_t> bytes = packet(2, 0, std::vector<std::uint8_t>(10, 0), 600);
        raw.send(bytes);
    }
    {  // A message that never ends: packets without the last-packet flag past the size limit.
        RawConnection raw(server.port());
        std::vector<std::uint8_t> chunk = packet(2, 0, std::vector<std::uint8_t>(65000, 'x'));
        bool closed = false;
        for (int i = 0; i < 400 && !closed; ++i) closed = !raw.send(chunk);
        EXPECT_TRUE(closed || raw.closedByServer());
    }
    {  // A TDS 7 pre-login is refused by closing the connection.
        RawConnection raw(server.port());
        raw.send(packet(18, 1, {0, 0, 0x1a, 0, 6, 0xff}));
        EXPECT_TRUE(raw.closedByServer());
    }
    {  // Garbage where the first packet should be.
        RawConnection raw(server.port());
        raw.send(packet(0x55, 1, {1, 2, 3}));
        EXPECT_TRUE(raw.closedByServer());
    }
    expectServing("ROBUST");
    EXPECT_EQ(bystander.execute("select 'still here'").rowResults().at(0).rows.at(0).at(0),
              "still here");
}

TEST(Connections, UnsupportedRequestsAreAnsweredAndTheConnectionGoesOn) {
    Emulator server("REQUESTS");
    RawConnection raw(server.port());
    ASSERT_TRUE(raw.send(tvr::testing::message(2, loginRecord("sa", "", "512"))));
    std::vector<std::uint8_t> logon = raw.reply();
    ASSERT_FALSE(logon.empty());
    EXPECT_EQ(logon.front(), 0xAD);  // login acknowledgement first
    EXPECT_EQ(logon[3], 5);          // accepted
    EXPECT_EQ(logon.back(), 0);      // ...and a done token last (its count is 0)

    // A cursor declaration: an error message and a done token with the error bit.
    ASSERT_TRUE(raw.send(packet(15, 1, {0x86, 3, 0, 1, 0, 0})));
    std::vector<std::uint8_t> rpc = raw.reply();
    ASSERT_GE(rpc.size(), 9u);
    EXPECT_EQ(rpc.front(), 0xE5);
    EXPECT_EQ(rpc[rpc.size() - 9], 0xFD);
    EXPECT_EQ(rpc[rpc.size() - 8] & 0x02, 0x02);
    // A cancel while nothing runs is acknowledged with the attention bit, also one that
    // interrupts a command still being sent.
    for (bool midCommand : {false, true}) {
        if (midCommand) {
            ASSERT_TRUE(raw.send(packet(15, 0, {0x21, 100, 0, 0, 0, 0, 's', 'e'})));
        }
        ASSERT_TRUE(raw.send(packet(6, 1, {})));
        std::vector<std::uint8_t> attention = raw.reply();
        ASSERT_EQ(attention.size(), 9u);
        EXPECT_EQ(attention[0], 0xFD);
        EXPECT_EQ(attention[1] & 0x20, 0x20);
    }
    // A language command with a parameter of a type not taken (text) is refused, and one
    // without parameters runs.
    ASSERT_TRUE(
        raw.send(packet(15, 1, {0x21, 9,  0, 0, 0, 1, 's', 'e', 'l', 'e', 'c', 't', ' ', '1',
                                0xEC, 11, 0, 1, 0, 2, '@', 't', 0,   0,   0,   0,   0,   0x23})));
    EXPECT_EQ(raw.reply().front(), 0xE5);
    ASSERT_TRUE(
        raw.send(packet(15, 1, {0x21, 9, 0, 0, 0, 0, 's', 'e', 'l', 'e', 'c', 't', ' ', '1'})));
    std::vector<std::uint8_t> rows = raw.reply();
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front(), 0xEE);  // row format
    // Logout: a done token, then the server closes.
    ASSERT_TRUE(raw.send(packet(15, 1, {0x71, 0})));
    EXPECT_EQ(raw.reply().size(), 9u);
    EXPECT_TRUE(raw.closedByServer());
}

TEST(Connections, TheRequestedPacketSizeAppliesAfterTheLogonReply) {
    Emulator server("PACKETS");
    RawConnection raw(server.port());
    ASSERT_TRUE(raw.send(tvr::testing::message(2, loginRecord("sa", "", "4096"))));
    std::vector<std::uint8_t> logon = raw.reply();
    ASSERT_FALSE(logon.empty());
    EXPECT_LE(raw.largestPacket, 512u);
    const std::string text(logon.begin(), logon.end());
    EXPECT_NE(text.find(std::string("\x04\x04"
                                    "4096\x03"
                                    "512",
                                    10)),
              std::string::npos);

    std::string query = "select '" + std::string(3000, 'x') + "'";
    std::vector<std::uint8_t> language = {0x21};
    std::uint32_t length = static_cast<std::uint32_t>(query.size() + 1);
    for (int shift = 0; shift < 32; shift += 8)
        language.push_back(static_cast<std::uint8_t>(length >> shift));
    language.push_back(0);
    language.insert(language.end(), query.begin(), query.end());
    ASSERT_TRUE(raw.send(tvr::testing::message(15, language)));
    std::vector<std::uint8_t> rows = raw.reply();
    ASSERT_GT(rows.size(), 3000u);
    EXPECT_GT(raw.largestPacket, 512u);
    EXPECT_LE(raw.largestPacket, 4096u);
}

TEST(Connections, RandomBytesAfterALogonNeverStopTheServer) {
    Emulator server("NOISE");
    std::mt19937 random(20261207);
    auto byte = [&] { return static_cast<std::uint8_t>(random() & 0xff); };
    for (int round = 0; round < 40; ++round) {
        RawConnection raw(server.port());
        ASSERT_TRUE(raw.send(tvr::testing::message(2, loginRecord("sa", "", "512"))));
        ASSERT_FALSE(raw.reply().empty()) << "round " << round;
        for (int n = 0; n < 5; ++n) {
            std::vector<std::uint8_t> body(random() % 300);
            for (auto& b : body) b = byte();
            static const std::uint8_t types[] = {1, 3, 6, 7, 15, 15, 15, 16, 18, 0x55};
            std::uint8_t type = types[random() % std::size(types)];
            // Mostly well-formed headers around damaged token streams, sometimes a lying length.
            int declared = random() % 4 == 0 ? static_cast<int>(random() % 70000) : -1;
            if (type == 15 && !body.empty())
                body[0] = std::array<std::uint8_t, 5>{0x21, 0x71, 0xA6, 0xE6, 0x21}[random() % 5];
            if (!raw.send(packet(type, random() % 3 == 0 ? 0 : 1, body, declared))) break;
        }
    }
    expectServing("NOISE");
}

TEST(Connections, KilledServerLeavesClientsWithAnErrorNotAHang) {
    Emulator server("KILLED");
    CtClient client;
    ASSERT_TRUE(client.connect("KILLED"));
    server.signal(SIGKILL);
    CtBatch batch = client.execute("select 1");
    EXPECT_TRUE(batch.rowResults().empty());
    EXPECT_NE(batch.lastResultsCode, CS_END_RESULTS);
}

TEST(Connections, ASlowLogonAndAnIdleSessionAreClosedAtTheirLimits) {
    tvr::testing::EmulatorOptions options;
    options.name = "LIMITS";
    options.extraArgs = {"--login-timeout", "2", "--idle-timeout", "3"};
    Emulator server(options);
    // Each byte arrives before a receive would time out, but the logon never completes.
    RawConnection trickle(server.port());
    ASSERT_TRUE(trickle.connected());
    const auto started = std::chrono::steady_clock::now();
    bool closed = false;
    while (!closed && std::chrono::steady_clock::now() - started < std::chrono::seconds(40))
        closed = !trickle.send({0x02}) || trickle.closedByServer(500);
    EXPECT_TRUE(closed);

    CtClient idle;
    ASSERT_TRUE(idle.connect("LIMITS"));
    std::this_thread::sleep_for(std::chrono::seconds(5));
    EXPECT_TRUE(idle.execute("select 1").rowResults().empty());
    expectServing("LIMITS");
}
