#pragma once
// The two servers a shipping benchmark runs against: a main emulator with the database sales
// and a reserve with sales_copy, both logged on the way the window's logons do it (the
// activity and error logs in `dir`), sp_TVR installed on both and a table of orders on the
// main. aseemu is taken from beside the benchmark unless TVR_BIN_DIR names its folder.
#include "client/RunQuery.h"
#include "client/Sybase.h"
#include "engine/ProcedureScript.h"
#include "tests/support/Emulator.h"
#include "tests/support/RunState.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace tvr::bench {

inline void findEmulatorBesideThisProgram() {
    if (std::getenv("TVR_BIN_DIR")) return;
    const auto self = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    ::setenv("TVR_BIN_DIR", self.c_str(), 1);
}

inline std::unique_ptr<tvr::client::TSybaseConnect> logOn(const std::string& server,
                                                          const std::filesystem::path& dir) {
    auto connection = std::make_unique<tvr::client::TSybaseConnect>(
        server, "sa", "", (dir / "activity.log").string(), (dir / "errors.log").string());
    if (connection->Connect() != CS_SUCCEED) {
        std::fprintf(stderr, "cannot log on to %s\n", server.c_str());
        std::exit(1);
    }
    return connection;
}

// Logs `window`'s two sessions on to `main` and `reserve`, installs sp_TVR on both and
// leaves the main session in sales with a table of `rows` orders.
inline void logOnForShipping(tvr::testing::RunState& window, const tvr::testing::Emulator& main,
                             const tvr::testing::Emulator& reserve,
                             const std::filesystem::path& dir, int rows) {
    window.connections.MainConnection = logOn(main.name(), dir);
    window.connections.ReserveConnection = logOn(reserve.name(), dir);
    window.connections.MainConnected = true;
    window.connections.ReserveConnected = true;
    for (auto* connection :
         {window.connections.MainConnection.get(), window.connections.ReserveConnection.get()})
        tvr::client::TRunQuery(*connection)
            .RunInstallScript(std::string(tvr::engine::SpTvrInstallScript));
    auto& mainConnection = *window.connections.MainConnection;
    mainConnection.Execute("use sales");
    mainConnection.Execute("create table orders (id int, item varchar(30))");
    for (int i = 1; i <= rows; ++i)
        mainConnection.Execute("insert into orders values (" + std::to_string(i) + ", 'row')");
}

}  // namespace tvr::bench
