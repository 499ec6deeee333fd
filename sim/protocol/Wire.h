#pragma once
// Byte-level reading and writing of TDS 5.0 data. Integers travel in the byte order the
// client declared at login; aseemu accepts only little-endian clients (every FreeTDS build
// and the vendor's libraries on x86 and ARM), so both classes write and read little-endian.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tvr::sim {

// A malformed, truncated or oversized piece of protocol from a client. The session that meets
// it logs it and closes that one connection.
class ProtocolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class WireWriter {
public:
    void byte(std::uint8_t value) { bytes_.push_back(value); }
    void int16(std::int16_t value) { uint16(static_cast<std::uint16_t>(value)); }
    void uint16(std::uint16_t value);
    void int32(std::int32_t value) { uint32(static_cast<std::uint32_t>(value)); }
    void uint32(std::uint32_t value);
    void int64(std::int64_t value);
    void float32(float value);
    void float64(double value);
    void raw(std::string_view data);
    void raw(const std::uint8_t* data, std::size_t size);
    // Length byte then the text, cut at 255 bytes.
    void text8(std::string_view text);
    // Two-byte length then the text, cut at 65535 bytes.
    void text16(std::string_view text);

    // Writes a two-byte length placeholder and returns its position, for tokens whose length
    // is known only when their body has been written.
    std::size_t beginLength16();
    void endLength16(std::size_t position);

    std::size_t size() const { return bytes_.size(); }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::vector<std::uint8_t>& bytes() { return bytes_; }
    void clear() { bytes_.clear(); }

private:
    std::vector<std::uint8_t> bytes_;
};

// Reads from a byte range it does not own; every read past the end throws ProtocolError.
class WireReader {
public:
    WireReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    explicit WireReader(const std::vector<std::uint8_t>& bytes)
        : WireReader(bytes.data(), bytes.size()) {}

    std::uint8_t byte();
    std::uint16_t uint16();
    std::uint32_t uint32();
    std::string text(std::size_t length);
    void skip(std::size_t length);
    const std::uint8_t* take(std::size_t length);

    std::size_t position() const { return position_; }
    std::size_t remaining() const { return size_ - position_; }
    bool atEnd() const { return position_ == size_; }

private:
    void need(std::size_t length) const;

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

}  // namespace tvr::sim
