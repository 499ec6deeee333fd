#pragma once
// The CSV of the files the worker leaves for others to read (the pass history, the shipping
// ledger): RFC 4180 fields, quoted only when they must be.
#include <string>
#include <vector>

namespace tvr::engine {

// `text` as one field: quoted, its quotes doubled, when it holds a comma, a quote or a line end.
std::string csvField(const std::string& text);

// The records of CSV text: fields split at commas outside quotes, records at line ends
// outside quotes (CR LF or LF); a doubled quote inside quotes is one quote. A last line
// without its line end was cut short by a crash and is no record; `cutShort` (when given)
// says whether there was one.
std::vector<std::vector<std::string>> csvRecords(const std::string& text, bool* cutShort = nullptr);

}  // namespace tvr::engine
