#pragma once
// The parameters of a TDS 5.0 procedure call (the DBRPC token, then a parameter format token
// and a parameters token): each one's name, whether the caller wants it back, and its value as
// a Transact-SQL literal, so that the call runs as the `exec` statement it stands for.
#include <optional>
#include <string>
#include <vector>

#include "sim/protocol/Wire.h"

namespace tvr::sim {

struct RpcParameter {
    std::string name;                    // as sent, with its @; empty for a positional one
    bool output = false;                 // the caller asks for its value back
    std::optional<std::string> literal;  // nothing: NULL
    std::string type;                    // the type to declare it with: int, varchar, ...
    int length = -1;                     // of varchar and varbinary
};

// Reads the parameter format (0xEC, or 0x20 with 4-byte lengths and statuses) and the
// parameters token (0xD7) that follow a DBRPC token. Throws ProtocolError for truncated input;
// `unsupported` names a data type this emulator does not take as a parameter.
std::vector<RpcParameter> readRpcParameters(WireReader& in, std::string& unsupported);

// `exec NAME @a = literal, @b = literal output, ...`.
std::string rpcAsExecute(const std::string& procedure, const std::vector<RpcParameter>& parameters);

}  // namespace tvr::sim
