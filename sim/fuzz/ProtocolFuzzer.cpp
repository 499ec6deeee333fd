// libFuzzer target for what aseemu reads from a client: the input is a byte stream cut into
// TDS packets; complete messages go through the login record reader, the request reader and,
// for language commands, the batch splitter and the SQL translator. Malformed input may only
// ever raise the emulator's own errors.
#include "sim/protocol/ClientRequest.h"
#include "sim/protocol/LoginRecord.h"
#include "sim/protocol/Packets.h"
#include "sim/protocol/Wire.h"
#include "sim/statements/BatchSplitter.h"
#include "sim/statements/SqlTranslator.h"

#include <cstddef>
#include <cstdint>

namespace {

void readMessage(const tvr::sim::ClientMessage& message) {
    using namespace tvr::sim;
    if (message.type == PacketLogin) {
        parseLoginRecord(message.body);
        return;
    }
    if (message.type != PacketNormal) return;
    ClientRequest request = parseClientRequest(message.body);
    if (request.kind != ClientRequest::Kind::Language) return;
    static const BatchSplitter splitter;
    for (const Statement& statement : splitter.split(request.text)) {
        try {
            translateToSqlite(statement, "master",
                              [](const std::string&) { return std::optional<std::string>("1"); });
        } catch (const UnknownVariable&) {
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tvr::sim;
    MessageAssembler assembler(64 * 1024);
    std::size_t offset = 0;
    try {
        while (size - offset >= PacketHeaderSize) {
            PacketHeader header = parsePacketHeader(data + offset);
            std::size_t bodySize = header.length - PacketHeaderSize;
            if (bodySize > size - offset - PacketHeaderSize)
                break;  // a packet cut short: the session waits for the rest, then the peer is gone
            const std::uint8_t* body = data + offset + PacketHeaderSize;
            offset += header.length;
            if (assembler.add(header, body, bodySize)) readMessage(assembler.take());
        }
    } catch (const ProtocolError&) {
    } catch (const SqlLexError&) {
    }
    return 0;
}
