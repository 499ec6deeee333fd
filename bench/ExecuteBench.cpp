// Overhead of TSybaseConnect::Execute over a bare Client-Library loop, both running the same
// trivial query against an emulator started for the purpose. Prints both rates and the ratio.
#include "client/Sybase.h"
#include "tests/support/Emulator.h"

#include <ctpublic.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr const char* kQuery = "select name, dbid from master..sysdatabases where name = 'master'";

// The least a client does for the query: one command handle, send, read every result.
double bareLoop(const std::string& server, int count) {
    CS_CONTEXT* context = nullptr;
    CS_CONNECTION* connection = nullptr;
    CS_COMMAND* command = nullptr;
    cs_ctx_alloc(CS_VERSION_110, &context);
    ct_init(context, CS_VERSION_110);
    ct_con_alloc(context, &connection);
    ct_con_props(connection, CS_SET, CS_USERNAME, const_cast<char*>("sa"), CS_NULLTERM, nullptr);
    ct_con_props(connection, CS_SET, CS_PASSWORD, const_cast<char*>(""), CS_NULLTERM, nullptr);
    std::string name = server;
    if (ct_connect(connection, name.data(), CS_NULLTERM) != CS_SUCCEED) {
        std::fprintf(stderr, "bare loop: cannot connect\n");
        std::exit(1);
    }
    ct_cmd_alloc(connection, &command);
    char buffers[2][256];
    CS_INT lengths[2];
    CS_SMALLINT indicators[2];
    std::string query = kQuery;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        ct_command(command, CS_LANG_CMD, query.data(), CS_NULLTERM, CS_UNUSED);
        ct_send(command);
        CS_INT type = 0;
        while (ct_results(command, &type) == CS_SUCCEED) {
            if (type != CS_ROW_RESULT) continue;
            for (CS_INT item = 1; item <= 2; ++item) {
                CS_DATAFMT format{};
                ct_describe(command, item, &format);
                format.datatype = CS_CHAR_TYPE;
                format.format = CS_FMT_NULLTERM;
                format.maxlength = 256;
                format.count = 1;
                ct_bind(command, item, &format, buffers[item - 1], &lengths[item - 1],
                        &indicators[item - 1]);
            }
            CS_INT rows = 0;
            while (ct_fetch(command, CS_UNUSED, CS_UNUSED, CS_UNUSED, &rows) == CS_SUCCEED) {
            }
        }
    }
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    ct_cmd_drop(command);
    ct_close(connection, CS_UNUSED);
    ct_con_drop(connection);
    ct_exit(context, CS_UNUSED);
    cs_ctx_drop(context);
    return count / spent.count();
}

double executeLoop(const std::string& server, int count) {
    tvr::client::TSybaseConnect connection(server, "sa", "", "", "");
    if (connection.Connect() != CS_SUCCEED) {
        std::fprintf(stderr, "Execute loop: cannot connect\n");
        std::exit(1);
    }
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) connection.Execute(kQuery);
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    if (connection.ValueByName("name").Value != "master") {
        std::fprintf(stderr, "Execute loop: unexpected result\n");
        std::exit(1);
    }
    return count / spent.count();
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
    // aseemu sits beside this program unless TVR_BIN_DIR says otherwise.
    if (!std::getenv("TVR_BIN_DIR")) {
        const auto self = std::filesystem::read_symlink("/proc/self/exe").parent_path();
        ::setenv("TVR_BIN_DIR", self.c_str(), 1);
    }
    tvr::testing::Emulator server("TVRBENCH");
    // Rounds alternate the two loops, so that a busy machine or a warming server weighs on
    // both alike; the best round of each is reported.
    double bare = 0;
    double execute = 0;
    for (int round = 0; round < 5; ++round) {
        if (round % 2 == 0) {
            bare = std::max(bare, bareLoop(server.name(), count));
            execute = std::max(execute, executeLoop(server.name(), count));
        } else {
            execute = std::max(execute, executeLoop(server.name(), count));
            bare = std::max(bare, bareLoop(server.name(), count));
        }
    }
    std::printf("query: %s (%d round trips per run, best of 5 runs)\n", kQuery, count);
    std::printf("bare ct_* loop:  %8.0f queries/s\n", bare);
    std::printf("Execute:         %8.0f queries/s\n", execute);
    std::printf("time ratio Execute / bare: %.3f\n", bare / execute);
    return 0;
}
