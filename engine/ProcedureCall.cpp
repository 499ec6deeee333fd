#include "engine/ProcedureCall.h"

namespace tvr::engine {

std::string quotedConstantText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c == '"') out += '"';
    }
    return out;
}

std::string spTvrCallStatement(const TRS_dump_load& call) {
    return "execute sp_TVR @TypeTrans=" + std::to_string(call.TypeTrans) + ", @database_name=\"" +
           quotedConstantText(call.database_name) + "\", @pr_dump=" + std::to_string(call.pr_dump) +
           ", @pr_load=" + std::to_string(call.pr_load) + ", @pathname=\"" +
           quotedConstantText(call.pathname + DumpPathSeparator) + "\", @device_name=\"" +
           quotedConstantText(call.device_name) + "\"";
}

}  // namespace tvr::engine
