// The byte-level pieces of the protocol: packets, the login record, client requests and the
// tokens as they go out.
#include "sim/protocol/ClientRequest.h"
#include "sim/protocol/LoginRecord.h"
#include "sim/protocol/Packets.h"
#include "sim/protocol/ServerTokens.h"
#include "sim/protocol/Wire.h"
#include "tests/support/RawTds.h"

#include <gtest/gtest.h>

using namespace tvr::sim;
using tvr::testing::loginRecord;

TEST(LoginRecords, FieldsAreReadFromTheirFixedPlaces) {
    std::vector<std::uint8_t> body = loginRecord("operator", "s3cret", "4096");
    LoginRecord login = parseLoginRecord(body);
    EXPECT_EQ(login.hostName, "workstation");
    EXPECT_EQ(login.userName, "operator");
    EXPECT_EQ(login.password, "s3cret");
    EXPECT_EQ(login.hostProcess, "4242");
    EXPECT_EQ(login.applicationName, "Ulmaris");
    EXPECT_EQ(login.serverName, "MAIN");
    EXPECT_EQ(login.libraryName, "CT-Library");
    EXPECT_EQ(login.language, "us_english");
    EXPECT_TRUE(login.isTds50());
    EXPECT_TRUE(login.littleEndian());
    EXPECT_EQ(login.requestedPacketSize, 4096);
    EXPECT_EQ(login.capabilities, (std::vector<std::uint8_t>{1, 1, 0xAA, 2, 0xBB, 0xCC}));
}

TEST(LoginRecords, DamagedRecordsAreProtocolErrors) {
    std::vector<std::uint8_t> body = loginRecord("sa", "", "512");
    EXPECT_THROW(parseLoginRecord(std::vector<std::uint8_t>(body.begin(), body.begin() + 567)),
                 ProtocolError);
    std::vector<std::uint8_t> badLength = body;
    badLength[30] = 31;  // host name claims more than its 30 bytes
    EXPECT_THROW(parseLoginRecord(badLength), ProtocolError);
    std::vector<std::uint8_t> badCapabilities = body;
    badCapabilities[569] = 200;  // capability token longer than what follows
    EXPECT_THROW(parseLoginRecord(badCapabilities), ProtocolError);
    std::vector<std::uint8_t> notCapabilities = body;
    notCapabilities[568] = 0x21;
    EXPECT_THROW(parseLoginRecord(notCapabilities), ProtocolError);
    std::vector<std::uint8_t> noNumber = loginRecord("sa", "", "big");
    EXPECT_EQ(parseLoginRecord(noNumber).requestedPacketSize, 0);
}

TEST(Packets, RepliesAreCutToThePacketSizeAndTheLastIsMarked) {
    std::vector<std::uint8_t> payload(1000, 0x41);
    std::vector<std::uint8_t> out;
    appendPackets(out, payload.data(), payload.size(), 512, true);
    ASSERT_EQ(out.size(), 1000u + 2 * 8);
    PacketHeader first = parsePacketHeader(out.data());
    EXPECT_EQ(first.type, PacketReply);
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.length, 512);
    PacketHeader second = parsePacketHeader(out.data() + 512);
    EXPECT_EQ(second.status, PacketStatusLast);
    EXPECT_EQ(second.length, 1000 - 504 + 8);
}

TEST(Packets, AssemblyJoinsBodiesAndRefusesMixedOrOversizedMessages) {
    MessageAssembler assembler(10);
    const std::uint8_t part[] = {1, 2, 3, 4};
    EXPECT_FALSE(assembler.add({PacketNormal, 0, 12}, part, 4));
    EXPECT_TRUE(assembler.add({PacketNormal, PacketStatusLast, 12}, part, 4));
    ClientMessage message = assembler.take();
    EXPECT_EQ(message.type, PacketNormal);
    EXPECT_EQ(message.body.size(), 8u);

    EXPECT_FALSE(assembler.add({PacketNormal, 0, 12}, part, 4));
    EXPECT_THROW(assembler.add({PacketLogin, PacketStatusLast, 12}, part, 4), ProtocolError);

    MessageAssembler small(6);
    EXPECT_FALSE(small.add({PacketNormal, 0, 12}, part, 4));
    EXPECT_THROW(small.add({PacketNormal, 0, 12}, part, 4), ProtocolError);

    const std::uint8_t shortHeader[] = {PacketNormal, 1, 0, 7, 0, 0, 0, 0};
    EXPECT_THROW(parsePacketHeader(shortHeader), ProtocolError);
}

