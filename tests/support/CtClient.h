#pragma once
// A small libct client for tests against the emulator: one context and one connection, a server
// message callback that records every message, and a command runner that reads every result
// of a batch in arrival order, the way the program's client layer does.
#include <ctpublic.h>

#include <optional>
#include <string>
#include <vector>

namespace tvr::testing {

struct CtMessage {
    int number = 0;
    int severity = 0;
    int state = 0;
    int line = 0;
    std::string text;
    std::string server;
    std::string procedure;
};

struct CtColumn {
    std::string name;
    int type = 0;  // CS_..._TYPE as ct_describe reports it
    int maxLength = 0;
    bool nullable = true;  // CS_CANBENULL: sent in a nullable type (INTN rather than INT4)
};

// A datetime as received: days since 1900-01-01 and 1/300 seconds.
struct CtDateTime {
    int days = 0;
    int ticks = 0;
};

struct CtRowResult {
    std::vector<CtColumn> columns;
    // Values as text (bound as CS_CHAR_TYPE), nothing for NULL. Datetime columns are bound as
    // CS_DATETIME_TYPE; their text is "days:ticks".
    std::vector<std::vector<std::optional<std::string>>> rows;
};

// What one batch produced, in order.
struct CtEvent {
    enum class Kind { Message, RowResult, Status, CommandDone, CommandFailed };
    Kind kind = Kind::CommandDone;
    CtMessage message;   // Message
    CtRowResult result;  // RowResult
    int status = 0;      // Status
    int rowCount = -1;   // CommandDone / CommandFailed: ct_res_info(CS_ROW_COUNT)
};

struct CtBatch {
    std::vector<CtEvent> events;
    CS_RETCODE lastResultsCode = CS_END_RESULTS;

    std::vector<CtRowResult> rowResults() const;
    std::vector<CtMessage> messages() const;
    std::vector<int> statuses() const;
    bool failed() const;  // some statement failed (CS_CMD_FAIL)
};

class CtClient {
public:
    CtClient();
    ~CtClient();
    CtClient(const CtClient&) = delete;
    CtClient& operator=(const CtClient&) = delete;

    // ct_connect with the given logon; true on CS_SUCCEED. Messages of the logon are recorded.
    bool connect(const std::string& server, const std::string& user = "sa",
                 const std::string& password = "", const std::string& application = "tvr-tests",
                 const std::string& host = "testhost");

    CtBatch execute(const std::string& sql);

    // Sends a batch without reading its results (for cancel tests), then reads them later.
    bool send(const std::string& sql);
    CtBatch readResults();
    // ct_cancel(CS_CANCEL_ALL) on the command in progress; true on CS_SUCCEED.
    bool cancelAll();

    void close();

    // The connection itself, for the calls `execute` does not make (RPC, dynamic statements,
    // send-data); null until connected.
    CS_CONNECTION* connection() const { return connection_; }

    // Every server message received on this connection so far, and the client messages.
    std::vector<CtMessage> serverMessages;
    std::vector<std::string> clientMessages;

private:
    CS_CONTEXT* context_ = nullptr;
    CS_CONNECTION* connection_ = nullptr;
    CS_COMMAND* command_ = nullptr;
    std::vector<CtEvent>* currentEvents_ = nullptr;

    friend CS_RETCODE recordServerMessage(CS_CONTEXT*, CS_CONNECTION*, CS_SERVERMSG*);
    friend CS_RETCODE recordClientMessage(CS_CONTEXT*, CS_CONNECTION*, CS_CLIENTMSG*);
};

}  // namespace tvr::testing
