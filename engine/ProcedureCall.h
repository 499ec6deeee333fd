#pragma once
// The statement that runs one step of sp_TVR on a server, and the record it is built from.
#include <cstdint>
#include <string>

namespace tvr::engine {

// The arguments of one call of sp_TVR, in the order of the procedure's parameters.
struct TRS_dump_load {
    std::int32_t TypeTrans = 0;  // 0: whole database; 1: transaction log
    std::string database_name;   // database on that server
    std::int32_t pr_dump = 0;    // 1 in the dump record
    std::int32_t pr_load = 0;    // 1 in the load record
    std::string pathname;        // folder of the dump file as that server sees it, as typed
    std::string device_name;     // file name of the current pass
};

// The folder separator the servers get after `pathname`.
inline constexpr char DumpPathSeparator = '/';

// `execute sp_TVR @TypeTrans=T, @database_name="D", @pr_dump=P, @pr_load=L,
// @pathname="F/", @device_name="N"` on one line. The separator is always appended to the
// folder, even when it already ends with one. A double quote inside a text is doubled, so
// that it stays part of the constant instead of ending it.
std::string spTvrCallStatement(const TRS_dump_load& call);

// `text` as the inside of a double-quoted constant: every " doubled.
std::string quotedConstantText(const std::string& text);

}  // namespace tvr::engine
