#pragma once
// The three message handlers that every context installs. They run on the thread that made
// the library call, find the connection's owner in the session registry and turn the
// message into log entries; nothing they meet ever passes back into the library.
#include <ctpublic.h>

#include <string>

namespace tvr::client {

// The server's answer to a refused logon (a wrong password, a locked login).
inline constexpr CS_INT kLoginFailed = 4002;
// The library's word that a call's time limit (CS_TIMEOUT) passed without an answer.
inline constexpr CS_INT kCallTimedOut = 20003;

// Server messages: informational ones (severity 1, 10, 13) to the activity log with their
// time of arrival, 5701 left out; everything else as an error record in both logs.
// kProcedureNotice (LogWriter.h) is written as a notice; 4002 also shows "Unable establish
// connection", after its record is written, so that the logs have it while the box waits.
CS_RETCODE ServerMessageHandler(CS_CONTEXT* context, CS_CONNECTION* connection,
                                CS_SERVERMSG* message);
// Client messages: to the activity log only, marked "$Err$". A call's time-out on a connection
// with a call limit returns CS_FAIL: the call is cancelled, and at the next one the
// connection is broken (TSybaseConnect::SetCallLimit).
CS_RETCODE ClientMessageHandler(CS_CONTEXT* context, CS_CONNECTION* connection,
                                CS_CLIENTMSG* message);
// CS-Library messages: nothing is logged; returns CS_FAIL.
CS_RETCODE LibraryMessageHandler(CS_CONTEXT* context, CS_CLIENTMSG* message);

// A copy of the most recent server message received on any connection (all zero before
// the first).
CS_SERVERMSG LastServerMessage();
// Its text, up to the first zero character.
std::string lastServerMessageText();

}  // namespace tvr::client
