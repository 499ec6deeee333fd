#pragma once
// Raw TDS bytes for tests that talk to the emulator below the client library: login records as
// FreeTDS writes them, and packets around any body.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace tvr::testing {

inline void nameField(std::vector<std::uint8_t>& out, const std::string& text,
                      std::size_t width = 30) {
    for (std::size_t i = 0; i < width; ++i)
        out.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
    out.push_back(static_cast<std::uint8_t>(std::min(text.size(), width)));
}

// A login record as FreeTDS writes it for TDS 5.0.
inline std::vector<std::uint8_t> loginRecord(const std::string& user, const std::string& password,
                                             const std::string& size) {
    std::vector<std::uint8_t> out;
    nameField(out, "workstation");
    nameField(out, user);
    nameField(out, password);
    nameField(out, "4242");
    out.insert(out.end(), {3, 1, 6, 10, 9, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    nameField(out, "Ulmaris");
    nameField(out, "MAIN");
    out.push_back(0);
    out.push_back(static_cast<std::uint8_t>(password.size()));
    for (std::size_t i = 0; i < 253; ++i)
        out.push_back(i < password.size() ? static_cast<std::uint8_t>(password[i]) : 0);
    out.push_back(static_cast<std::uint8_t>(password.size() + 2));
    out.insert(out.end(), {5, 0, 0, 0});
    nameField(out, "CT-Library", 10);
    out.insert(out.end(), {5, 0, 0, 0, 0, 13, 17});
    nameField(out, "us_english");
    out.insert(out.end(), 14, 0);
    nameField(out, "");
    out.push_back(1);
    nameField(out, size, 6);
    out.insert(out.end(), 4, 0);
    out.insert(out.end(), {0xE2, 4, 0, 1, 1, 0xAA, 2});
    out.insert(out.end(), {0xBB, 0xCC});
    out[568 + 1] = 6;  // capability length: 6 bytes follow
    return out;
}

// One packet: type, status (1 = last of its message), the body; the length field says
// `declaredLength` when given, else the true length.
inline std::vector<std::uint8_t> packet(std::uint8_t type, std::uint8_t status,
                                        const std::vector<std::uint8_t>& body,
                                        int declaredLength = -1) {
    int length = declaredLength >= 0 ? declaredLength : static_cast<int>(body.size() + 8);
    // Sized once and filled in place: GCC 12 at -O3 takes an insert after the header for a
    // write past its end (a false -Warray-bounds).
    std::vector<std::uint8_t> bytes(8 + body.size(), 0);
    bytes[0] = type;
    bytes[1] = status;
    bytes[2] = static_cast<std::uint8_t>(length >> 8);
    bytes[3] = static_cast<std::uint8_t>(length & 0xff);
    std::copy(body.begin(), body.end(), bytes.begin() + 8);
    return bytes;
}

// A whole message cut into 512-byte packets.
inline std::vector<std::uint8_t> message(std::uint8_t type, const std::vector<std::uint8_t>& body) {
    std::vector<std::uint8_t> bytes;
    std::size_t offset = 0;
    do {
        std::size_t chunk = std::min<std::size_t>(504, body.size() - offset);
        std::vector<std::uint8_t> part(body.begin() + static_cast<std::ptrdiff_t>(offset),
                                       body.begin() + static_cast<std::ptrdiff_t>(offset + chunk));
        offset += chunk;
        auto one = packet(type, offset == body.size() ? 1 : 0, part);
        bytes.insert(bytes.end(), one.begin(), one.end());
    } while (offset < body.size());
    return bytes;
}

}  // namespace tvr::testing
