#pragma once
// TDS packets: the eight-byte header, the assembly of a client's packets into one message,
// and the cutting of a reply into packets of the negotiated size.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tvr::sim {

enum PacketType : std::uint8_t {
    PacketQuery = 1,  // TDS 4.2 language command
    PacketLogin = 2,  // TDS 4.2 / 5.0 login record
    PacketRpc = 3,
    PacketReply = 4,
    PacketCancel = 6,  // attention
    PacketBulk = 7,
    PacketNormal = 15,    // TDS 5.0 token stream
    PacketLogin7 = 16,    // TDS 7 login: refused
    PacketPrelogin = 18,  // TDS 7.1+ pre-login: refused
};

constexpr std::size_t PacketHeaderSize = 8;
constexpr std::uint8_t PacketStatusLast = 0x01;

struct PacketHeader {
    std::uint8_t type = 0;
    std::uint8_t status = 0;
    std::uint16_t length = 0;  // header included, big-endian on the wire
};

// Throws ProtocolError when the length cannot hold the header itself.
PacketHeader parsePacketHeader(const std::uint8_t* header);

// One client message: the bodies of its packets, joined.
struct ClientMessage {
    std::uint8_t type = 0;
    std::vector<std::uint8_t> body;
};

// Collects packets into a message. A message of mixed packet types or longer than the limit
// is a protocol error.
class MessageAssembler {
public:
    explicit MessageAssembler(std::size_t maxMessageSize) : maxMessageSize_(maxMessageSize) {}

    // Adds one packet; true when it was the last of its message (then take() it).
    bool add(const PacketHeader& header, const std::uint8_t* body, std::size_t bodySize);
    ClientMessage take();
    // Drops a message begun but not finished.
    void reset() {
        started_ = false;
        current_ = ClientMessage{};
    }
    bool inMessage() const { return started_; }

private:
    std::size_t maxMessageSize_;
    bool started_ = false;
    ClientMessage current_;
};

// Appends `payload` to `out` cut into reply packets of at most `packetSize` bytes; the last
// one carries the end-of-message status when `last` is set.
void appendPackets(std::vector<std::uint8_t>& out, const std::uint8_t* payload, std::size_t size,
                   std::size_t packetSize, bool last, std::uint8_t type = PacketReply);

}  // namespace tvr::sim
