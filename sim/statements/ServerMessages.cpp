#include "sim/statements/ServerMessages.h"

namespace tvr::sim::messages {
namespace {

ServerMessage make(int number, int severity, std::string text, int state = 1) {
    return systemMessage(number, severity, state, std::move(text));
}

const char* const SpHelpHint =
    " not found. Specify owner.objectname or use sp_help to check whether the object exists "
    "(sp_help may produce lots of output).";

}  // namespace

ServerMessage systemMessage(int number, int severity, int state, std::string text) {
    ServerMessage message;
    message.number = number;
    message.severity = static_cast<std::uint8_t>(severity);
    message.state = static_cast<std::uint8_t>(state);
    message.text = std::move(text);
    message.text += '\n';
    return message;
}

ServerMessage loginFailed() { return make(4002, 14, "Login failed."); }

ServerMessage databaseChanged(const std::string& database) {
    return make(5701, 10, "Changed database context to '" + database + "'.");
}

ServerMessage noSuchDatabase(const std::string& database) {
    return make(
        911, 11,
        "Attempt to locate entry in sysdatabases for database '" + database +
            "' by name failed - no entry found under that name. Make sure that name is entered "
            "properly.",
        2);
}

ServerMessage databaseOffline(const std::string& database) {
    return make(950, 14,
                "Database '" + database +
                    "' is currently offline. Please wait and retry or contact a user "
                    "with System Administrator (SA) role.");
}

ServerMessage readOnly(const std::string& database) {
    return make(3906, 16,
                "Attempt to BEGIN TRANsaction in database '" + database +
                    "' failed because database is READ ONLY.");
}

ServerMessage databaseSuspect(const std::string& database) {
    return make(926, 14,
                "Database '" + database +
                    "' cannot be opened. An earlier attempt at recovery marked it 'suspect'. "
                    "Check the ASE errorlog for information as to the cause.");
}

ServerMessage syntaxError(const std::string& nearText) {
    return make(102, 15, "Incorrect syntax near '" + nearText + "'.");
}

ServerMessage unclosedQuote(const std::string& nearText) {
    return make(105, 15, "Unclosed quote before the character string '" + nearText + "'.");
}

ServerMessage undeclaredVariable(const std::string& name) {
    return make(137, 15, "Must declare variable '" + name + "'.");
}

ServerMessage objectNotFound(const std::string& name) { return make(208, 16, name + SpHelpHint); }

ServerMessage invalidColumn(const std::string& name) {
    return make(207, 16, "Invalid column name '" + name + "'.");
}

ServerMessage objectExists(const std::string& name) {
    return make(2714, 16, "There is already an object named '" + name + "' in the database.");
}

ServerMessage cannotDropTable(const std::string& name) {
    return make(
        3701, 11,
        "Cannot drop the table '" + name + "', because it doesn't exist in the system catalogs.");
}

ServerMessage functionNotFound(const std::string& name) {
    return make(14216, 16, "Function '" + name + "' not found.");
}

ServerMessage objectNotInDatabase() {
    return make(17461, 16, "Object does not exist in this database.");
}

ServerMessage objectInOtherDatabase() {
    return make(17460, 16, "Object must be in the current database.");
}

ServerMessage divideByZero() { return make(3607, 16, "Divide by zero occurred."); }

ServerMessage procedureNotFound(const std::string& name) {
    return make(2812, 16, "Stored procedure '" + name + "'" + SpHelpHint);
}

ServerMessage duplicateKey(const std::string& detail) {
    return make(2601, 14, "Attempt to insert duplicate key row in object " + detail + ".");
}

ServerMessage nullNotAllowed(const std::string& detail) {
    return make(
        515, 16,
        "Attempt to insert NULL value into column " + detail + "; column does not allow nulls.");
}

ServerMessage conversionFailed(const std::string& text, const std::string& type) {
    return make(249, 16,
                "Syntax error during explicit conversion of VARCHAR value '" + text + "' to a " +
                    type + " field.");
}

ServerMessage noTransaction(bool commit) {
    const char* verb = commit ? "COMMIT" : "ROLLBACK";
    return make(commit ? 3902 : 3903, 16,
                std::string("The ") + verb +
                    " TRANSACTION request has no corresponding BEGIN TRANSACTION.");
}

ServerMessage deadlock() {
    return make(1205, 13,
                "Your server command encountered a deadlock situation. Please re-run your command.",
                1);
}

ServerMessage useInTransaction() {
    return make(226, 16, "USE DATABASE command not allowed within multi-statement transaction.");
}

ServerMessage databaseExists(const std::string& database) {
    return make(1801, 16, "Database '" + database + "' already exists.");
}

ServerMessage unsupportedRequest(const std::string& what) {
    return make(7, 16, "This server does not support " + what + ".");
}

ServerMessage internalError(const std::string& detail) {
    return make(7, 16, "Internal error: " + detail);
}

ServerMessage print(const std::string& text) {
    ServerMessage message;
    message.number = 0;
    message.severity = 10;
    message.state = 1;
    message.text = text;
    return message;
}

}  // namespace tvr::sim::messages
