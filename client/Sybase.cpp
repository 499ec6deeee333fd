#include "client/Sybase.h"

#include "client/MessageHandlers.h"
#include "client/SessionRegistry.h"
#include "client/TdsVersion.h"
#include "platform/Prompts.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace tvr::client {
namespace {

void showSetUpError(const std::string& text) {
    platform::prompts().messageBox(nullptr, text, "Error", platform::PromptButtons::Ok,
                                   platform::PromptIcon::None);
}

}  // namespace

// Every call on a handle that does not exist (a context whose set-up failed, a connection
// closed by force) is recorded as CS_FAIL instead of being made: FreeTDS does not check
// its handles.

TSybase::TSybase() {
    retCode_ = cs_ctx_alloc(CS_VERSION_110, &context_);
    if (retCode_ != CS_SUCCEED) context_ = nullptr;
    retCode_ = context_ ? ct_init(context_, CS_VERSION_110) : CS_FAIL;

    const auto releaseContext = [this](const char* text) {
        showSetUpError(text);
        if (context_) {
            ct_exit(context_, CS_FORCE_EXIT);
            cs_ctx_drop(context_);
            context_ = nullptr;
        }
    };

    CS_INT unusedLength = 0;
    retCode_ = context_ ? cs_config(context_, CS_SET, CS_MESSAGE_CB,
                                    reinterpret_cast<CS_VOID*>(&LibraryMessageHandler), CS_UNUSED,
                                    &unusedLength)
                        : CS_FAIL;
    if (retCode_ != CS_SUCCEED) {
        releaseContext("cs_config(CS_MESSAGE_CB) failed");
        return;
    }
    retCode_ = ct_callback(context_, nullptr, CS_SET, CS_CLIENTMSG_CB,
                           reinterpret_cast<CS_VOID*>(&ClientMessageHandler));
    retCode_ = ct_callback(context_, nullptr, CS_SET, CS_SERVERMSG_CB,
                           reinterpret_cast<CS_VOID*>(&ServerMessageHandler));
    if (retCode_ != CS_SUCCEED) releaseContext("ct_callback for server messages failed");
}

TSybase::~TSybase() {
    if (context_) {
        retCode_ = ct_exit(context_, CS_UNUSED);
        retCode_ = cs_ctx_drop(context_);
    }
}

TSybaseConnect::TSybaseConnect(const std::string& serverName, const std::string& userName,
                               const std::string& password, const std::string& logFile,
                               const std::string& errorLogFile)
    : password_(password),
      serverName_(serverName),
      userName_(userName),
      logFile_(logFile),
      errorLogFile_(errorLogFile) {
    // The context is set up by TSybase; ServerError starts false, TimeStamp true.
    if (context_) {
        retCode_ = ct_con_alloc(context_, &connection_);
        if (retCode_ != CS_SUCCEED) connection_ = nullptr;
    } else {
        retCode_ = CS_FAIL;
    }
    registerSession(TSessionItem{context_, connection_, this});
    SetProperty(CS_USERNAME, userName);
    SetProperty(CS_PASSWORD, password);
}

TSybaseConnect::~TSybaseConnect() {
    if (connection_) {
        retCode_ = ct_close(connection_, CS_UNUSED);
        retCode_ = ct_con_drop(connection_);
        connection_ = nullptr;
    }
    ClearResults();
    unregisterSession(this);
}

CS_RETCODE TSybaseConnect::SetProperty(CS_INT property, const std::string& value) {
    if (!connection_) return retCode_ = CS_FAIL;
    std::vector<char> buffer(value.begin(), value.end());
    buffer.push_back('\0');
    retCode_ = ct_con_props(connection_, CS_SET, property, buffer.data(), CS_NULLTERM, nullptr);
    if (property != CS_USERNAME && property != CS_PASSWORD) {
        std::erase_if(textProperties_, [&](const auto& kept) { return kept.first == property; });
        textProperties_.emplace_back(property, value);
    }
    return retCode_;
}

void TSybaseConnect::NoteServerErrorNumber(std::int32_t number) {
    lastServerErrorNumber_.store(number);
    serverErrors_.fetch_add(1);
}

void TSybaseConnect::StartCapture() {
    std::lock_guard lock(capturedMutex_);
    capturing_ = true;
    captured_.clear();
}

