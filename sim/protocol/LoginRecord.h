#pragma once
// The TDS 5.0 login record a client sends first: fixed-width name fields (each 30 bytes
// followed by its used length), the byte orders the client writes in, the protocol version,
// the requested packet size, and the capability token that follows the record.
#include <cstdint>
#include <string>
#include <vector>

namespace tvr::sim {

struct LoginRecord {
    std::string hostName;
    std::string userName;
    std::string password;
    std::string hostProcess;
    std::string applicationName;
    std::string serverName;
    std::string libraryName;
    std::string language;
    std::string charset;
    std::uint8_t int2Order = 0;  // 3: least significant byte first
    std::uint8_t int4Order = 0;  // 1: least significant byte first
    std::uint8_t protocolMajor = 0;
    std::uint8_t protocolMinor = 0;
    int requestedPacketSize = 0;             // 0 when the field is empty or not a number
    std::vector<std::uint8_t> capabilities;  // body of the capability token, empty when absent

    bool littleEndian() const { return int2Order == 3 && int4Order == 1; }
    bool isTds50() const { return protocolMajor == 5 && protocolMinor == 0; }
};

// Throws ProtocolError when the body is too short or a field length is out of range.
LoginRecord parseLoginRecord(const std::vector<std::uint8_t>& body);

}  // namespace tvr::sim
