#include "sim/protocol/Wire.h"

#include <cstring>

namespace tvr::sim {

void WireWriter::uint16(std::uint16_t value) {
    bytes_.push_back(static_cast<std::uint8_t>(value & 0xff));
    bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
}

void WireWriter::uint32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes_.push_back(static_cast<std::uint8_t>((value >> shift) & 0xff));
}

void WireWriter::int64(std::int64_t value) {
    auto bits = static_cast<std::uint64_t>(value);
    for (int shift = 0; shift < 64; shift += 8)
        bytes_.push_back(static_cast<std::uint8_t>((bits >> shift) & 0xff));
}

void WireWriter::float32(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    uint32(bits);
}

void WireWriter::float64(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    int64(static_cast<std::int64_t>(bits));
}

void WireWriter::raw(std::string_view data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
}

void WireWriter::raw(const std::uint8_t* data, std::size_t size) {
    bytes_.insert(bytes_.end(), data, data + size);
}

void WireWriter::text8(std::string_view text) {
    if (text.size() > 255) text = text.substr(0, 255);
    byte(static_cast<std::uint8_t>(text.size()));
    raw(text);
}

void WireWriter::text16(std::string_view text) {
    if (text.size() > 65535) text = text.substr(0, 65535);
    uint16(static_cast<std::uint16_t>(text.size()));
    raw(text);
}

std::size_t WireWriter::beginLength16() {
    std::size_t position = bytes_.size();
    uint16(0);
    return position;
}

void WireWriter::endLength16(std::size_t position) {
    std::size_t length = bytes_.size() - position - 2;
    if (length > 65535) throw std::length_error("token longer than 65535 bytes");
    bytes_[position] = static_cast<std::uint8_t>(length & 0xff);
    bytes_[position + 1] = static_cast<std::uint8_t>(length >> 8);
}

void WireReader::need(std::size_t length) const {
    if (length > size_ - position_)
        throw ProtocolError("message ends early: " + std::to_string(length) +
                            " bytes needed at offset " + std::to_string(position_) + ", " +
                            std::to_string(size_ - position_) + " left");
}

std::uint8_t WireReader::byte() {
    need(1);
    return data_[position_++];
}

std::uint16_t WireReader::uint16() {
    need(2);
    auto value = static_cast<std::uint16_t>(data_[position_] | (data_[position_ + 1] << 8));
    position_ += 2;
    return value;
}

std::uint32_t WireReader::uint32() {
    need(4);
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | data_[position_ + static_cast<std::size_t>(i)];
    position_ += 4;
    return value;
}

std::string WireReader::text(std::size_t length) {
    const std::uint8_t* start = take(length);
    return std::string(reinterpret_cast<const char*>(start), length);
}

void WireReader::skip(std::size_t length) { take(length); }

const std::uint8_t* WireReader::take(std::size_t length) {
    need(length);
    const std::uint8_t* start = data_ + position_;
    position_ += length;
    return start;
}

}  // namespace tvr::sim
