#pragma once
// Emptying a log file, as the first setup does once the procedure is installed.
#include <string>

namespace tvr::config {

// Creates the file when missing and cuts it to length 0. A file that cannot be opened
// throws std::runtime_error "Unable open ErrorLog: <path>" followed by a line feed, 23
// blanks and "Check attribute ReadOnly"; the file is then unchanged. An empty name does
// nothing.
void clearLogFile(const std::string& path);

}  // namespace tvr::config
