#include "engine/ProcedureCall.h"

namespace tvr::engine {

std::string QuotedConstantText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c == '"') out += '"';
    }
    return out;
}

std::string SpTvrCallStatement(const TRS_dump_load& call) {
    return "execute sp_TVR @TypeTrans=" + std::to_string(call.TypeTrans) + ", @database_name=\"" +
           QuotedConstantText(call.database_name) + "\", @pr_dump=" + std::to_string(call.pr_dump) +
           ", @pr_load=" + std::to_string(call.pr_load) + ", @pathname=\"" +
           QuotedConstantText(call.pathname + DumpPathSeparator) + "\", @device_name=\"" +
           QuotedConstantText(call.device_name) + "\"";
}

}  // namespace tvr::engine
