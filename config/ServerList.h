#pragma once
// The list of servers that the logon dialog offers: the section names of the Open Client
// "sql.ini" file, or the server entries of the "interfaces" file where there is no sql.ini.
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tvr::config {

// A server list file that cannot be read; what() is "Cannot open file "<path>". <reason>".
class ServerListError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The entries of an sql.ini text, in file order, duplicates kept. A line whose trimmed text
// starts with ";;" is a comment; any other line that holds a '[' anywhere gives the line, as
// written, without its first and its last character. So "[MAIN]" gives "MAIN", "[MAIN] "
// gives "MAIN]" and ";[X]" gives "[X". Lines end at CR, LF or CR LF.
std::vector<std::string> sqlIniServers(std::string_view text);

// The entries of an interfaces text: every line that starts at its first column with
// neither a blank nor '#' names a server, its first word.
std::vector<std::string> interfacesServers(std::string_view text);

// The server list below the Open Client folder `sybase` (used as given, references not
// expanded): `sybase`/ini/sql.ini, or `sybase`/interfaces when there is no sql.ini. Throws
// ServerListError naming sql.ini when neither can be read.
std::vector<std::string> readServerList(const std::string& sybase);

// `sybase`/ini/sql.ini.
std::string sqlIniPath(const std::string& sybase);

}  // namespace tvr::config
