// SQL literals of values as the TDS wire carries them: the bulk rows, the RPC parameters and
// the send-data values all become statements the interpreter runs, so they share one spelling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tvr::sim {

std::uint64_t littleEndian(const std::uint8_t* p, std::size_t size);
// Sign-extended from its top bit (for sizes under 8).
std::int64_t signedLittleEndian(const std::uint8_t* p, std::size_t size);

// A string literal, quotes doubled (the emulator's own statements spell texts so too).
std::string quotedLiteral(const std::string& text);
std::string hexLiteral(const std::uint8_t* p, std::size_t size);
// numeric/decimal: a sign and a big-endian unsigned magnitude, with the column's scale.
std::string exactLiteral(bool negative, const std::uint8_t* magnitude, std::size_t size, int scale);
// money (8 bytes, the high half first as the wire sends it) or smallmoney (4), in units of
// 1/10,000.
std::int64_t moneyUnits(const std::uint8_t* p, std::size_t size);
std::string moneyLiteral(std::int64_t units);

}  // namespace tvr::sim
