#include "client/MessageHandlers.h"

#include "client/Events.h"
#include "client/LogLineStyle.h"
#include "client/LogWriter.h"
#include "client/SessionRegistry.h"
#include "client/Sybase.h"
#include "platform/Prompts.h"
#include "platform/ScopeExit.h"

#include <cstring>
#include <mutex>

namespace tvr::client {
namespace {

constexpr CS_INT kDatabaseChanged = 5701;

std::mutex lastMessageMutex;
CS_SERVERMSG lastMessage{};

bool informational(CS_INT severity) { return severity == 1 || severity == 10 || severity == 13; }

void handleServerMessage(CS_CONNECTION* connection, const CS_SERVERMSG& message) {
    TSybaseConnect* owner = FindSession(connection);
    if (owner == nullptr) return;

    std::string text = serverMessageText(message);
    if (owner->TimeStamp()) text += "  " + logTimeNow();
    owner->SetServerError(true);

    if (informational(message.severity)) {
        owner->SetServerError(false);
        owner->NoteInformation(serverMessageText(message));
        if (message.msgnumber != kDatabaseChanged) PrintToLog(text, owner->LogFile());
        sendEvent(EventInformation, text);
        return;
    }
    if (message.severity == 11 && message.msgnumber == kProcedureNotice)
        owner->SetServerError(false);
    else
        owner->NoteServerErrorNumber(message.msgnumber);
    // The record first, since a box may wait a long time for someone to press OK; the box
    // still comes when a log cannot be written.
    const auto box = onScopeExit([&] {
        if (message.severity == 14 && message.msgnumber == kLoginFailed)
            platform::prompts().messageBox(nullptr, "Unable establish connection", "Error",
                                           platform::PromptButtons::Ok, platform::PromptIcon::None);
    });
    WriteErrorRecord(message, owner->LogFile(), true);
    WriteErrorRecord(message, owner->ErrorLogFile(), false);
}

}  // namespace

CS_RETCODE ServerMessageHandler(CS_CONTEXT*, CS_CONNECTION* connection, CS_SERVERMSG* message) {
    if (message == nullptr) return CS_SUCCEED;
    {
        std::lock_guard lock(lastMessageMutex);
        lastMessage = *message;
    }
    try {
        handleServerMessage(connection, *message);
    } catch (...) {
        // A log that cannot be written loses this message; the next one tries again.
    }
    return CS_SUCCEED;
}

CS_RETCODE ClientMessageHandler(CS_CONTEXT*, CS_CONNECTION* connection, CS_CLIENTMSG* message) {
    if (message == nullptr) return CS_SUCCEED;
    TSybaseConnect* owner = FindSession(connection);
    // A call that got no answer within its limit is abandoned, not waited for again.
    const bool abandon = owner && message->msgnumber == kCallTimedOut && owner->NoteCallTimeout();
    try {
        if (owner) {
            const std::string text(message->msgstring,
                                   ::strnlen(message->msgstring, sizeof message->msgstring));
            PrintToLog(std::string(kErrMarker) + text, owner->LogFile());
        }
    } catch (...) {
        // As for server messages: the entry is lost, the library is not disturbed.
    }
    return abandon ? CS_FAIL : CS_SUCCEED;
}

CS_RETCODE LibraryMessageHandler(CS_CONTEXT*, CS_CLIENTMSG*) { return CS_FAIL; }

CS_SERVERMSG LastServerMessage() {
    std::lock_guard lock(lastMessageMutex);
    return lastMessage;
}

std::string lastServerMessageText() { return serverMessageText(LastServerMessage()); }

}  // namespace tvr::client
