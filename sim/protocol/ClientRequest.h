#pragma once
// What a client asks for in one TDS 5.0 message (packet type 15) after its login.
#include <cstdint>
#include <string>
#include <vector>

namespace tvr::sim {

struct ClientRequest {
    enum class Kind {
        Language,  // a batch of SQL text
        Logout,
        Option,       // an option command; acknowledged and otherwise ignored
        Unsupported,  // a well-formed request aseemu does not carry out (RPC, dynamic SQL, ...)
    };
    Kind kind = Kind::Unsupported;
    std::string text;            // the batch of a language request
    bool hasParameters = false;  // a language request announcing parameters
    std::uint8_t token = 0;      // the leading token byte
};

// Throws ProtocolError on an empty or truncated message.
ClientRequest parseClientRequest(const std::vector<std::uint8_t>& body);

}  // namespace tvr::sim