std::vector<std::string> TSybaseConnect::TakeCaptured() {
    std::lock_guard lock(capturedMutex_);
    capturing_ = false;
    return std::exchange(captured_, {});
}

void TSybaseConnect::NoteInformation(const std::string& text) {
    std::lock_guard lock(capturedMutex_);
    // A bound on what one command may leave here, should a caller never take it.
    if (capturing_ && captured_.size() < 1000) captured_.push_back(text);
}

bool TSybaseConnect::ConnectionDead() const {
    if (!connection_) return true;
    CS_INT status = 0;
    if (ct_con_props(connection_, CS_GET, CS_CON_STATUS, &status, CS_UNUSED, nullptr) !=
        CS_SUCCEED) {
        return true;
    }
    return (status & CS_CONSTAT_DEAD) != 0 || (status & CS_CONSTAT_CONNECTED) == 0;
}

bool TSybaseConnect::Reconnect() {
    CloseConnection(CS_FORCE_CLOSE);
    if (!context_) return false;
    CS_CONNECTION* fresh = nullptr;
    retCode_ = ct_con_alloc(context_, &fresh);
    if (retCode_ != CS_SUCCEED) return false;
    connection_ = fresh;
    // The new entry first, so that the registry is never empty in between; the old one,
    // found first, goes.
    registerSession(TSessionItem{context_, connection_, this});
    unregisterSession(this);
    SetProperty(CS_USERNAME, userName_);
    SetProperty(CS_PASSWORD, password_);
    const auto properties = textProperties_;
    for (const auto& [property, value] : properties) SetProperty(property, value);
    return Connect() == CS_SUCCEED && !ConnectionDead();
}

void TSybaseConnect::SetCallLimit(int seconds) {
    callLimit_ = seconds > 0 ? seconds : 0;
    if (!connection_) return;
    CS_INT limit = callLimit_ > 0 ? callLimit_.load() : CS_NO_LIMIT;
    ct_con_props(connection_, CS_SET, CS_TIMEOUT, &limit, CS_UNUSED, nullptr);
}

bool TSybaseConnect::NoteCallTimeout() {
    if (callLimit_ <= 0) return false;
    if (!callAbandoned_.exchange(true)) {
        // The cancel gets a short wait of its own: a server that took the whole limit to say
        // nothing is not given it again.
        CS_INT wait = std::min(callLimit_.load(), kCancelWaitSeconds);
        ct_con_props(connection_, CS_SET, CS_TIMEOUT, &wait, CS_UNUSED, nullptr);
    }
    return true;
}

std::optional<std::string> TSybaseConnect::TakeAbandonedCall() {
    if (!callAbandoned_.exchange(false)) return std::nullopt;
    return callStatement_;
}

CS_RETCODE TSybaseConnect::Connect() {
    if (connection_) {
        if (callLimit_ > 0) {
            CS_INT limit = callLimit_;
            ct_con_props(connection_, CS_SET, CS_TIMEOUT, &limit, CS_UNUSED, nullptr);
        }
        if (!userConfiguredTdsVersion(serverName_)) {
            CS_INT version = CS_TDS_50;
            ct_con_props(connection_, CS_SET, CS_TDS_VERSION, &version, CS_UNUSED, nullptr);
        }
        std::vector<char> name(serverName_.begin(), serverName_.end());
        name.push_back('\0');
        retCode_ = ct_connect(connection_, name.data(), CS_NULLTERM);
    } else {
        retCode_ = CS_FAIL;
    }
    failed_ = retCode_ != CS_SUCCEED;
    return retCode_;
}

std::string TSybaseConnect::LogFile() const {
    std::lock_guard lock(logFilesMutex_);
    return logFile_;
}

void TSybaseConnect::SetLogFile(const std::string& file) {
    std::lock_guard lock(logFilesMutex_);
    logFile_ = file;
}

std::string TSybaseConnect::ErrorLogFile() const {
    std::lock_guard lock(logFilesMutex_);
    return errorLogFile_;
}

void TSybaseConnect::SetErrorLogFile(const std::string& file) {
    std::lock_guard lock(logFilesMutex_);
    errorLogFile_ = file;
}

}  // namespace tvr::client
