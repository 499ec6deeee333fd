#pragma once
// The two log files of this run, named once at start-up and used by the views' clearing.
// Safe to read from any thread.
#include <string>

namespace tvr::client {

std::string LogFileName();
std::string ErrorLogFileName();
void setLogFileNames(std::string logFile, std::string errorLogFile);

}  // namespace tvr::client
