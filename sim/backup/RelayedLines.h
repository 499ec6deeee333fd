#pragma once
// The Backup Server's own lines ("Backup Server: 4.41.1.1: ...") as its data server relays them
// to the client, and the data server's informational messages around a dump or load.
#include <cstdio>
#include <string>

#include "sim/backup/ServerErrors.h"

namespace tvr::sim {

// A Backup Server message reaches the client relayed by the data server with the number
// major * 100000 + minor * 100 + severity, the Backup Server's own severity (1 for progress, 2
// and up for errors) and state, the name of the Backup Server routine that raised it, and line 0.
constexpr int kRelayedMajorFactor = 100000;

inline ServerError bsLine(int major, int minor, int severity, int state, const std::string& text,
                          const char* routine = "") {
    char code[48];
    std::snprintf(code, sizeof code, "Backup Server: %d.%d.%d.%d: ", major, minor, severity, state);
    ServerError message = messages::systemMessage(
        major * kRelayedMajorFactor + minor * 100 + severity, severity, state, code + text);
    message.procedure = routine;
    message.line = 0;
    return message;
}

inline ServerError serverInfo(const std::string& text) {
    return messages::systemMessage(0, 10, 1, text);
}

}  // namespace tvr::sim
