#pragma once
// "aseemu sandbox DIR [--port N]": writes a ready SYBASE tree for trying the program with two
// emulated servers, and prints how to start them.
//   DIR/sybase/ini/sql.ini        Windows sql.ini: a section for each server and its Backup Server
//   DIR/sybase/interfaces         the same servers in the Unix interfaces format
//   DIR/sybase/freetds.conf       the servers for FreeTDS, speaking TDS 5.0
//   DIR/main                      data of MAIN (port N, default 5000) with database sales
//   DIR/reserve                   data of RESERVE (port N+2) with the empty database sales_copy
// The Backup Servers are listed on ports N+1 and N+3; the emulator carries them out itself.
#include <string>
#include <vector>

namespace tvr::sim {

// Returns the process exit code; reports to standard output and standard error.
int runSandbox(const std::vector<std::string>& arguments, const std::string& program);

}  // namespace tvr::sim
