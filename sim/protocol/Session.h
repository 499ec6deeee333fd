#pragma once
// One client connection, on its own thread: the login handshake, then language commands until
// logout or disconnect. Results are built as tokens and sent in packets of the negotiated
// size; an attention from the client stops the command in progress and is acknowledged with a
// done token carrying the attention bit. Anything malformed closes this connection only.
#include "sim/protocol/ClientRequest.h"
#include "sim/protocol/CommandTrace.h"
#include "sim/protocol/DynamicStatements.h"
#include "sim/protocol/LoginRecord.h"
#include "sim/protocol/Packets.h"
#include "sim/protocol/RpcParameters.h"
#include "sim/protocol/Wire.h"
#include "sim/statements/ExecutionContext.h"
#include "sim/statements/ResultSink.h"
#include "sim/statements/StatementHandlers.h"

#include <chrono>
#include <map>
#include <optional>

namespace tvr::sim {

class Session : public ResultSink {
public:
    Session(ServerState& server, const CommandSet& commands, CommandTrace& trace, int socket,
            int connectionId);
    ~Session() override;

    // Serves the connection until it ends; never throws. The socket stays open for the caller
    // to close.
    void run();

    // ResultSink
    void message(const ServerMessage& message) override;
    void rowFormat(const std::vector<Column>& columns) override;
    void row(const Row& row) override;
    void returnStatus(std::int32_t status) override;
    void parameters(const std::vector<Column>& columns, const Row& values) override;
    void browseInformation(const BrowseInformation& information) override;
    void environmentChange(EnvChangeType type, const std::string& newValue,
                           const std::string& oldValue) override;
    void done(ServerToken token, std::uint16_t status, std::int32_t count) override;
    bool cancelRequested() override;

private:
    bool login();
    void serve();
    ClientMessage readMessage();
    // The next message, whole within `limit` from now (none when zero); past it the
    // connection is lost with `reason`.
    ClientMessage readMessageWithin(std::chrono::seconds limit, const std::string& reason);
    // Reads exactly `size` bytes; false at a clean end of the connection before the first byte.
    bool readExact(std::uint8_t* data, std::size_t size);
    void beginToken();
    void sendResponse();  // the pending tokens, ending the response
    void acknowledgeAttention();
    // Runs a batch for the request and sends its results; false when the connection ends.
    bool runRequestBatch(const std::string& text, VariableScope variables);
    // A dynamic statement request; false when the connection ends.
    bool runDynamic(const ClientRequest& request);
    void answerOption(const ClientRequest& request);  // an option command's answer, done apart
    static VariableScope variablesOf(const std::vector<RpcParameter>& parameters);
    void sendBytes(const std::vector<std::uint8_t>& bytes);
    void log(const std::string& text);

    ServerState& server_;
    const CommandSet& commands_;
    CommandTrace& trace_;
    int socket_;
    int id_;
    std::size_t packetSize_ = 512;
    MessageAssembler assembler_;
    WireWriter out_;
    std::vector<Column> columns_;  // of the row result being sent
    bool cancelled_ = false;
    bool connectionLost_ = false;
    std::chrono::steady_clock::time_point lastPoll_{};
    // While a message is awaited under a time limit: when it ends, and what is logged then.
    std::optional<std::chrono::steady_clock::time_point> deadline_;
    std::string deadlineReason_;
    std::optional<ExecutionContext> context_;
    LoginRecord login_;
    DynamicStatements dynamics_;
    std::map<std::uint8_t, std::vector<std::uint8_t>> options_;  // set by option commands
};

// The peer went away or the socket failed while sending.
class ConnectionLost : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The client took longer than its time limit (the logon, or an idle session).
class SessionTimedOut : public ConnectionLost {
public:
    using ConnectionLost::ConnectionLost;
};

}  // namespace tvr::sim
