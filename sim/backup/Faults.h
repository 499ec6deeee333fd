#pragma once
// Faults a test arms while the emulator runs: the next dump or load drops its connection part
// way or fails with a chosen error number; the next command stalls for some seconds. Each fault
// fires once. Armed from the command line (--fault) or by the statement "emulator fault ...".
#include <mutex>
#include <optional>
#include <string>

namespace tvr::sim {

struct BackupFault {
    enum class Kind { None, Drop, Fail } kind = Kind::None;
    int errorNumber = 0;
};

class FaultPlan {
public:
    // Accepts "disconnect" (or "drop"), "error N" (or "error:N"), "stall N" (or "stall:N") and
    // "clear". In a statement "drop" would begin a new statement, hence "disconnect".
    // Returns false with a reason in why when the text is none of these.
    bool arm(const std::string& description, std::string& why);

    BackupFault takeBackupFault();
    int takeStallSeconds();
    bool stallArmed();

private:
    std::mutex mutex_;
    BackupFault backup_;
    int stallSeconds_ = 0;
};

}  // namespace tvr::sim
