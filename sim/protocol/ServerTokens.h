#pragma once
// The TDS 5.0 tokens the server sends. Each function appends one whole token to `out`.
#include "sim/protocol/Wire.h"
#include "sim/statements/Values.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tvr::sim {

enum ServerToken : std::uint8_t {
    TokenReturnStatus = 0x79,
    TokenLoginAck = 0xAD,
    TokenRow = 0xD1,
    TokenParameters = 0xD7,
    TokenParameterFormat = 0xEC,
    TokenCapability = 0xE2,
    TokenEnvChange = 0xE3,
    TokenExtendedError = 0xE5,
    TokenRowFormat = 0xEE,
    TokenDone = 0xFD,
    TokenDoneProc = 0xFE,
    TokenDoneInProc = 0xFF,
};

enum DoneStatus : std::uint16_t {
    DoneFinal = 0x00,
    DoneMore = 0x01,
    DoneError = 0x02,
    DoneInTransaction = 0x04,
    DoneProcedure = 0x08,
    DoneCount = 0x10,
    DoneAttention = 0x20,
};

enum EnvChangeType : std::uint8_t {
    EnvDatabase = 1,
    EnvLanguage = 2,
    EnvCharset = 3,
    EnvPacketSize = 4,
};

enum LoginStatus : std::uint8_t { LoginSucceeded = 5, LoginFailed = 6 };

// A message as the client's server message callback receives it.
struct ServerMessage {
    std::int32_t number = 0;
    std::uint8_t state = 1;
    std::uint8_t severity = 10;
    std::string text;
    std::string procedure;
    int line = 1;
    std::string server;  // empty: the server the client is connected to
};

void writeLoginAck(WireWriter& out, LoginStatus status);
void writeCapabilities(WireWriter& out, const std::vector<std::uint8_t>& capabilities);
void writeEnvChange(WireWriter& out, EnvChangeType type, const std::string& newValue,
                    const std::string& oldValue);
void writeMessage(WireWriter& out, const ServerMessage& message, const std::string& serverName);
// The length a text column is described with: the server's default textsize, the most of a
// text value a select returns. Clients size their display of the column by it (fisql cannot
// allocate a line for a 2 GB column).
inline constexpr std::int32_t TextMaxLength = 32768;

// The table names (TABNAME) and column sources (COLINFO) of a result for browse.
void writeBrowseInformation(WireWriter& out, const BrowseInformation& information);

void writeRowFormat(WireWriter& out, const std::vector<Column>& columns,
                    ServerToken token = TokenRowFormat);
// Bytes of the row format's body; above 65535 it cannot be sent.
std::size_t rowFormatSize(const std::vector<Column>& columns);
void writeRow(WireWriter& out, const std::vector<Column>& columns, const Row& row,
              ServerToken token = TokenRow);
// The output parameters of a procedure call: their format (as a row format, under its own
// token) and their values (as a row).
void writeParameters(WireWriter& out, const std::vector<Column>& parameters, const Row& values);
void writeReturnStatus(WireWriter& out, std::int32_t status);
// The acknowledgement of a dynamic statement's prepare or deallocate (DYNAMIC, type 0x20).
void writeDynamicAck(WireWriter& out, const std::string& id);
void writeDone(WireWriter& out, ServerToken token, std::uint16_t status, std::int32_t count);

// The text a value is shown as: integers and floats as numbers, datetimes in the canonical
// "YYYY-MM-DD HH:MM:SS.mmm" form, NULL as the empty text.
std::string valueText(const Value& value);

}  // namespace tvr::sim
