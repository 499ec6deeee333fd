#pragma once
// The server's own messages with their real numbers, severities and texts. System messages
// end with a line feed, as the server sends them; print texts are sent as written.
#include "sim/protocol/ServerTokens.h"

#include <string>

namespace tvr::sim::messages {

// A system message: the text is sent with the line feed that ends every such text.
ServerMessage systemMessage(int number, int severity, int state, std::string text);

ServerMessage loginFailed();                                 // 4002, severity 14
ServerMessage databaseChanged(const std::string& database);  // 5701, severity 10
ServerMessage noSuchDatabase(const std::string& database);   // 911, severity 11
ServerMessage databaseOffline(const std::string& database);  // 950, severity 14
ServerMessage databaseSuspect(const std::string& database);  // 926, severity 14
ServerMessage readOnly(const std::string& database);         // 3906, severity 16
ServerMessage syntaxError(const std::string& nearText);      // 102, severity 15
ServerMessage unclosedQuote(const std::string& nearText);    // 105, severity 15
ServerMessage undeclaredVariable(const std::string& name);   // 137, severity 15
ServerMessage objectNotFound(const std::string& name);       // 208, severity 16
ServerMessage invalidColumn(const std::string& name);        // 207, severity 16
ServerMessage objectExists(const std::string& name);         // 2714, severity 16
ServerMessage cannotDropTable(const std::string& name);      // 3701, severity 11
ServerMessage functionNotFound(const std::string& name);     // 14216, severity 16
ServerMessage divideByZero();                                // 3607, severity 16
ServerMessage objectNotInDatabase();                         // 17461, severity 16
ServerMessage objectInOtherDatabase();                       // 17460, severity 16
ServerMessage procedureNotFound(const std::string& name);    // 2812, severity 16
ServerMessage duplicateKey(const std::string& detail);       // 2601, severity 14
ServerMessage nullNotAllowed(const std::string& detail);     // 515, severity 16
ServerMessage conversionFailed(const std::string& text,
                               const std::string& type);    // 249, severity 16
ServerMessage noTransaction(bool commit);                   // 3902 / 3903, severity 16
ServerMessage deadlock();                                   // 1205, severity 13
ServerMessage useInTransaction();                           // 226, severity 16
ServerMessage databaseExists(const std::string& database);  // 1801, severity 16
ServerMessage unsupportedRequest(const std::string& what);  // 7, severity 16
ServerMessage internalError(const std::string& detail);     // 7, severity 16
ServerMessage print(const std::string& text);               // 0, severity 10

}  // namespace tvr::sim::messages
