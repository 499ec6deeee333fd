#include "platform/RegistryDocument.h"

#include "platform/RegistryError.h"
#include "platform/RegistryKeyPath.h"
#include "platform/TextFolding.h"
#include "platform/Utf16Text.h"

#include <cstdio>

namespace tvr::platform {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kRoot = "HKEY_CURRENT_USER";

std::string joinNames(const KeyNames& names, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        if (i) out += '\\';
        out += names[i];
    }
    return out;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// hex(1)/hex(2) data in the UTF-16LE form earlier builds of this program wrote (and
// "Version 5.00" exports use): whole code units ending in a NUL unit.
bool looksLikeUtf16(const std::vector<std::uint8_t>& b) {
    return b.size() >= 2 && b.size() % 2 == 0 && b[b.size() - 1] == 0 && b[b.size() - 2] == 0;
}

// The text of hex(1)/hex(2) data. A REGEDIT4 export gives the text's bytes and one
// terminating NUL; data shaped as UTF-16LE is taken as such, so that files written by
// earlier builds still read. A text may hold NULs of its own and keeps them all here:
// only the text reads of the registry stop at the first NUL. Data without a terminating
// NUL, as some programs store it, is the text as it stands.
std::string textFromBytes(std::vector<std::uint8_t> bytes) {
    if (looksLikeUtf16(bytes)) {
        bytes.resize(bytes.size() - 2);
        return fromUtf16Le(bytes);
    }
    if (!bytes.empty() && bytes.back() == 0) bytes.pop_back();
    return std::string(bytes.begin(), bytes.end());
}

// Reads the lines of the file one at a time, numbering them from 1.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);
    }
    bool next(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        const std::size_t end = std::min(text_.find('\n', pos_), text_.size());
        line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos_ = end + 1;
        ++number_;
        return true;
    }
    int number() const { return number_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    int number_ = 0;
};

class Parser {
public:
    Parser(std::string_view text, const std::filesystem::path& file) : lines_(text), file_(file) {}

    [[noreturn]] void fail(const std::string& why, int line = 0) const {
        const int at = line ? line : lines_.number();
        throw RegistryError(
            file_, at,
            "Registry file \"" + file_.string() + "\", line " + std::to_string(at) + ": " + why);
    }

    // Reads a quoted text starting at s[pos] == '"'; leaves pos after the closing quote.
    std::string quoted(std::string_view s, std::size_t& pos) const {
        std::string out;
        ++pos;
        while (pos < s.size()) {
            const char c = s[pos++];
            if (c == '"') return out;
            if (c == '\\') {
                if (pos >= s.size()) break;
                const char e = s[pos++];
                if (e != '\\' && e != '"')
                    fail(std::string("unknown escape \\") + e + " in a quoted text");
                out += e;
            } else {
                out += c;
            }
        }
        fail("a quoted text is not closed");
    }

    // The comma-separated bytes of a hex: value, following continuation lines.
    std::vector<std::uint8_t> hexBytes(std::string_view data) {
        std::vector<std::uint8_t> out;
        const int first = lines_.number();
        for (;;) {
            data = trimBlanks(data);
            bool continued = false;
            if (!data.empty() && data.back() == '\\') {
                continued = true;
                data.remove_suffix(1);
            }
            std::size_t pos = 0;
            while (pos < data.size()) {
                std::size_t comma = data.find(',', pos);
                if (comma == std::string_view::npos) comma = data.size();
                const std::string_view token = trimBlanks(data.substr(pos, comma - pos));
                pos = comma + 1;
                if (token.empty()) {
                    if (comma == data.size()) break;  // a trailing comma before a line end
                    fail("an empty byte in a hex value");
                }
                if (token.size() > 2 || hexDigit(token[0]) < 0 ||
                    (token.size() == 2 && hexDigit(token[1]) < 0))
                    fail("\"" + std::string(token) + "\" is not a hex byte");
                int v = hexDigit(token[0]);
                if (token.size() == 2) v = v * 16 + hexDigit(token[1]);
                out.push_back(static_cast<std::uint8_t>(v));
            }
            if (!continued) return out;
            std::string_view next;
            if (!lines_.next(next)) fail("a hex value continues past the end of the file", first);
            data = next;
        }
    }

