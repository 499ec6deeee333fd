#pragma once
// Dynamic statements of one connection (ct_dynamic): a statement prepared under an id, run
// with the values of its ? placeholders as often as asked, then deallocated. The client sends
// the statement as "create proc ID as STATEMENT", the server's own way of keeping it; the
// emulator keeps the statement and puts each execution's values in as literals.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/protocol/RpcParameters.h"

namespace tvr::sim {

class DynamicStatements {
public:
    void prepare(const std::string& id, const std::string& text);
    // The statement prepared under `id`; nullptr for none.
    const std::string* find(const std::string& id) const;
    // False when nothing was prepared under `id`.
    bool deallocate(const std::string& id);

private:
    std::map<std::string, std::string> statements_;
};

// The statement without the "create proc ID as " a client puts before it, if it does.
std::string withoutProcedureHeader(const std::string& id, const std::string& text);

// The statement with each ? outside strings, quoted names and comments replaced by the next
// parameter's literal (NULL for none); nothing, with the reason in `why`, when there are not as
// many parameters as placeholders.
std::optional<std::string> bindPlaceholders(const std::string& text,
                                            const std::vector<RpcParameter>& parameters,
                                            std::string& why);

}  // namespace tvr::sim
