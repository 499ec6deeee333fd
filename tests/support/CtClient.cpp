#include "tests/support/CtClient.h"

#include <cstring>
#include <stdexcept>

namespace tvr::testing {

namespace {

CtClient* ownerOf(CS_CONNECTION* connection) {
    CtClient* owner = nullptr;
    if (connection == nullptr ||
        ct_con_props(connection, CS_GET, CS_USERDATA, &owner, sizeof owner, nullptr) != CS_SUCCEED)
        return nullptr;
    return owner;
}

}  // namespace

CS_RETCODE recordServerMessage(CS_CONTEXT*, CS_CONNECTION* connection, CS_SERVERMSG* message) {
    CtClient* owner = ownerOf(connection);
    if (owner == nullptr) return CS_SUCCEED;
    CtMessage recorded;
    recorded.number = static_cast<int>(message->msgnumber);
    recorded.severity = static_cast<int>(message->severity);
    recorded.state = static_cast<int>(message->state);
    recorded.line = static_cast<int>(message->line);
    recorded.text.assign(message->text, static_cast<std::size_t>(message->textlen));
    recorded.server.assign(message->svrname, static_cast<std::size_t>(message->svrnlen));
    recorded.procedure.assign(message->proc, static_cast<std::size_t>(message->proclen));
    owner->serverMessages.push_back(recorded);
    if (owner->currentEvents_ != nullptr) {
        CtEvent event;
        event.kind = CtEvent::Kind::Message;
        event.message = recorded;
        owner->currentEvents_->push_back(event);
    }
    return CS_SUCCEED;
}

CS_RETCODE recordClientMessage(CS_CONTEXT*, CS_CONNECTION* connection, CS_CLIENTMSG* message) {
    if (CtClient* owner = ownerOf(connection))
        owner->clientMessages.emplace_back(message->msgstring,
                                           static_cast<std::size_t>(message->msgstringlen));
    return CS_SUCCEED;
}

std::vector<CtRowResult> CtBatch::rowResults() const {
    std::vector<CtRowResult> results;
    for (const CtEvent& event : events)
        if (event.kind == CtEvent::Kind::RowResult) results.push_back(event.result);
    return results;
}

std::vector<CtMessage> CtBatch::messages() const {
    std::vector<CtMessage> result;
    for (const CtEvent& event : events)
        if (event.kind == CtEvent::Kind::Message) result.push_back(event.message);
    return result;
}

std::vector<int> CtBatch::statuses() const {
    std::vector<int> result;
    for (const CtEvent& event : events)
        if (event.kind == CtEvent::Kind::Status) result.push_back(event.status);
    return result;
}

bool CtBatch::failed() const {
    for (const CtEvent& event : events)
        if (event.kind == CtEvent::Kind::CommandFailed) return true;
    return false;
}

CtClient::CtClient() {
    if (cs_ctx_alloc(CS_VERSION_110, &context_) != CS_SUCCEED ||
        ct_init(context_, CS_VERSION_110) != CS_SUCCEED)
        throw std::runtime_error("cannot set up a Client-Library context");
    ct_callback(context_, nullptr, CS_SET, CS_SERVERMSG_CB,
                reinterpret_cast<CS_VOID*>(recordServerMessage));
    ct_callback(context_, nullptr, CS_SET, CS_CLIENTMSG_CB,
                reinterpret_cast<CS_VOID*>(recordClientMessage));
}

CtClient::~CtClient() {
    close();
    if (context_ != nullptr) {
        ct_exit(context_, CS_FORCE_EXIT);
        cs_ctx_drop(context_);
    }
}

bool CtClient::connect(const std::string& server, const std::string& user,
                       const std::string& password, const std::string& application,
                       const std::string& host) {
    close();
    if (ct_con_alloc(context_, &connection_) != CS_SUCCEED) return false;
    CtClient* self = this;
    ct_con_props(connection_, CS_SET, CS_USERDATA, &self, sizeof self, nullptr);
    ct_con_props(connection_, CS_SET, CS_USERNAME, const_cast<char*>(user.c_str()), CS_NULLTERM,
                 nullptr);
    ct_con_props(connection_, CS_SET, CS_PASSWORD, const_cast<char*>(password.c_str()), CS_NULLTERM,
                 nullptr);
    ct_con_props(connection_, CS_SET, CS_APPNAME, const_cast<char*>(application.c_str()),
                 CS_NULLTERM, nullptr);
    ct_con_props(connection_, CS_SET, CS_HOSTNAME, const_cast<char*>(host.c_str()), CS_NULLTERM,
                 nullptr);
    std::vector<CtEvent> logonEvents;
    currentEvents_ = &logonEvents;
    CS_RETCODE code = ct_connect(connection_, const_cast<char*>(server.c_str()), CS_NULLTERM);
    currentEvents_ = nullptr;
    if (code != CS_SUCCEED) {
        ct_con_drop(connection_);
        connection_ = nullptr;
        return false;
    }
    return true;
}

void CtClient::close() {
    if (command_ != nullptr) {
        ct_cmd_drop(command_);
        command_ = nullptr;
    }
    if (connection_ != nullptr) {
        if (ct_close(connection_, CS_UNUSED) != CS_SUCCEED) ct_close(connection_, CS_FORCE_CLOSE);
        ct_con_drop(connection_);
        connection_ = nullptr;
    }
}

bool CtClient::send(const std::string& sql) {
    if (connection_ == nullptr) return false;
    if (command_ != nullptr) ct_cmd_drop(command_);
    command_ = nullptr;
    if (ct_cmd_alloc(connection_, &command_) != CS_SUCCEED) return false;
    if (ct_command(command_, CS_LANG_CMD, const_cast<char*>(sql.c_str()), CS_NULLTERM, CS_UNUSED) !=
        CS_SUCCEED)
        return false;
    return ct_send(command_) == CS_SUCCEED;
}

CtBatch CtClient::execute(const std::string& sql) {
    if (!send(sql)) {
        CtBatch batch;
        batch.lastResultsCode = CS_FAIL;
        return batch;
    }
    return readResults();
}

bool CtClient::cancelAll() {
    return connection_ != nullptr && ct_cancel(connection_, nullptr, CS_CANCEL_ALL) == CS_SUCCEED;
}

CtBatch CtClient::readResults() {
    CtBatch batch;
    currentEvents_ = &batch.events;
    CS_INT resultType = 0;
    CS_RETCODE code;
    while ((code = ct_results(command_, &resultType)) == CS_SUCCEED) {
        CtEvent event;
        switch (resultType) {
            case CS_ROW_RESULT: {
                CS_INT columnCount = 0;
                ct_res_info(command_, CS_NUMDATA, &columnCount, CS_UNUSED, nullptr);
                std::size_t count = static_cast<std::size_t>(columnCount);
                std::vector<CS_DATAFMT> formats(count);
                std::vector<std::vector<char>> buffers(count, std::vector<char>(1024));
                std::vector<CS_DATETIME> datetimes(count);
                std::vector<CS_INT> lengths(count);
                std::vector<CS_SMALLINT> indicators(count);
                event.kind = CtEvent::Kind::RowResult;
                for (std::size_t i = 0; i < count; ++i) {
                    CS_DATAFMT& format = formats[i];
                    std::memset(&format, 0, sizeof format);
                    ct_describe(command_, static_cast<CS_INT>(i + 1), &format);
                    CtColumn column;
                    column.name.assign(format.name, static_cast<std::size_t>(
                                                        format.namelen > 0 ? format.namelen : 0));
                    column.type = static_cast<int>(format.datatype);
                    column.maxLength = static_cast<int>(format.maxlength);
                    column.nullable = (format.status & CS_CANBENULL) != 0;
                    event.result.columns.push_back(column);
                    if (format.datatype == CS_DATETIME_TYPE) {
                        format.count = 1;
                        format.locale = nullptr;
                        ct_bind(command_, static_cast<CS_INT>(i + 1), &format, &datetimes[i],
                                &lengths[i], &indicators[i]);
                    } else {
                        format.datatype = CS_CHAR_TYPE;
                        format.format = CS_FMT_NULLTERM;
                        format.maxlength = 1024;
                        format.count = 1;
                        format.locale = nullptr;
                        ct_bind(command_, static_cast<CS_INT>(i + 1), &format, buffers[i].data(),
                                &lengths[i], &indicators[i]);
                    }
                }
                CS_INT rowsRead = 0;
                while (ct_fetch(command_, CS_UNUSED, CS_UNUSED, CS_UNUSED, &rowsRead) ==
                       CS_SUCCEED) {
                    std::vector<std::optional<std::string>> row;
                    for (std::size_t i = 0; i < count; ++i) {
                        if (indicators[i] == -1)
                            row.emplace_back();
                        else if (event.result.columns[i].type == CS_DATETIME_TYPE)
                            row.emplace_back(std::to_string(datetimes[i].dtdays) + ":" +
                                             std::to_string(datetimes[i].dttime));
                        else
                            row.emplace_back(std::string(buffers[i].data()));
                    }
                    event.result.rows.push_back(row);
                }
                batch.events.push_back(event);
                break;
            }
            case CS_STATUS_RESULT: {
                CS_INT status = 0;
                CS_DATAFMT format;
                std::memset(&format, 0, sizeof format);
                format.datatype = CS_INT_TYPE;
                format.count = 1;
                ct_bind(command_, 1, &format, &status, nullptr, nullptr);
                CS_INT rowsRead = 0;
                while (ct_fetch(command_, CS_UNUSED, CS_UNUSED, CS_UNUSED, &rowsRead) ==
                       CS_SUCCEED) {
                }
                event.kind = CtEvent::Kind::Status;
                event.status = static_cast<int>(status);
                batch.events.push_back(event);
                break;
            }
            case CS_CMD_SUCCEED:
            case CS_CMD_DONE:
            case CS_CMD_FAIL: {
                if (resultType == CS_CMD_SUCCEED) break;
                event.kind = resultType == CS_CMD_FAIL ? CtEvent::Kind::CommandFailed
                                                       : CtEvent::Kind::CommandDone;
                CS_INT rows = -1;
                ct_res_info(command_, CS_ROW_COUNT, &rows, CS_UNUSED, nullptr);
                event.rowCount = static_cast<int>(rows);
                batch.events.push_back(event);
                break;
            }
            default:
                break;
        }
    }
    batch.lastResultsCode = code;
    currentEvents_ = nullptr;
    return batch;
}

}  // namespace tvr::testing
