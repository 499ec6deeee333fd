#pragma once
// The value holder that TSybaseConnect::ValueByName fills and returns.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace tvr::client {

// A text that is not a whole number where one was asked for.
class ConversionError : public std::invalid_argument {
public:
    explicit ConversionError(const std::string& value);
};

class TSybaseField {
public:
    std::string Value;

    // `Value` as a 32-bit whole number: optional blanks, an optional sign and decimal digits
    // (or hexadecimal after "$" or "0x"), nothing after them. Anything else, the empty text
    // included, raises ConversionError.
    std::int32_t AsInteger() const;
};

}  // namespace tvr::client