    RegistryValue valueData(std::string_view data) {
        if (!data.empty() && data.front() == '"') {
            std::size_t pos = 0;
            std::string text = quoted(data, pos);
            if (!trimBlanks(data.substr(pos)).empty()) fail("text after the closing quote");
            return RegistryValue::string(std::move(text));
        }
        if (data.substr(0, 6) == "dword:") {
            const std::string_view digits = trimBlanks(data.substr(6));
            if (digits.empty() || digits.size() > 8) fail("a dword needs 1 to 8 hex digits");
            std::uint32_t n = 0;
            for (char c : digits) {
                if (hexDigit(c) < 0) fail("\"" + std::string(digits) + "\" is not a hex dword");
                n = n * 16 + static_cast<std::uint32_t>(hexDigit(c));
            }
            return RegistryValue::dword(n);
        }
        if (data.substr(0, 3) == "hex") {
            std::uint32_t type = static_cast<std::uint32_t>(RegType::Binary);
            std::size_t pos = 3;
            if (pos < data.size() && data[pos] == '(') {
                const std::size_t close = data.find(')', pos);
                if (close == std::string_view::npos || close == pos + 1 || close > pos + 9)
                    fail("a malformed hex(type)");
                type = 0;
                for (std::size_t i = pos + 1; i < close; ++i) {
                    if (hexDigit(data[i]) < 0) fail("a malformed hex(type)");
                    type = type * 16 + static_cast<std::uint32_t>(hexDigit(data[i]));
                }
                pos = close + 1;
            }
            if (pos >= data.size() || data[pos] != ':') fail("a hex value needs a colon");
            const int line = lines_.number();
            std::vector<std::uint8_t> bytes = hexBytes(data.substr(pos + 1));
            if (type == 1 || type == 2) {
                RegistryValue v = RegistryValue::string(textFromBytes(std::move(bytes)));
                v.type = type;
                return v;
            }
            if (type == 4) {
                if (bytes.size() != 4) fail("a hex(4) dword of other than 4 bytes", line);
                return RegistryValue::dword(static_cast<std::uint32_t>(
                    bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (bytes[3] << 24)));
            }
            return RegistryValue::raw(type, std::move(bytes));
        }
        if (data == "-") fail("value deletions do not belong in a stored registry");
        fail("unknown value data \"" + std::string(data) + "\"");
    }

    RegistryDocument run() {
        RegistryDocument doc;
        bool header = false;
        bool inKey = false;
        KeyNames key;
        std::string_view raw;
        while (lines_.next(raw)) {
            const std::string_view line = trimBlanks(raw);
            if (line.empty()) continue;
            if (!header) {
                if (line != kHeader) fail("the file does not begin with REGEDIT4");
                header = true;
                continue;
            }
            if (line.front() == ';') continue;
            if (line.front() == '[') {
                if (line.back() != ']') fail("a key line does not end with ]");
                std::string_view path = line.substr(1, line.size() - 2);
                if (!path.empty() && path.front() == '-')
                    fail("key deletions do not belong in a stored registry");
                if (path.size() < kRoot.size() ||
                    !sameIgnoringAsciiCase(path.substr(0, kRoot.size()), kRoot) ||
                    (path.size() > kRoot.size() && path[kRoot.size()] != '\\'))
                    fail("the key is not below HKEY_CURRENT_USER");
                path.remove_prefix(std::min(path.size(), kRoot.size() + 1));
                key.clear();
                std::size_t start = 0;
                while (!path.empty() && start <= path.size()) {
                    const std::size_t end = std::min(path.find('\\', start), path.size());
                    if (end == start) fail("an empty key name");
                    key.emplace_back(path.substr(start, end - start));
                    start = end + 1;
                }
                doc.createKey(key);
                inKey = true;
                continue;
            }
            if (!inKey) fail("a value before the first key");
            std::string name;
            std::size_t pos = 0;
            if (line.front() == '@') {
                pos = 1;
            } else if (line.front() == '"') {
                name = quoted(line, pos);
            } else {
                fail("a line that is neither a key nor a value");
            }
            while (pos < line.size() && isBlank(line[pos])) ++pos;
            if (pos >= line.size() || line[pos] != '=') fail("a value name without =");
            doc.setValue(key, name, valueData(trimBlanks(line.substr(pos + 1))));
        }
        return doc;
    }

private:
    LineReader lines_;
    const std::filesystem::path& file_;
};

