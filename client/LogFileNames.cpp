#include "client/LogFileNames.h"

#include <mutex>

namespace tvr::client {
namespace {
std::mutex namesMutex;
std::string logName;
std::string errorLogName;
}  // namespace

std::string LogFileName() {
    std::lock_guard lock(namesMutex);
    return logName;
}

std::string ErrorLogFileName() {
    std::lock_guard lock(namesMutex);
    return errorLogName;
}

void setLogFileNames(std::string logFile, std::string errorLogFile) {
    std::lock_guard lock(namesMutex);
    logName = std::move(logFile);
    errorLogName = std::move(errorLogFile);
}

}  // namespace tvr::client
