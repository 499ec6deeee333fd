#pragma once
// The dump, load and online statements as a client writes them:
//   dump database DB to "FILE" [with ...]
//   dump tran[saction] DB with truncate_only | no_log
//   dump tran[saction] DB to "FILE" [with ...]
//   load database DB from "FILE" [with ...]
//   load tran[saction] DB from "FILE" [with ...]
//   online database DB
// The options after with (init, compression, ...) are accepted and have no effect.
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
        Online
    };
    Kind kind = Kind::DumpDatabase;
    std::string database;
    std::string device;
    bool standby = false;  // online database ... for standby_access
};

// True when the tokens begin a statement of this family (dump, load, or online database).
bool isBackupStatement(const std::vector<SqlToken>& tokens);

// The statement, or nullopt with the text of the token the syntax error is near.
std::optional<BackupStatement> parseBackupStatement(const std::vector<SqlToken>& tokens,
                                                    std::string& nearText);

}  // namespace tvr::sim
