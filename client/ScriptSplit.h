#pragma once
// Cutting a script into the batches sent one by one to the server. A pure function of the
// text, so tests and the fuzzer need no connection.
#include <string>
#include <string_view>
#include <vector>

namespace tvr::client {

// Cuts `script` at each separator: LF "go" followed by CR, a blank or LF, the three forms
// looked for in that order of priority (the first form found anywhere in the rest of the
// script wins over an earlier separator of a later form). A batch keeps the LF before "go";
// the next starts with what followed "go". A final CR LF "go" without a line end after it is
// dropped. A script without a separator gives no batches.
std::vector<std::string> SplitScript(std::string_view script);

}  // namespace tvr::client
