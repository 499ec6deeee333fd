#include "client/ScriptSplit.h"

#include <array>

namespace tvr::client {
namespace {

constexpr std::array<std::string_view, 3> kSeparators{"\ngo\r", "\ngo ", "\ngo\n"};

std::size_t findSeparator(std::string_view text) {
    for (std::string_view separator : kSeparators) {
        const std::size_t at = text.find(separator);
        if (at != std::string_view::npos) return at;
    }
    return std::string_view::npos;
}

}  // namespace

std::vector<std::string> SplitScript(std::string_view script) {
    std::vector<std::string> batches;
    std::string_view rest = script;
    for (std::size_t at = findSeparator(rest); at != std::string_view::npos;
         at = findSeparator(rest)) {
        batches.emplace_back(rest.substr(0, at + 1));
        rest.remove_prefix(at + 3);
    }
    if (batches.empty()) return batches;
    constexpr std::string_view finalGo = "\r\ngo";
    if (rest.ends_with(finalGo)) rest.remove_suffix(finalGo.size());
    batches.emplace_back(rest);
    return batches;
}

}  // namespace tvr::client
