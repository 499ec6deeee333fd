#include "sim/protocol/Packets.h"

#include "sim/protocol/Wire.h"

#include <algorithm>
#include <string>

namespace tvr::sim {

PacketHeader parsePacketHeader(const std::uint8_t* header) {
    PacketHeader result;
    result.type = header[0];
    result.status = header[1];
    result.length = static_cast<std::uint16_t>((header[2] << 8) | header[3]);
    if (result.length < PacketHeaderSize)
        throw ProtocolError("packet length " + std::to_string(result.length) +
                            " shorter than its header");
    return result;
}

bool MessageAssembler::add(const PacketHeader& header, const std::uint8_t* body,
                           std::size_t bodySize) {
    if (!started_) {
        current_ = ClientMessage{header.type, {}};
        started_ = true;
    } else if (header.type != current_.type) {
        throw ProtocolError("packet of type " + std::to_string(header.type) +
                            " inside a message of type " + std::to_string(current_.type));
    }
    if (current_.body.size() + bodySize > maxMessageSize_)
        throw ProtocolError("message longer than " + std::to_string(maxMessageSize_) + " bytes");
    current_.body.insert(current_.body.end(), body, body + bodySize);
    return (header.status & PacketStatusLast) != 0;
}

ClientMessage MessageAssembler::take() {
    started_ = false;
    return std::move(current_);
}

void appendPackets(std::vector<std::uint8_t>& out, const std::uint8_t* payload, std::size_t size,
                   std::size_t packetSize, bool last, std::uint8_t type) {
    const std::size_t room = packetSize - PacketHeaderSize;
    std::size_t offset = 0;
    do {
        std::size_t chunk = std::min(room, size - offset);
        bool final = last && offset + chunk == size;
        auto length = static_cast<std::uint16_t>(chunk + PacketHeaderSize);
        out.push_back(type);
        out.push_back(final ? PacketStatusLast : 0);
        out.push_back(static_cast<std::uint8_t>(length >> 8));
        out.push_back(static_cast<std::uint8_t>(length & 0xff));
        out.insert(out.end(), {0, 0, 0, 0});
        out.insert(out.end(), payload + offset, payload + offset + chunk);
        offset += chunk;
    } while (offset < size);
}

}  // namespace tvr::sim
