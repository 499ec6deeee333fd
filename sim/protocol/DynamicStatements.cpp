#include "sim/protocol/DynamicStatements.h"

#include <cctype>

namespace tvr::sim {
namespace {

// Skips the whitespace at `pos`; then, when `word` follows (any case), moves past it.
bool skipWord(const std::string& text, std::size_t& pos, const std::string& word) {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    if (text.size() - pos < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[pos + i])) != word[i]) return false;
    pos += word.size();
    return true;
}

// Where the quoted text or comment starting at `pos` ends (one past it).
std::size_t endOfQuoted(const std::string& text, std::size_t pos) {
    const char open = text[pos];
    if (open == '-' || open == '/') {
        const std::size_t end = open == '-' ? text.find('\n', pos) : text.find("*/", pos + 2);
        if (end == std::string::npos) return text.size();
        return open == '-' ? end : end + 2;
    }
    const char close = open == '[' ? ']' : open;
    std::size_t i = pos + 1;
    while (i < text.size()) {
        if (text[i] == close) {
            if (close != ']' && i + 1 < text.size() && text[i + 1] == close) {
                i += 2;  // a doubled quote
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return text.size();
}

bool opensQuoted(const std::string& text, std::size_t i) {
    const char c = text[i];
    if (c == '\'' || c == '"' || c == '[') return true;
    return i + 1 < text.size() &&
           ((c == '-' && text[i + 1] == '-') || (c == '/' && text[i + 1] == '*'));
}

}  // namespace

void DynamicStatements::prepare(const std::string& id, const std::string& text) {
    statements_[id] = withoutProcedureHeader(id, text);
}

const std::string* DynamicStatements::find(const std::string& id) const {
    const auto found = statements_.find(id);
    return found == statements_.end() ? nullptr : &found->second;
}

bool DynamicStatements::deallocate(const std::string& id) { return statements_.erase(id) != 0; }

std::string withoutProcedureHeader(const std::string& id, const std::string& text) {
    std::size_t pos = 0;
    std::string lowerId;
    for (char c : id) lowerId += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (skipWord(text, pos, "create") && skipWord(text, pos, "proc") &&
        (skipWord(text, pos, "edure") || true) && skipWord(text, pos, lowerId) &&
        skipWord(text, pos, "as") && pos < text.size() &&
        std::isspace(static_cast<unsigned char>(text[pos])))
        return text.substr(pos + 1);
    return text;
}

std::optional<std::string> bindPlaceholders(const std::string& text,
                                            const std::vector<RpcParameter>& parameters,
                                            std::string& why) {
    std::string bound;
    std::size_t next = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (opensQuoted(text, i)) {
            const std::size_t end = endOfQuoted(text, i);
            bound.append(text, i, end - i);
            i = end;
            continue;
        }
        if (text[i] == '?') {
            if (next == parameters.size()) {
                why = "more placeholders than the " + std::to_string(parameters.size()) +
                      " values given";
                return std::nullopt;
            }
            bound += parameters[next].literal.value_or("NULL");
            ++next;
        } else {
            bound += text[i];
        }
        ++i;
    }
    if (next != parameters.size()) {
        why = std::to_string(parameters.size()) + " values for " + std::to_string(next) +
              " placeholders";
        return std::nullopt;
    }
    return bound;
}

}  // namespace tvr::sim
