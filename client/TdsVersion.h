#pragma once
// Which protocol the program asks FreeTDS for. The servers speak TDS 5.0, and FreeTDS left
// to itself ("auto", the Debian default) first tries the protocols of other servers. So the
// program asks for 5.0 itself, unless the user chose a version: TDSVER, or "tds version" in
// the freetds.conf that FreeTDS reads for the server (its section or [global]).
#include <string>
#include <vector>

namespace tvr::client {

// The freetds.conf files in the order in which FreeTDS tries them: $FREETDSCONF,
// $FREETDS/etc/freetds.conf, ~/.freetds.conf, /etc/freetds/freetds.conf.
std::vector<std::string> freeTdsConfigFiles();

// The "tds version" that `files` give for `serverName`, read as FreeTDS reads them: each
// file's [global] section, then the server's own section, stopping at the first file that
// has one. Empty when none of them sets it.
std::string configuredTdsVersion(const std::string& serverName,
                                 const std::vector<std::string>& files);

// True when the user chose a protocol version for `serverName` (TDSVER set, or a configured
// version other than "auto").
bool userConfiguredTdsVersion(const std::string& serverName);

}  // namespace tvr::client
