#pragma once
// Procedures, dump and load and the Backup Server as statements of the emulated server:
//  - create procedure / drop procedure, kept per database (sp_helptext returns the text);
//  - the existence test on sysobjects that installation scripts put before a drop;
//  - calls of created procedures, run as written by the interpreter; sp_ procedures
//    in sybsystemprocs are found from every database; a missing one gives 2812;
//  - sp_helpserver, sp_configure 'xp_cmdshell context', xp_cmdshell 'net start ...', sp_helptext;
//  - dump database/transaction, load database/transaction, online database;
//  - "emulator fault drop|error N|stall N|clear", the statement only this emulator knows.
#include <memory>

#include "sim/procs/BackupServices.h"
#include "sim/statements/StatementHandlers.h"

namespace tvr::sim {

// Registers the statements and procedures above; services must outlive the command set.
void addBackupCommands(CommandSet& commands, BackupServices& services);

}  // namespace tvr::sim
