#include "sim/protocol/LoginRecord.h"

#include "sim/protocol/Wire.h"

#include <cstdlib>

namespace tvr::sim {
namespace {

constexpr std::size_t FixedRecordSize = 568;
constexpr std::uint8_t CapabilityToken = 0xE2;

// A name field: `width` bytes of text, then one byte telling how many of them are used.
std::string nameField(WireReader& in, std::size_t width) {
    const std::uint8_t* text = in.take(width);
    std::size_t used = in.byte();
    if (used > width)
        throw ProtocolError("login field claims " + std::to_string(used) + " of " +
                            std::to_string(width) + " bytes");
    return std::string(reinterpret_cast<const char*>(text), used);
}

}  // namespace

LoginRecord parseLoginRecord(const std::vector<std::uint8_t>& body) {
    if (body.size() < FixedRecordSize)
        throw ProtocolError("login record of " + std::to_string(body.size()) + " bytes, " +
                            std::to_string(FixedRecordSize) + " expected");
    WireReader in(body);
    LoginRecord login;
    login.hostName = nameField(in, 30);
    login.userName = nameField(in, 30);
    login.password = nameField(in, 30);
    login.hostProcess = nameField(in, 30);
    login.int2Order = in.byte();
    login.int4Order = in.byte();
    in.skip(4);              // character, float and date formats, "use db" flag
    in.skip(1 + 2 + 4 + 3);  // bulk copy flag, spare, spare int, spare
    login.applicationName = nameField(in, 30);
    login.serverName = nameField(in, 30);
    // Remote passwords: a leading byte, the password of the server itself, its length + 2.
    in.skip(256);
    login.protocolMajor = in.byte();
    login.protocolMinor = in.byte();
    in.skip(2);
    login.libraryName = nameField(in, 10);
    in.skip(4 + 3);  // library version, short-value formats
    login.language = nameField(in, 30);
    in.skip(1 + 2 + 1 + 10);  // language flag, old security, security flags, spare
    login.charset = nameField(in, 30);
    in.skip(1);  // charset flag
    std::string packetSize = nameField(in, 6);
    in.skip(4);
    char* end = nullptr;
    long size = std::strtol(packetSize.c_str(), &end, 10);
    if (!packetSize.empty() && end != nullptr && *end == '\0' && size > 0 && size <= 1'000'000)
        login.requestedPacketSize = static_cast<int>(size);
    if (!in.atEnd()) {
        if (in.byte() != CapabilityToken)
            throw ProtocolError("login record followed by something other than capabilities");
        std::size_t length = in.uint16();
        const std::uint8_t* data = in.take(length);
        login.capabilities.assign(data, data + length);
    }
    return login;
}

}  // namespace tvr::sim
