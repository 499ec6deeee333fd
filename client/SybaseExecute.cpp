// Sending a command on a TSybaseConnect and reading its results.
#include "client/Sybase.h"

#include "client/DatetimeText.h"
#include "client/Events.h"
#include "client/LogLineStyle.h"
#include "client/LogWriter.h"
#include "client/SessionRegistry.h"
#include "client/TextLines.h"
#include "platform/ScopeExit.h"

#include <array>
#include <cstring>
#include <exception>

namespace tvr::client {
namespace {

constexpr std::size_t kTextBufferSize = 256;
constexpr std::size_t kMaxHeadingLength = 132;

}  // namespace

void TSybaseConnect::Execute(const std::string& sql) {
    // Each call has the whole limit, also after a cancel shortened the last one's.
    if (callLimit_ > 0) SetCallLimit(callLimit_);
    callStatement_ = sql;
    std::exception_ptr failure;
    try {
        SendCommand(sql);
        ProcessResults();
    } catch (...) {
        failure = std::current_exception();
    }
    DropCommand();
    rowCount_ = rowCounter_ >= 1 ? rowCounter_ - 1 : 0;
    if (failure) std::rethrow_exception(failure);
}

void TSybaseConnect::SendCommand(const std::string& sql) {
    // The results of the previous command go whatever happens below.
    const auto clear = onScopeExit([this] {
        ClearResults();
        // Nothing will be read: the shape of the results is that of no result.
        if (!command_) rowCounter_ = 0;
    });

    // Without a connection, or without a command handle to send on, the command cannot go
    // out: it is logged as not sent rather than lost without a word.
    if (connection_) {
        retCode_ = ct_cmd_alloc(connection_, &command_);
        if (retCode_ != CS_SUCCEED) command_ = nullptr;
    }
    if (!command_) {
        AppendToLog(std::string(kErrMarker) + "НЕПРАВИЛЬНЫЙ ЗАПРОС: " + sql, LogFile(), true);
        return;
    }
    std::vector<char> text(sql.begin(), sql.end());
    text.push_back('\0');
    retCode_ = ct_command(command_, CS_LANG_CMD, text.data(), CS_NULLTERM, CS_UNUSED);
    retCode_ = ct_send(command_);
}

void TSybaseConnect::ProcessResults() {
    rowCounter_ = 0;
    colCount_ = 0;
    if (!command_) return;

    CS_INT resultType = 0;
    CS_RETCODE r;
    while ((r = ct_results(command_, &resultType)) == CS_SUCCEED) {
        retCode_ = r;
        switch (resultType) {
            case CS_ROW_RESULT:
            case CS_PARAM_RESULT:
                ReadRowResult();
                break;
            case CS_STATUS_RESULT:
                ReadStatusResult();
                break;
            default:
                // Command done, succeeded or failed, compute results: nothing to read.
                break;
        }
    }
    retCode_ = r;
    if (r == CS_END_RESULTS)
        sendEvent(EventResultsEnd, std::string());
    else if (r == CS_FAIL)
        CancelAll();
}

void TSybaseConnect::ReadRowResult() {
    CS_INT outLength = 0;
    colCount_ = 0;
    retCode_ = ct_res_info(command_, CS_NUMDATA, &colCount_, CS_UNUSED, &outLength);
    if (colCount_ < 0) colCount_ = 0;
    const auto columns = static_cast<std::size_t>(colCount_);

    // Working storage of this result; the library writes into it during ct_fetch only.
    colNames_.assign(columns, std::string());
    colTexts_.assign(columns, std::string());
    std::vector<CS_DATAFMT> formats(columns);
    std::vector<std::array<char, kTextBufferSize>> buffers(columns);
    std::vector<CS_INT> lengths(columns, 0);
    std::vector<CS_SMALLINT> indicators(columns, 0);
    std::vector<CS_DATETIME> slots(columns);
    std::vector<std::size_t> datetimeColumns;
    rowCounter_ = 1;

    for (std::size_t i = 0; i < columns; ++i) {
        CS_DATAFMT& format = formats[i];
        std::memset(&format, 0, sizeof format);
        const auto item = static_cast<CS_INT>(i + 1);
        retCode_ = ct_describe(command_, item, &format);
        CS_VOID* target;
        if (format.datatype == CS_DATETIME_TYPE) {
            format.count = 1;
            format.locale = nullptr;
            target = &slots[datetimeColumns.size()];
            datetimeColumns.push_back(i);
        } else {
            format.datatype = CS_CHAR_TYPE;
            format.format = CS_FMT_NULLTERM;
            format.maxlength = static_cast<CS_INT>(kTextBufferSize);
            format.count = 1;
            format.locale = nullptr;
            target = buffers[i].data();
        }
        retCode_ = ct_bind(command_, item, &format, target, &lengths[i], &indicators[i]);
    }

    std::string headings;
    for (std::size_t i = 0; i < columns; ++i) {
        const std::string name(
            formats[i].name,
            ::strnlen(formats[i].name, std::min(sizeof formats[i].name, kMaxHeadingLength)));
        colNames_[i] = name;
        colTexts_[i] = name + "\n";
        headings += colTexts_[i];
    }
    sendEvent(EventHeadings, headings);

    for (;;) {
        // Open Client writes the null substitution value (empty text, 1 January 1900) for a
        // NULL; FreeTDS leaves the target as it was. Starting each row from zeroed storage
        // reads a NULL the same way and never repeats the previous row's value.
        for (auto& b : buffers) b.fill('\0');
        std::memset(slots.data(), 0, slots.size() * sizeof(CS_DATETIME));
        CS_INT rowsRead = 0;
        const CS_RETCODE r = ct_fetch(command_, CS_UNUSED, CS_UNUSED, CS_UNUSED, &rowsRead);
        retCode_ = r;
        if (r != CS_SUCCEED) break;
        ++rowCounter_;
        std::string row;
        std::size_t nextDatetime = 0;
        for (std::size_t i = 0; i < columns; ++i) {
            std::string value;
            if (nextDatetime < datetimeColumns.size() && datetimeColumns[nextDatetime] == i) {
                value = datetimeText(slots[nextDatetime]);
                ++nextDatetime;
            } else {
                value.assign(buffers[i].data(), ::strnlen(buffers[i].data(), kTextBufferSize));
            }
            colTexts_[i] += value;
            colTexts_[i] += '\n';
            row += value;
        }
        sendEvent(EventRow, row);
    }
    if (retCode_ == CS_ROW_FAIL) {
        // A row that did not fit ends the result: it and the rows after it are not kept.
        // FreeTDS would hand the unread rows to the next ct_results as a row result of their
        // own, which would then replace this one; they are read here and dropped instead.
        CS_INT rowsRead = 0;
        CS_RETCODE r;
        do {
            r = ct_fetch(command_, CS_UNUSED, CS_UNUSED, CS_UNUSED, &rowsRead);
        } while (r == CS_SUCCEED || r == CS_ROW_FAIL);
    }
}

void TSybaseConnect::ReadStatusResult() {
    CS_DATAFMT format;
    std::memset(&format, 0, sizeof format);
    format.datatype = CS_INT_TYPE;
    format.format = CS_FMT_UNUSED;
    format.maxlength = static_cast<CS_INT>(sizeof(CS_INT));
    format.count = 1;
    format.locale = nullptr;
    CS_INT length = 0;
    CS_SMALLINT indicator = 0;
    retCode_ = ct_bind(command_, 1, &format, &returnStatus_, &length, &indicator);
    statusResults_.fetch_add(1);
    CS_INT rowsRead = 0;
    while ((retCode_ = ct_fetch(command_, CS_UNUSED, CS_UNUSED, CS_UNUSED, &rowsRead)) ==
           CS_SUCCEED) {
    }
}

void TSybaseConnect::CancelAll() {
    const CS_RETCODE r = ct_cancel(connection_, command_, CS_CANCEL_ALL);
    retCode_ = r;
    if (r != CS_FAIL) return;
    failed_ = true;
    // The connection is closed even when its log cannot take the entry; the log's error
    // then passes on to the caller.
    std::exception_ptr failure;
    try {
        PrintToLog(std::string(kErrMarker) + logTimeNow() + " Unexpected Error! Connect failed!",
                   LogFile());
    } catch (...) {
        failure = std::current_exception();
    }
    CloseConnection(CS_FORCE_CLOSE);
    if (failure) std::rethrow_exception(failure);
}

void TSybaseConnect::CloseConnection(CS_INT option) {
    if (!connection_) return;
    retCode_ = ct_close(connection_, option);
    retCode_ = ct_con_drop(connection_);
    connection_ = nullptr;
    forgetSessionConnection(this);
}

void TSybaseConnect::DropCommand() {
    if (!command_) return;
    retCode_ = ct_cmd_drop(command_);
    command_ = nullptr;
}

std::vector<std::string> TSybaseConnect::ColumnValues(const std::string& name) const {
    for (std::size_t i = 0; i < colNames_.size() && i < colTexts_.size(); ++i) {
        if (colNames_[i] != name) continue;
        std::vector<std::string> lines = splitLines(colTexts_[i]);
        if (!lines.empty()) lines.erase(lines.begin());
        return lines;
    }
    return {};
}

TSybaseField& TSybaseConnect::ValueByName(const std::string& name) {
    const std::vector<std::string> values = ColumnValues(name);
    field_.Value = values.empty() ? std::string() : values.front();
    return field_;
}

void TSybaseConnect::ClearResults() {
    colNames_.clear();
    colTexts_.clear();
    colCount_ = 0;
}

}  // namespace tvr::client
