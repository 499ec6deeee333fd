#include "sim/backup/Faults.h"

#include <cctype>
#include <sstream>
#include <utility>

namespace tvr::sim {
namespace {

bool parseCount(const std::string& text, int low, int high, int& out) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    out = std::stoi(text);
    return out >= low && out <= high;
}

}  // namespace

bool FaultPlan::arm(const std::string& description, std::string& why) {
    std::string text = description;
    for (char& c : text)
        if (c == ':') c = ' ';
    std::istringstream in(text);
    std::string word;
    std::string arg;  // as written: a database name keeps its case
    std::string extra;
    in >> word >> arg >> extra;
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!extra.empty()) {
        why = "too many words in fault '" + description + "'";
        return false;
    }
    std::lock_guard lock(mutex_);
    int n = 0;
    if ((word == "drop" || word == "disconnect") && arg.empty()) {
        backup_ = {BackupFault::Kind::Drop, 0};
    } else if (word == "error" && parseCount(arg, 1, 99999, n)) {
        backup_ = {BackupFault::Kind::Fail, n};
    } else if (word == "interrupt" && arg.empty()) {
        backup_ = {BackupFault::Kind::Interrupt, 0};
    } else if (word == "damage" && !arg.empty()) {
        damaged_.push_back(arg);
    } else if (word == "stall" && parseCount(arg, 1, 3600, n)) {
        stallSeconds_ = n;
    } else if (word == "clear" && arg.empty()) {
        backup_ = {};
        stallSeconds_ = 0;
    } else {
        why = "unknown fault '" + description +
              "' (expected disconnect, error N, stall N, interrupt, damage DB or clear)";
        return false;
    }
    return true;
}

std::vector<std::string> FaultPlan::takeDamaged() {
    std::lock_guard lock(mutex_);
    return std::exchange(damaged_, {});
}

BackupFault FaultPlan::takeBackupFault(bool load) {
    std::lock_guard lock(mutex_);
    if (!load && backup_.kind == BackupFault::Kind::Interrupt) return {};
    BackupFault f = backup_;
    backup_ = {};
    return f;
}

bool FaultPlan::stallArmed() {
    std::lock_guard lock(mutex_);
    return stallSeconds_ > 0;
}

int FaultPlan::takeStallSeconds() {
    std::lock_guard lock(mutex_);
    const int s = stallSeconds_;
    stallSeconds_ = 0;
    return s;
}

}  // namespace tvr::sim
