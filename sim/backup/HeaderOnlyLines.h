#pragma once
// What load database|transaction ... with headeronly answers: the lines the data server prints
// for a dump's header, each an informational message of its own.
//
// A database dump: "This is a database dump of database ID 4, name 'sales', from Dec  8 2026
// 7:10AM. ASE version: ... Backup Server version: ... Database page size is 2048.", then its
// page count and the database's fixed properties. A transaction dump: "This is a log dump of
// ..." in the same form, then where its log begins and ends and its sequence dates: "old" when
// the dump it follows in the chain was made, "new" when it was made itself, so that a client can
// see that one log dump follows the one it loaded before.
#include <string>
#include <vector>

#include "sim/backup/DumpFile.h"

namespace tvr::sim {

std::vector<std::string> headerOnlyLines(const DumpHeader& header);

}  // namespace tvr::sim