void appendQuoted(std::string& out, std::string_view s) {
    out += '"';
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

void appendHex(std::string& out, std::size_t lineStart, const std::string& prefix,
               const std::vector<std::uint8_t>& bytes) {
    out += prefix;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
        out += buf;
        if (i + 1 == bytes.size()) break;
        out += ',';
        // Long values continue on indented lines, as regedit wraps them.
        if (out.size() - lineStart > 76) {
            out += "\\\n  ";
            lineStart = out.size() - 2;
        }
    }
}

// The hex(1)/hex(2) bytes of a text: its own bytes and one terminating NUL, as a REGEDIT4
// export writes them. The one text those bytes cannot carry is one that ends in a NUL of
// its own after an even number of bytes: it would come back as UTF-16LE, so it keeps that
// form, which reads back exactly.
std::vector<std::uint8_t> textBytes(std::string_view text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    if (!looksLikeUtf16(bytes)) return bytes;
    bytes = toUtf16Le(text);
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

void appendValue(std::string& out, const std::string& name, const RegistryValue& v) {
    const std::size_t lineStart = out.size();
    if (name.empty())
        out += '@';
    else
        appendQuoted(out, name);
    out += '=';
    char buf[32];
    switch (v.type) {
        case 1:
            if (v.text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos)
                appendQuoted(out, v.text);
            else
                appendHex(out, lineStart, "hex(1):", textBytes(v.text));
            break;
        case 2:
            appendHex(out, lineStart, "hex(2):", textBytes(v.text));
            break;
        case 4:
            std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(v.number));
            out += buf;
            break;
        case 3:
            appendHex(out, lineStart, "hex:", v.bytes);
            break;
        default:
            std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
            appendHex(out, lineStart, buf, v.bytes);
            break;
    }
    out += '\n';
}

}  // namespace

bool RegistryDocument::TreeOrder::operator()(const std::string& a, const std::string& b) const {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned x = a[i] == '\\' ? 0u : static_cast<unsigned char>(a[i]) + 1u;
        const unsigned y = b[i] == '\\' ? 0u : static_cast<unsigned char>(b[i]) + 1u;
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

RegistryDocument RegistryDocument::parse(std::string_view text, const std::filesystem::path& file) {
    return Parser(text, file).run();
}

std::string RegistryDocument::serialize() const {
    std::string out(kHeader);
    out += "\n\n";
    for (const auto& [folded, key] : keys_) {
        if (folded.empty() && key.values.empty()) continue;
        out += '[';
        out += kRoot;
        if (!key.path.empty()) {
            out += '\\';
            out += key.path;
        }
        out += "]\n";
        for (const NamedValue& v : key.values) appendValue(out, v.name, v.value);
        out += '\n';
    }
    return out;
}

RegistryDocument::Key& RegistryDocument::ensureKey(const KeyNames& key, bool* created) {
    Key* parent = nullptr;
    for (std::size_t n = 0; n <= key.size(); ++n) {
        const std::string folded = asciiLower(joinNames(key, n));
        auto it = keys_.find(folded);
        if (it == keys_.end()) {
            std::string path = parent && !parent->path.empty() ? parent->path + "\\" : "";
            if (n) path += key[n - 1];
            it = keys_.emplace(folded, Key{std::move(path), {}}).first;
            if (created && n) *created = true;
        }
        parent = &it->second;
    }
    return *parent;
}

bool RegistryDocument::hasKey(const KeyNames& key) const {
    return key.empty() || keys_.count(asciiLower(joinNames(key, key.size()))) > 0;
}

bool RegistryDocument::createKey(const KeyNames& key) {
    bool created = false;
    ensureKey(key, &created);
    return created;
}

const RegistryValue* RegistryDocument::value(const KeyNames& key, std::string_view name) const {
    const auto it = keys_.find(asciiLower(joinNames(key, key.size())));
    if (it == keys_.end()) return nullptr;
    for (const NamedValue& v : it->second.values)
        if (sameIgnoringAsciiCase(v.name, name)) return &v.value;
    return nullptr;
}

bool RegistryDocument::setValue(const KeyNames& key, std::string_view name, RegistryValue value) {
    bool created = false;
    Key& k = ensureKey(key, &created);
    for (NamedValue& v : k.values) {
        if (!sameIgnoringAsciiCase(v.name, name)) continue;
        if (v.value == value) return created;
        v.value = std::move(value);
        return true;
    }
    k.values.push_back({std::string(name), std::move(value)});
    return true;
}

}  // namespace tvr::platform
