#include "sim/statements/SqliteErrors.h"

#include "sim/statements/ColumnLengths.h"
#include "sim/statements/ConvertFunction.h"
#include "sim/statements/DivisionCheck.h"

namespace tvr::sim {
namespace {

std::string afterColon(const std::string& text) {
    std::size_t colon = text.find(':');
    std::string rest = colon == std::string::npos ? text : text.substr(colon + 1);
    while (!rest.empty() && rest.front() == ' ') rest.erase(rest.begin());
    return rest;
}

std::string withoutSchema(const std::string& name) {
    std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(dot + 1);
}

}  // namespace

ServerMessage messageForSqliteError(const std::string& text, const Statement& statement) {
    ServerMessage message;
    if (std::optional<ServerMessage> conversion = convertErrorMessage(text)) {
        message = *conversion;
    } else if (isDivideByZeroError(text)) {
        message = messages::divideByZero();
    } else if (isTruncationError(text)) {
        message = truncationRefused();
    } else if (text.rfind("near \"", 0) == 0) {
        std::size_t end = text.find("\": syntax error");
        message = messages::syntaxError(end == std::string::npos ? text : text.substr(6, end - 6));
    } else if (text.find("incomplete input") != std::string::npos) {
        message = messages::syntaxError(statement.tokens.empty() ? std::string()
                                                                 : statement.tokens.back().text);
    } else if (text.rfind("no such table:", 0) == 0 || text.rfind("no such view:", 0) == 0) {
        message = messages::objectNotFound(withoutSchema(afterColon(text)));
    } else if (text.rfind("no such column:", 0) == 0) {
        message = messages::invalidColumn(withoutSchema(afterColon(text)));
    } else if (text.find(" already exists") != std::string::npos) {
        std::string name = text.substr(0, text.find(" already exists"));
        std::size_t space = name.rfind(' ');
        message = messages::objectExists(
            withoutSchema(space == std::string::npos ? name : name.substr(space + 1)));
    } else if (text.rfind("no such function:", 0) == 0) {
        message = messages::functionNotFound(afterColon(text));
    } else if (text.rfind("UNIQUE constraint failed:", 0) == 0) {
        message = messages::duplicateKey("'" + afterColon(text) + "'");
    } else if (text.rfind("NOT NULL constraint failed:", 0) == 0) {
        message = messages::nullNotAllowed("'" + afterColon(text) + "'");
    } else if (text.find("database is locked") != std::string::npos ||
               text.find("database table is locked") != std::string::npos) {
        message = messages::deadlock();
    } else if (text.rfind("unknown database", 0) == 0) {
        message = messages::noSuchDatabase(afterColon(text));
    } else {
        message = messages::internalError(text);
    }
    message.line = statement.line;
    return message;
}

}  // namespace tvr::sim
