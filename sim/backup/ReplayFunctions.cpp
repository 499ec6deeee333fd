#include "sim/backup/ReplayFunctions.h"

#include "sim/statements/SqlFunctions.h"

namespace tvr::sim {
namespace {

void replayText(sqlite3_context* call, const std::string& text) {
    sqlite3_result_text(call, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

}  // namespace

void registerReplayFunctions(sqlite3* db, ReplayScope& scope) {
    struct Function {
        const char* name;
        int arguments;
        void (*body)(sqlite3_context*, int, sqlite3_value**);
    };
    static const Function functions[] = {
        {"getdate", 0,
         [](sqlite3_context* c, int, sqlite3_value**) {
             replayText(c, static_cast<ReplayScope*>(sqlite3_user_data(c))->time);
         }},
        {"db_name", 0,
         [](sqlite3_context* c, int, sqlite3_value**) {
             replayText(c, static_cast<ReplayScope*>(sqlite3_user_data(c))->database);
         }},
        {"user_name", 0, [](sqlite3_context* c, int, sqlite3_value**) { replayText(c, "dbo"); }},
        {"suser_name", 0, [](sqlite3_context* c, int, sqlite3_value**) { replayText(c, "sa"); }},
        {"host_name", 0, [](sqlite3_context* c, int, sqlite3_value**) { replayText(c, ""); }},
        {"app_name", 0, [](sqlite3_context* c, int, sqlite3_value**) { replayText(c, ""); }},
    };
    for (const Function& f : functions)
        sqlite3_create_function_v2(db, f.name, f.arguments, SQLITE_UTF8, &scope, f.body, nullptr,
                                   nullptr, nullptr);
    registerTextFunctions(db);
}

void unregisterReplayFunctions(sqlite3* db) {
    for (const char* name : {"getdate", "db_name"})
        sqlite3_create_function_v2(db, name, 0, SQLITE_UTF8, nullptr, nullptr, nullptr, nullptr,
                                   nullptr);
}

}  // namespace tvr::sim