TEST(ClientRequests, LanguageLogoutAndTheRest) {
    std::vector<std::uint8_t> language = {0x21, 9,   0,   0,   0,   0,   's',
                                          'e',  'l', 'e', 'c', 't', ' ', '1'};
    ClientRequest request = parseClientRequest(language);
    EXPECT_EQ(request.kind, ClientRequest::Kind::Language);
    EXPECT_EQ(request.text, "select 1");
    EXPECT_FALSE(request.hasParameters);

    std::vector<std::uint8_t> overlong = {0x21, 50, 0, 0, 0, 0, 'x'};
    EXPECT_THROW(parseClientRequest(overlong), ProtocolError);
    EXPECT_THROW(parseClientRequest({}), ProtocolError);
    EXPECT_EQ(parseClientRequest({0x71, 0}).kind, ClientRequest::Kind::Logout);
    EXPECT_EQ(parseClientRequest({0xA6, 1, 0, 9}).kind, ClientRequest::Kind::Option);
    EXPECT_EQ(parseClientRequest({0x86, 0, 0}).kind, ClientRequest::Kind::Unsupported);
    // A dynamic prepare: its id and its statement.
    const ClientRequest prepare =
        parseClientRequest({0xE7, 9, 0, 1, 0, 1, 'd', 3, 0, 's', 'e', 'l'});
    EXPECT_EQ(prepare.kind, ClientRequest::Kind::Dynamic);
    EXPECT_EQ(prepare.procedure, "d");
    EXPECT_EQ(prepare.text, "sel");
    EXPECT_THROW(parseClientRequest({0xE7, 0, 0}), ProtocolError);
    EXPECT_THROW(parseClientRequest({0xE6, 0, 0}), ProtocolError);  // a call without a name
}

