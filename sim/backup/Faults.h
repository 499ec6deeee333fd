#pragma once
// Faults a test arms while the emulator runs: the next dump or load drops its connection part
// way or fails with a chosen error number; the next command stalls for some seconds. Each fault
// fires once. Armed from the command line (--fault) or by the statement "emulator fault ...".
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tvr::sim {

struct BackupFault {
    // Interrupt: a load stops after it has begun to change its database.
    enum class Kind { None, Drop, Fail, Interrupt } kind = Kind::None;
    int errorNumber = 0;
};

class FaultPlan {
public:
    // Accepts "disconnect" (or "drop"), "error N" (or "error:N"), "stall N" (or "stall:N"),
    // "interrupt", "damage DB" (or "damage:DB") and "clear". In a statement "drop" would begin
    // a new statement, hence "disconnect". Returns false with a reason in why when the text is
    // none of these.
    bool arm(const std::string& description, std::string& why);

    // The databases "damage DB" named since the last call: the caller marks them suspect.
    std::vector<std::string> takeDamaged();

    // The fault for the next dump or load, disarmed; an interrupt waits for a load.
    BackupFault takeBackupFault(bool load);
    int takeStallSeconds();
    bool stallArmed();

private:
    std::mutex mutex_;
    BackupFault backup_;
    int stallSeconds_ = 0;
    std::vector<std::string> damaged_;
};

}  // namespace tvr::sim
