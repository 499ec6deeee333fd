#pragma once
// The classes that own the Client-Library handles: TSybase one context, TSybaseConnect one
// connection to one server with its last row result kept as text. Every library result is
// recorded in RetCode; failures reach the user through the message handlers and log files.
#include "client/SybaseField.h"

#include <ctpublic.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tvr::client {

class TSybase {
public:
    // Allocates the context and installs the three message handlers. A failure to install
    // the library or the server handler shows an "Error" box and releases the context;
    // the object is still constructed and its later calls fail.
    TSybase();
    virtual ~TSybase();
    TSybase(const TSybase&) = delete;
    TSybase& operator=(const TSybase&) = delete;

    bool Failed() const { return failed_; }
    CS_RETCODE RetCode() const { return retCode_; }
    CS_CONTEXT* Context() const { return context_; }
    CS_CONNECTION* Connection() const { return connection_; }

protected:
    bool failed_ = false;
    CS_RETCODE retCode_ = CS_SUCCEED;
    CS_CONTEXT* context_ = nullptr;
    CS_CONNECTION* connection_ = nullptr;
};

// How long a cancelled call waits for the server to confirm the cancel.
inline constexpr int kCancelWaitSeconds = 5;

class TSybaseConnect : public TSybase {
public:
    // Creates the context and the connection, registers it and hands the login name and
    // password to it. Does not connect. Empty log file names mean no logging of that kind.
    TSybaseConnect(const std::string& serverName, const std::string& userName,
                   const std::string& password, const std::string& logFile,
                   const std::string& errorLogFile);
    ~TSybaseConnect() override;

    // ct_con_props(CS_SET) of a text property; the result is also kept in RetCode.
    CS_RETCODE SetProperty(CS_INT property, const std::string& value);
    // Connects to ServerName, once per object. Failed is true unless the result is CS_SUCCEED.
    CS_RETCODE Connect();

    // How long a call may wait for the server's next word (seconds; 0: for ever), kept across
    // Reconnect (CS_TIMEOUT). Every message of the server, a Backup Server's progress of a long
    // dump among them, starts the wait again, so only a server that says nothing at all hits
    // it. At the limit the call is cancelled; a server that does not answer the cancel either
    // within kCancelWaitSeconds loses the connection, and the reconnect path takes over.
    void SetCallLimit(int seconds);
    int CallLimit() const { return callLimit_.load(); }
    // Called by the client message handler at each time-out of a call; returns whether the
    // call is to be abandoned (a limit is set). The first time-out of a call asks for a
    // cancel, the next one breaks the connection.
    bool NoteCallTimeout();
    // The statement of a call abandoned since the last look, and forgets it. The thread that
    // uses the connection only.
    std::optional<std::string> TakeAbandonedCall();

    // Sends `sql` as one language command, waits until the server has finished it and
    // keeps its last row result. Returns nothing; the outcome is in the results, ServerError
    // and the log. A log file that cannot be opened for one of its own entries raises
    // LogFileError.
    void Execute(const std::string& sql);

    // The values of the column named exactly `name` (letter case counts) of the last row
    // result, in row order; empty when there is no such column.
    std::vector<std::string> ColumnValues(const std::string& name) const;
    // Field, its Value set to the first value of that column, or empty. The same object
    // every time; the connection owns it.
    TSybaseField& ValueByName(const std::string& name);
    // Empties ColNames and ColTexts and sets ColCount to 0.
    void ClearResults();

    // The last row result: ColCount columns, each with its name and a text made of the
    // name and every value of the column, each followed by LF.
    std::int32_t ColCount() const { return colCount_; }
    const std::vector<std::string>& ColNames() const { return colNames_; }
    const std::vector<std::string>& ColTexts() const { return colTexts_; }
    std::int32_t RowCount() const { return rowCount_; }
    std::int32_t RowCounter() const { return rowCounter_; }
    std::int32_t ReturnStatus() const { return returnStatus_; }
    // How many status results and server error messages this connection has had, and the
    // number of the last such error: a caller compares the counts before and after a command
    // to tell whether that command returned a status or raised an error, since ReturnStatus
    // keeps the value of an earlier command when a command returns none.
    std::uint64_t StatusResults() const { return statusResults_.load(); }
    std::uint64_t ServerErrors() const { return serverErrors_.load(); }
    std::int32_t LastServerErrorNumber() const { return lastServerErrorNumber_.load(); }
    // Called by the server message handler for each error message (severity above 10).
    void NoteServerErrorNumber(std::int32_t number);
    CS_COMMAND* Command() const { return command_; }
    TSybaseField& Field() { return field_; }

    // The texts of the informational server messages of the commands sent between
    // StartCapture and TakeCaptured, for a caller that reads what the server says (a dump
    // header) rather than a row. Called by the message handler on the thread of the command.
    void StartCapture();
    std::vector<std::string> TakeCaptured();
    void NoteInformation(const std::string& text);

    // True when the most recent server message for this connection was an error.
    bool ServerError() const { return serverError_.load(); }
    void SetServerError(bool value) { serverError_.store(value); }

    // The library's own word on the connection: not connected, or marked dead after a
    // failure of the network or of the server (ct_con_props CS_CON_STATUS).
    bool ConnectionDead() const;
    // Opens the session again, in place, after the server dropped it: a new connection to the
    // same server with the same login name, password and text properties, logging to the same
    // files, so that whoever holds this object finds it alive again. The password given at
    // logon is kept in this object's memory for that purpose only; nothing writes it anywhere.
    // Only the thread that uses the connection may call it. True when the logon succeeded.
    bool Reconnect();

    const std::string& ServerName() const { return serverName_; }
    const std::string& UserName() const { return userName_; }
    bool TimeStamp() const { return timeStamp_; }

    // The log files; the owner may change them at any time, from any thread.
    std::string LogFile() const;
    void SetLogFile(const std::string& file);
    std::string ErrorLogFile() const;
    void SetErrorLogFile(const std::string& file);

private:
    void SendCommand(const std::string& sql);
    void ProcessResults();
    void ReadRowResult();
    void ReadStatusResult();
    void CancelAll();
    void DropCommand();
    void CloseConnection(CS_INT option);

    std::int32_t returnStatus_ = 0;
    std::atomic<std::uint64_t> statusResults_{0};
    std::atomic<std::uint64_t> serverErrors_{0};
    std::atomic<std::int32_t> lastServerErrorNumber_{0};
    std::atomic<int> callLimit_{0};
    std::atomic<bool> callAbandoned_{false};
    std::string callStatement_;  // of the Execute under way, or the last one
    std::string password_;
    std::vector<std::pair<CS_INT, std::string>> textProperties_;  // as set, for Reconnect
    CS_COMMAND* command_ = nullptr;
    TSybaseField field_;
    std::atomic<bool> serverError_{false};
    std::mutex capturedMutex_;
    bool capturing_ = false;
    std::vector<std::string> captured_;
    std::int32_t colCount_ = 0;
    std::int32_t rowCounter_ = 0;
    std::int32_t rowCount_ = 0;
    std::string serverName_;
    std::string userName_;
    std::vector<std::string> colNames_;
    std::vector<std::string> colTexts_;
    mutable std::mutex logFilesMutex_;
    std::string logFile_;
    std::string errorLogFile_;
    bool timeStamp_ = true;
};

}  // namespace tvr::client
