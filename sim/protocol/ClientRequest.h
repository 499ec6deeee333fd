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
        Dynamic,      // a dynamic statement: prepare, execute, deallocate, execute immediate
        Unsupported,  // a well-formed request aseemu does not carry out (cursors, ...)
    };
    // Of a dynamic statement request (the DYNAMIC token), as the protocol numbers them.
    enum DynamicOperation : std::uint8_t {
        DynamicPrepare = 0x01,
        DynamicExecute = 0x02,
        DynamicDeallocate = 0x04,
        DynamicExecuteImmediate = 0x08,
    };
    Kind kind = Kind::Unsupported;
    std::string text;                // the batch of a language request; a dynamic statement's SQL
    bool hasParameters = false;      // a language request announcing parameters
    std::uint8_t token = 0;          // the leading token byte
    std::uint8_t optionCommand = 0;  // an option command's command: 1 set, 2 default, 3 list
    std::uint8_t option = 0;         // and the option it is about
    std::vector<std::uint8_t> optionValue;  // and the value a set gives it
    std::string procedure;                  // the procedure an RPC calls; a dynamic statement's id
    std::uint8_t dynamicOperation = 0;
    std::vector<RpcParameter> parameters;
    std::string unsupported;  // what of a well-formed request aseemu does not carry out
};

// Throws ProtocolError on an empty or truncated message.
ClientRequest parseClientRequest(const std::vector<std::uint8_t>& body);

}  // namespace tvr::sim
