// sp_help and sp_who, the system procedures an administrator types first in isql: the objects
// of the current database, one object with its columns, and the server's connections.
#include "sim/statements/SystemInformation.h"

#include <algorithm>

#include "sim/statements/DateTime.h"
#include "sim/statements/ServerMessages.h"
#include "sim/statements/SqlLexer.h"
#include "sim/statements/SystemCatalogs.h"

namespace tvr::sim {
namespace {

Column text(const char* name, int length, bool nullable = false) {
    return Column{name, ColumnKind::VarChar, length, nullable};
}
Column number(const char* name, ColumnKind kind, bool nullable = false) {
    return Column{name, kind, 0, nullable};
}

void sendRows(ExecutionContext& context, const std::vector<Column>& columns,
              const std::vector<Row>& rows) {
    context.sink().rowFormat(columns);
    for (const Row& row : rows) context.sink().row(row);
    context.sink().done(TokenDoneInProc, DoneMore | DoneCount,
                        static_cast<std::int32_t>(rows.size()));
}

std::string objectTypeName(const std::string& type) {
    if (type == "U") return "user table";
    if (type == "V") return "view";
    if (type == "P") return "stored procedure";
    return "system table";
}

Value dateValue(const std::optional<std::string>& text) {
    if (!text) return Value{};
    if (std::optional<DateTimeValue> parsed = parseDateTime(*text)) return Value{*parsed};
    return Value{};
}

const std::vector<Column>& objectColumns() {
    static const std::vector<Column> columns = {
        text("Name", 255),
        text("Owner", 30),
        text("Object_type", 22),
        text("Object_status", 255, true),
        number("Create_date", ColumnKind::DateTime, true),
    };
    return columns;
}

Row objectRow(const CatalogObject& object) {
    return Row{object.name, std::string("dbo"), objectTypeName(object.type),
               std::string("-- none --"), dateValue(object.crdate)};
}

std::int32_t spHelp(ExecutionContext& context, const ProcedureArguments& arguments,
                    const Statement&) {
    sqlite3* db = context.database().handle();
    std::vector<CatalogObject> objects = catalogObjects(db, "main");
    const std::optional<std::string> wanted = arguments.get("@objname", 0);
    if (!wanted) {
        std::stable_sort(objects.begin(), objects.end(),
                         [](const CatalogObject& a, const CatalogObject& b) {
                             return objectTypeName(a.type) < objectTypeName(b.type);
                         });
        std::vector<Row> rows;
        for (const CatalogObject& object : objects) rows.push_back(objectRow(object));
        sendRows(context, objectColumns(), rows);
        return 0;
    }
    // [[database.]owner.]name: the owner is dbo here, another database is refused.
    std::string name = *wanted;
    const std::size_t first = name.find('.');
    const std::size_t last = name.rfind('.');
    if (first != last && name.substr(0, first) != context.currentDatabase()) {
        ServerMessage message = messages::objectInOtherDatabase();
        message.procedure = "sp_help";
        context.sink().message(message);
        return 1;
    }
    if (last != std::string::npos) name = name.substr(last + 1);
    const auto found = std::find_if(objects.begin(), objects.end(), [&](const CatalogObject& o) {
        return asciiLower(o.name) == asciiLower(name);
    });
    if (found == objects.end()) {
        ServerMessage message = messages::objectNotInDatabase();
        message.procedure = "sp_help";
        context.sink().message(message);
        return 1;
    }
    sendRows(context, objectColumns(), {objectRow(*found)});
    if (found->type == "P") return 0;
    const std::vector<Column> columns = {
        text("Column_name", 255),
        text("Type", 255),
        number("Length", ColumnKind::Int),
        number("Prec", ColumnKind::Int, true),
        number("Scale", ColumnKind::Int, true),
        number("Nulls", ColumnKind::Int),
        text("Default_name", 255, true),
        text("Rule_name", 255, true),
        text("Access_Rule_name", 255, true),
        text("Computed_Column_object", 255, true),
        number("Identity", ColumnKind::Int),
    };
    std::vector<Row> rows;
    for (const CatalogColumn& column : catalogColumns(db, "main", found->name)) {
        auto optionalNumber = [](const std::optional<int>& n) {
            return n ? Value{static_cast<std::int64_t>(*n)} : Value{};
        };
        rows.push_back(Row{column.name, column.typeName, static_cast<std::int64_t>(column.length),
                           optionalNumber(column.precision), optionalNumber(column.scale),
                           static_cast<std::int64_t>(column.nullable ? 1 : 0), Value{}, Value{},
                           Value{}, Value{}, std::int64_t{0}});
    }
    sendRows(context, columns, rows);
    return 0;
}

std::int32_t spWho(ExecutionContext& context, const ProcedureArguments& arguments,
                   const Statement&) {
    // sp_who [login | spid]
    const std::optional<std::string> filter = arguments.get("@loginame", 0);
    const std::vector<Column> columns = {
        number("fid", ColumnKind::SmallInt),
        number("spid", ColumnKind::SmallInt),
        text("status", 12),
        text("loginame", 30, true),
        text("origname", 30, true),
        text("hostname", 30, true),
        number("blk_spid", ColumnKind::SmallInt),
        text("dbname", 30, true),
        text("tempdbname", 30, true),
        text("cmd", 30),
        number("block_xloid", ColumnKind::Int),
        text("threadpool", 30, true),
    };
    std::vector<Row> rows;
    for (const SessionInfo& session : context.server().sessions()) {
        if (filter && *filter != session.login && *filter != std::to_string(session.id)) continue;
        const bool self = session.id == context.connectionId();
        rows.push_back(Row{std::int64_t{0}, static_cast<std::int64_t>(session.id),
                           std::string(self ? "running" : "recv sleep"), session.login,
                           session.login, session.host, std::int64_t{0}, session.database,
                           std::string("tempdb"), std::string(self ? "INSERT" : "AWAITING COMMAND"),
                           std::int64_t{0}, std::string("syb_default_pool")});
    }
    sendRows(context, columns, rows);
    return 0;
}

}  // namespace

void addSystemInformation(CommandSet& commands) {
    commands.addProcedure("sp_help", spHelp);
    commands.addProcedure("sp_who", spWho);
}

}  // namespace tvr::sim
