#include "sim/statements/BulkCopy.h"

#include "sim/statements/BulkRows.h"
#include "sim/statements/ServerMessages.h"
#include "sim/statements/SqlRunner.h"

namespace tvr::sim {
namespace {

bool isInsertBulk(const Statement& statement) {
    return statement.startsWith({"insert", "bulk"}) && statement.tokens.size() > 2;
}

// The table as written ("sales..t", "dbo.t", "t"): the tokens after "bulk" up to "with".
std::string tableText(const Statement& statement) {
    std::string table;
    for (std::size_t i = 2; i < statement.tokens.size(); ++i) {
        if (statement.tokens[i].isWord("with")) break;
        table += statement.tokens[i].text;
    }
    return table;
}

// A bulk copy in under way: the table as the client named it, its columns as described to the
// client, and the line of the insert bulk statement.
struct PendingBulkCopy {
    std::string table;
    std::vector<Column> columns;
    int line = 1;
};

StatementOutcome copyBulkRows(ExecutionContext& context, const PendingBulkCopy& target,
                              const std::vector<std::uint8_t>& rows);

StatementOutcome runInsertBulk(ExecutionContext& context, const Statement& statement) {
    context.bulkData = nullptr;
    const std::string table = tableText(statement);
    const auto query = makeStatement(context, "select * from " + table, statement.line);
    if (!query) return failStatement(context, statement, messages::syntaxError(table));
    const auto described = queryColumns(context, *query);
    if (const auto* failed = std::get_if<StatementOutcome>(&described)) return *failed;
    const auto& columns = std::get<std::vector<Column>>(described);
    if (columns.empty()) return failStatement(context, statement, messages::objectNotFound(table));
    const PendingBulkCopy target{table, columns, statement.line};
    context.bulkData = [target](ExecutionContext& c, const std::vector<std::uint8_t>& rows) {
        return copyBulkRows(c, target, rows);
    };
    return {};
}

std::string insertText(const PendingBulkCopy& target, const BulkRow& row) {
    std::string names;
    std::string values;
    for (std::size_t c = 0; c < row.size(); ++c) {
        if (!names.empty()) {
            names += ", ";
            values += ", ";
        }
        names += "[" + target.columns[c].name + "]";
        values += row[c] ? *row[c] : std::string("NULL");
    }
    return "insert into " + target.table + " (" + names + ") values (" + values + ")";
}

StatementOutcome copyBulkRows(ExecutionContext& context, const PendingBulkCopy& target,
                              const std::vector<std::uint8_t>& rows) {
    Statement origin;
    origin.line = target.line;
    std::string why;
    const auto decoded = decodeBulkRows(target.columns, rows, why);
    if (!decoded)
        return failStatement(context, origin,
                             messages::unsupportedRequest("bulk rows for " + target.table +
                                                          " that cannot be read: " + why));
    // Reached once before the transaction begins: SQLite attaches no database inside one.
    const auto probe =
        makeStatement(context, "select 1 from " + target.table + " where 1 = 0", target.line);
    if (!probe) return StatementOutcome::failed();
    const auto reached = queryValues(context, *probe);
    if (const auto* failed = std::get_if<StatementOutcome>(&reached)) return *failed;

    SqliteDatabase& db = context.database();
    const bool ownTransaction = !db.inTransaction();
    if (ownTransaction) db.execute("BEGIN");
    std::int64_t copied = 0;
    for (const BulkRow& row : *decoded) {
        const auto insert = makeStatement(context, insertText(target, row), target.line);
        StatementOutcome outcome =
            insert ? runSqlStatement(context, *insert) : StatementOutcome::failed();
        if (outcome.error || outcome.cancelled) {
            if (ownTransaction && db.inTransaction()) db.execute("ROLLBACK");
            outcome.rowCount.reset();
            return outcome;
        }
        ++copied;
    }
    if (ownTransaction) db.execute("COMMIT");
    StatementOutcome done;
    done.rowCount = copied;
    context.lastRowCount = copied;
    return done;
}

}  // namespace

void addBulkCopyCommands(CommandSet& commands) {
    commands.addFirst({"insert bulk", isInsertBulk, runInsertBulk});
}

}  // namespace tvr::sim