TEST(ClientRequests, ProcedureCallsBecomeTheExecTheyStandFor) {
    // DBRPC "p" with parameters: @a int 5, @b varchar output 'x''y', @c numeric(5,2) -1.25,
    // @d money 620.8.
    const std::vector<std::uint8_t> call = {
        0xE6, 4,   0,    1,   'p', 2,    0,    0xEC, 48,   0,  4, 0,  // parameter format, 4 of them
        2,    '@', 'a',  0,   0,   0,    0,    0,    0x26, 4,  0,     // intn(4)
        2,    '@', 'b',  1,   0,   0,    0,    0,    0x27, 10, 0,     // varchar(10), output
        2,    '@', 'c',  0,   0,   0,    0,    0,    0x6C, 3,  5, 2, 0,  // numeric(5,2)
        2,    '@', 'd',  0,   0,   0,    0,    0,    0x6E, 8,  0,        // moneyn(8)
        0xD7,                                                            // their values
        4,    5,   0,    0,   0,                                         // 5
        3,    'x', '\'', 'y',                                            // x'y
        3,    1,   0,    125,                                            // -1.25
        8,    0,   0,    0,   0,   0x00, 0xBA, 0x5E, 0x00};              // 6208000 ten-thousandths
    const ClientRequest request = parseClientRequest(call);
    ASSERT_EQ(request.kind, ClientRequest::Kind::Rpc);
    EXPECT_EQ(rpcAsExecute(request.procedure, request.parameters),
              "exec p @a = 5, @b = 'x''y' output, @c = -1.25, @d = 620.8000");
    // A text parameter is refused; so is a name that could carry more than a name.
    std::vector<std::uint8_t> text = call;
    text[7 + 5 + 8] = 0x23;
    EXPECT_EQ(parseClientRequest(text).kind, ClientRequest::Kind::Unsupported);
    EXPECT_EQ(parseClientRequest({0xE6, 4, 0, 1, ';', 0, 0}).kind,
              ClientRequest::Kind::Unsupported);
    // A value whose length its type cannot have is a protocol error, not a read past it.
    const std::size_t money = call.size() - 9, numeric = money - 4, integer = 59;
    const struct {
        std::size_t at;
        std::vector<std::uint8_t> value;  // length byte and bytes, in place of the old ones
        std::size_t replaced;
    } wrong[] = {{money, {1, 0}, 9},
                 {money, {5, 1, 2, 3, 4, 5}, 9},
                 {integer, {3, 5, 0, 0}, 5},
                 {integer, {9, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 5},
                 {numeric, std::vector<std::uint8_t>(19, 1), 4}};
    for (const auto& w : wrong) {
        std::vector<std::uint8_t> bad(call.begin(), call.begin() + static_cast<long>(w.at));
        bad.insert(bad.end(), w.value.begin(), w.value.end());
        bad.insert(bad.end(), call.begin() + static_cast<long>(w.at + w.replaced), call.end());
        bad[w.at] = static_cast<std::uint8_t>(w.value.size() - 1);
        EXPECT_THROW(parseClientRequest(bad), ProtocolError) << w.at << " " << w.value.size();
    }
    // A length of 0 is NULL, whatever the type (an output parameter sent without a value).
    std::vector<std::uint8_t> nulls(call.begin(), call.begin() + static_cast<long>(money));
    nulls.push_back(0);
    nulls.erase(nulls.begin() + static_cast<long>(integer) + 1,
                nulls.begin() + static_cast<long>(integer) + 5);
    nulls[integer] = 0;
    const ClientRequest nullCall = parseClientRequest(nulls);
    EXPECT_EQ(rpcAsExecute(nullCall.procedure, nullCall.parameters),
              "exec p @a = null, @b = 'x''y' output, @c = -1.25, @d = null");
}

TEST(Tokens, MessageAndDoneLayout) {
    WireWriter out;
    ServerMessage message;
    message.number = 4002;
    message.severity = 14;
    message.state = 1;
    message.text = "Login failed.\n";
    message.line = 1;
    writeMessage(out, message, "MAIN");
    WireReader in(out.bytes());
    EXPECT_EQ(in.byte(), TokenExtendedError);
    EXPECT_EQ(in.uint16(), out.size() - 3);
    EXPECT_EQ(in.uint32(), 4002u);
    EXPECT_EQ(in.byte(), 1);
    EXPECT_EQ(in.byte(), 14);
    in.skip(in.byte());  // SQL state
    in.skip(3);          // extended data flag, transaction state
    EXPECT_EQ(in.text(in.uint16()), "Login failed.\n");
    EXPECT_EQ(in.text(in.byte()), "MAIN");
    EXPECT_EQ(in.text(in.byte()), "");
    EXPECT_EQ(in.uint16(), 1);
    EXPECT_TRUE(in.atEnd());

    WireWriter done;
    writeDone(done, TokenDone, DoneMore | DoneCount, 3);
    EXPECT_EQ(done.bytes(), (std::vector<std::uint8_t>{0xFD, 0x11, 0, 0, 0, 3, 0, 0, 0}));
}

TEST(Tokens, RowFormatSizeIsWhatIsWritten) {
    std::vector<Column> columns = {{"id", ColumnKind::Int, 0, true},
                                   {"", ColumnKind::VarChar, 300, true},
                                   {std::string(300, 'n'), ColumnKind::DateTime, 0, true}};
    WireWriter out;
    writeRowFormat(out, columns);
    EXPECT_EQ(rowFormatSize(columns), out.size() - 3);
}

TEST(Tokens, RowsCarryNullsAndEmptyTexts) {
    std::vector<Column> columns = {{"v", ColumnKind::VarChar, 10, true},
                                   {"i", ColumnKind::Int, 0, true},
                                   {"long", ColumnKind::VarChar, 300, true}};
    WireWriter out;
    writeRow(out, columns, Row{std::string(), Value{}, Value{}});
    EXPECT_EQ(out.bytes(), (std::vector<std::uint8_t>{0xD1, 1, ' ', 0, 0, 0, 0, 0}));
    out.clear();
    writeRow(out, columns, Row{std::string("ab"), std::int64_t{-2}, std::string("x")});
    EXPECT_EQ(out.bytes(), (std::vector<std::uint8_t>{0xD1, 2, 'a', 'b', 4, 0xFE, 0xFF, 0xFF, 0xFF,
                                                      1, 0, 0, 0, 'x'}));
}
