#include "engine/CsvText.h"

namespace tvr::engine {

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::vector<std::vector<std::string>> csvRecords(const std::string& text, bool* cutShort) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    bool any = false;
    const auto endRecord = [&] {
        if (any || !field.empty() || !fields.empty()) {
            fields.push_back(std::move(field));
            records.push_back(std::move(fields));
        }
        fields.clear();
        field.clear();
        any = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"') {
                field += c;
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == '"') {
            quoted = any = true;
        } else if (c == ',') {
            fields.push_back(std::move(field));
            field.clear();
            any = true;
        } else if (c == '\n') {
            endRecord();
        } else if (c != '\r') {
            field += c;
        }
    }
    if (cutShort) *cutShort = any || !field.empty() || !fields.empty();
    return records;
}

}  // namespace tvr::engine
