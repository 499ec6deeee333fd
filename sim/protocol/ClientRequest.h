#pragma once
// What a client asks for in one TDS 5.0 message (packet type 15) after its login.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/protocol/RpcParameters.h"

namespace tvr::sim {

struct ClientRequest {
    enum class Kind {
        Language,  // a batch of SQL text
        Logout,
        Option,       // an option command: a query gets the option's value (off), others a done
        Rpc,          // a procedure call by name, with its parameters
        Unsupported,  // a well-formed request aseemu does not carry out (RPC, dynamic SQL, ...)
    };
    Kind kind = Kind::Unsupported;
    std::string text;                // the batch of a language request
    bool hasParameters = false;      // a language request announcing parameters
    std::uint8_t token = 0;          // the leading token byte
    std::uint8_t optionCommand = 0;  // an option command's command: 1 set, 2 default, 3 list
    std::uint8_t option = 0;         // and the option it is about
    std::string procedure;           // the procedure an RPC calls
    std::vector<RpcParameter> parameters;
    std::string unsupported;  // what of a well-formed request aseemu does not carry out
};

// Throws ProtocolError on an empty or truncated message.
ClientRequest parseClientRequest(const std::vector<std::uint8_t>& body);

}  // namespace tvr::sim
