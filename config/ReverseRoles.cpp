#include "config/ReverseRoles.h"

#include "config/SettingsKeys.h"
#include "engine/Failover.h"
#include "engine/ShippingLedger.h"

#include <chrono>
#include <string>
#include <utility>

namespace tvr::config {

void reverseRoles(LiveSettings& live, platform::Registry& registry,
                  engine::TConnections& connections, const std::string& ledgerFile) {
    live.edit([](TDumpLoadSettings& s) {
        std::swap(s.MainServerName, s.ReservServerName);
        std::swap(s.ComboDump, s.ComboLoad);
        std::swap(s.EditPathDump, s.EditPathLoad);
        s.IsDumLoadBD = true;
    });
    // The logon names: base for the main server, base\Reserv for the reserve server.
    const std::string mainKey(kSettingsBaseKey);
    const std::string reserveKey = reserveKeyPath();
    for (const char* name : {"ServerName", "UserName"}) {
        std::string main, reserve;
        const bool hasMain = registry.readText(mainKey, name, main) == platform::RegStatus::Ok;
        const bool hasReserve =
            registry.readText(reserveKey, name, reserve) == platform::RegStatus::Ok;
        if (hasReserve) registry.writeText(mainKey, name, reserve);
        if (hasMain) registry.writeText(reserveKey, name, main);
    }
    std::swap(connections.MainConnection, connections.ReserveConnection);
    const bool mainConnected = connections.MainConnected;
    connections.MainConnected = connections.ReserveConnected.load();
    connections.ReserveConnected = mainConnected;
    std::swap(connections.MainPassword, connections.ReservePassword);
    if (connections.ReserveConnected && connections.ReserveConnection) {
        client::TSybaseConnect& standby = *connections.ReserveConnection;
        standby.Execute("use master");
        standby.Execute(engine::fenceStatement(live.read(&TDumpLoadSettings::ComboLoad), false));
    }
    if (ledgerFile.empty()) return;
    engine::TShippingLedger ledger(ledgerFile);
    ledger.Read();
    if (engine::ledgerState(ledger.Entries(), {}).promoted)
        engine::recordCleared(ledger, "the roles reversed", std::chrono::system_clock::now());
}

}  // namespace tvr::config
