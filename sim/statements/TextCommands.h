#pragma once
// writetext and readtext, by the text pointers of statements/TextPointers:
//   writetext [bulk] TABLE.COLUMN POINTER [readpast] [timestamp = STAMP] [with log] [VALUE]
//   readtext TABLE.COLUMN POINTER OFFSET SIZE [holdlock]
// The bulk form (what the client's send-data calls send) takes the value from the bulk packet
// that follows: its 4-byte length, then the bytes. A writetext is an update of the row that
// holds the pointer's value, logged as any update is, so that a transaction dump carries it.
#include "sim/statements/StatementHandlers.h"

namespace tvr::sim {

void addTextCommands(CommandSet& commands);

}  // namespace tvr::sim
