#include "sim/procs/BackupStatements.h"

namespace tvr::sim {
namespace {

class Reader {
public:
    explicit Reader(const std::vector<SqlToken>& tokens) : tokens_(tokens) {}
    bool atEnd() const { return pos_ >= tokens_.size(); }
    const SqlToken* peek() const { return atEnd() ? nullptr : &tokens_[pos_]; }
    void skip() { ++pos_; }
    bool word(const char* w) {
        if (!atEnd() && tokens_[pos_].isWord(w)) {
            ++pos_;
            return true;
        }
        return false;
    }
    std::optional<std::string> name() {
        if (atEnd()) return std::nullopt;
        const SqlToken& t = tokens_[pos_];
        if (t.kind == SqlToken::Kind::Word) {
            ++pos_;
            return t.text;
        }
        // A quoted name: what a variable holding the name becomes in a procedure.
        if (t.kind == SqlToken::Kind::BracketName || t.kind == SqlToken::Kind::String) {
            ++pos_;
            return t.value;
        }
        return std::nullopt;
    }
    // A physical device is a quoted path; a bare word is taken as a path too.
    std::optional<std::string> device() {
        if (atEnd()) return std::nullopt;
        const SqlToken& t = tokens_[pos_];
        if (t.kind == SqlToken::Kind::String) {
            ++pos_;
            return t.value;
        }
        return name();
    }
    std::string nearText() const {
        if (atEnd()) return tokens_.empty() ? std::string() : tokens_.back().text;
        return tokens_[pos_].text;
    }

private:
    const std::vector<SqlToken>& tokens_;
    std::size_t pos_ = 0;
};

}  // namespace

bool isBackupStatement(const std::vector<SqlToken>& tokens) {
    if (tokens.empty()) return false;
    if (tokens[0].isWord("dump") || tokens[0].isWord("load")) return true;
    return tokens[0].isWord("online") && tokens.size() > 1 && tokens[1].isWord("database");
}

std::optional<BackupStatement> parseBackupStatement(const std::vector<SqlToken>& tokens,
                                                    std::string& nearText) {
    Reader r(tokens);
    BackupStatement s;
    auto fail = [&] {
        nearText = r.nearText();
        return std::nullopt;
    };
    const bool dump = r.word("dump");
    const bool load = !dump && r.word("load");
    if (!dump && !load) {
        if (!r.word("online") || !r.word("database")) return fail();
        const auto db = r.name();
        if (!db) return fail();
        if (r.word("for")) {
            if (!r.word("standby_access")) return fail();
            s.standby = true;
        }
        if (!r.atEnd()) return fail();
        s.kind = BackupStatement::Kind::Online;
        s.database = *db;
        return s;
    }
    bool transaction = false;
    if (r.word("tran") || r.word("transaction"))
        transaction = true;
    else if (!r.word("database"))
        return fail();
    const auto db = r.name();
    if (!db) return fail();
    s.database = *db;
    if (dump && transaction && r.word("with")) {
        if (!r.word("truncate_only") && !r.word("no_log")) return fail();
        if (!r.atEnd()) return fail();
        s.kind = BackupStatement::Kind::TruncateLog;
        return s;
    }
    if (!(dump ? r.word("to") : r.word("from"))) return fail();
    const auto device = r.device();
    if (!device) return fail();
    s.device = *device;
    if (!r.atEnd() && !r.word("with")) return fail();
    s.kind = dump ? (transaction ? BackupStatement::Kind::DumpTransaction
                                 : BackupStatement::Kind::DumpDatabase)
                  : (transaction ? BackupStatement::Kind::LoadTransaction
                                 : BackupStatement::Kind::LoadDatabase);
    for (const SqlToken* t = r.peek(); t != nullptr; r.skip(), t = r.peek()) {
        if (dump && transaction && t->isWord("no_truncate")) s.noTruncate = true;
        if (load && t->isWord("headeronly")) s.kind = BackupStatement::Kind::LoadHeader;
    }
    return s;
}

}  // namespace tvr::sim
