#pragma once
// The dump, load and online statements as a client writes them:
//   dump database DB to "FILE" [with ...]
//   dump tran[saction] DB with truncate_only | no_log
//   dump tran[saction] DB to "FILE" [with ...]   (no_truncate among the options keeps the log)
//   load database DB from "FILE" [with ...]
//   load tran[saction] DB from "FILE" [with ...]
//   load database|tran[saction] DB from "FILE" with headeronly[, ...]   (reads the header only)
//   online database DB
// The other options after with (init, compression, standby_access, ...) are accepted and have
// no effect.
#include <optional>
#include <string>
#include <vector>

#include "sim/statements/SqlLexer.h"

namespace tvr::sim {

struct BackupStatement {
    enum class Kind {
        DumpDatabase,
        DumpTransaction,
        TruncateLog,
        LoadDatabase,
        LoadTransaction,
        LoadHeader,
        Online
    };
    Kind kind = Kind::DumpDatabase;
    std::string database;
    std::string device;
    bool standby = false;     // online database ... for standby_access
    bool noTruncate = false;  // dump tran ... with no_truncate
};

// True when the tokens begin a statement of this family (dump, load, or online database).
bool isBackupStatement(const std::vector<SqlToken>& tokens);

// The statement, or nullopt with the text of the token the syntax error is near.
std::optional<BackupStatement> parseBackupStatement(const std::vector<SqlToken>& tokens,
                                                    std::string& nearText);

}  // namespace tvr::sim
