#include "sim/backup/DumpFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace tvr::sim {
namespace {

constexpr char kMagic[8] = {'T', 'V', 'R', 'D', 'U', 'M', 'P', '1'};
constexpr std::uint32_t kFormatVersion = 1;
constexpr std::size_t kHeaderChecksumOffset = 12;
constexpr std::size_t kMaxText = 1000;

class HeaderBuilder {
public:
    HeaderBuilder() { bytes_.fill(0); }
    void raw(const void* p, std::size_t n) {
        std::memcpy(bytes_.data() + pos_, p, n);
        pos_ += n;
    }
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_[pos_++] = static_cast<unsigned char>(v >> (8 * i));
    }
    void u64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i) bytes_[pos_++] = static_cast<unsigned char>(v >> (8 * i));
    }
    void text(const std::string& s) {
        const std::string cut = s.substr(0, kMaxText);
        u32(static_cast<std::uint32_t>(cut.size()));
        raw(cut.data(), cut.size());
    }
    std::array<unsigned char, kDumpHeaderSize>& bytes() { return bytes_; }

private:
    std::array<unsigned char, kDumpHeaderSize> bytes_{};
    std::size_t pos_ = 0;
};

class HeaderParser {
public:
    explicit HeaderParser(const unsigned char* p) : p_(p) {}
    bool ok() const { return ok_; }
    std::uint32_t u32() {
        if (!need(4)) return 0;
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(p_[pos_++]) << (8 * i);
        return v;
    }
    std::uint64_t u64() {
        if (!need(8)) return 0;
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(p_[pos_++]) << (8 * i);
        return v;
    }
    std::string text() {
        const std::uint32_t n = u32();
        if (n > kMaxText || !need(n)) {
            ok_ = false;
            return {};
        }
        std::string s(reinterpret_cast<const char*>(p_ + pos_), n);
        pos_ += n;
        return s;
    }
    void skip(std::size_t n) { pos_ += n; }

private:
    bool need(std::size_t n) {
        if (pos_ + n > kDumpHeaderSize) ok_ = false;
        return ok_;
    }
    const unsigned char* p_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

std::array<unsigned char, kDumpHeaderSize> encode(const DumpHeader& h) {
    HeaderBuilder b;
    b.raw(kMagic, sizeof kMagic);
    b.u32(kFormatVersion);
    b.u32(0);  // header checksum, filled below
    b.u32(static_cast<std::uint32_t>(h.kind));
    b.u32(h.complete ? 1u : 0u);
    b.u64(h.firstSequence);
    b.u64(h.lastSequence);
    b.u64(static_cast<std::uint64_t>(h.createdUnixMs));
    b.u64(h.dataLength);
    b.u32(h.dataChecksum);
    b.text(h.database);
    b.text(h.server);
    b.text(h.incarnation);
    b.text(h.dumpName);
    b.u64(h.databaseSizeKB);
    b.u32(h.databaseId);
    b.u64(static_cast<std::uint64_t>(h.previousDumpUnixMs));
    auto bytes = b.bytes();
    const std::uint32_t crc = Crc32::of(bytes.data(), bytes.size());
    for (std::size_t i = 0; i < 4; ++i)
        bytes[kHeaderChecksumOffset + i] = static_cast<unsigned char>(crc >> (8 * i));
    return bytes;
}

DumpProblem decode(std::array<unsigned char, kDumpHeaderSize> bytes, DumpHeader& h) {
    if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) return DumpProblem::NotADump;
    HeaderParser p(bytes.data());
    p.skip(sizeof kMagic);
    if (p.u32() != kFormatVersion) return DumpProblem::NotADump;
    const std::uint32_t stored = p.u32();
    for (std::size_t i = 0; i < 4; ++i) bytes[kHeaderChecksumOffset + i] = 0;
    if (Crc32::of(bytes.data(), bytes.size()) != stored) return DumpProblem::Corrupt;
    const std::uint32_t kind = p.u32();
    if (kind != static_cast<std::uint32_t>(DumpKind::Database) &&
        kind != static_cast<std::uint32_t>(DumpKind::Transaction))
        return DumpProblem::Corrupt;
    h.kind = static_cast<DumpKind>(kind);
    h.complete = p.u32() == 1u;
    h.firstSequence = p.u64();
    h.lastSequence = p.u64();
    h.createdUnixMs = static_cast<std::int64_t>(p.u64());
    h.dataLength = p.u64();
    h.dataChecksum = p.u32();
    h.database = p.text();
    h.server = p.text();
    h.incarnation = p.text();
    h.dumpName = p.text();
    // The zeroed remainder of a header written before these were kept reads as 0.
    h.databaseSizeKB = p.u64();
    h.databaseId = p.u32();
    h.previousDumpUnixMs = static_cast<std::int64_t>(p.u64());
    if (!p.ok()) return DumpProblem::Corrupt;
    return DumpProblem::None;
}

bool writeAll(int fd, const void* data, std::size_t size, std::uint64_t at, int& err) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(at));
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        p += n;
        at += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool readAll(int fd, void* data, std::size_t size, std::size_t& got, int& err) {
    auto* p = static_cast<char*>(data);
    got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, p + got, size - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

const char* describe(DumpProblem problem) {
    switch (problem) {
        case DumpProblem::None:
            return "no problem";
        case DumpProblem::OpenFailed:
            return "the file cannot be opened";
        case DumpProblem::NotADump:
            return "the file is not a dump";
        case DumpProblem::Incomplete:
            return "the dump was never completed";
        case DumpProblem::Truncated:
            return "the dump is cut short";
        case DumpProblem::Corrupt:
            return "the dump is damaged (checksum mismatch)";
    }
    return "unknown problem";
}

DumpWriter::~DumpWriter() {
    if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<DumpWriter> DumpWriter::create(const std::filesystem::path& path, DumpHeader header,
                                               int& err) {
    // An existing file is written over in place and cut to length when the dump is finished:
    // giving back its blocks and taking new ones costs as much as a tenth of writing them. The
    // header, marked incomplete, is written first, so an old dump's data left behind it is
    // never taken for this one's.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        err = errno;
        return nullptr;
    }
    header.complete = false;
    header.dataLength = 0;
    header.dataChecksum = 0;
    const auto bytes = encode(header);
    if (!writeAll(fd, bytes.data(), bytes.size(), 0, err)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<DumpWriter>(new DumpWriter(fd, std::move(header)));
}

bool DumpWriter::write(const void* data, std::size_t size, int& err) {
    if (!writeAll(fd_, data, size, end(), err)) return false;
    crc_.update(data, size);
    header_.dataLength += size;
    writeback_.writtenUpTo(end());
    return true;
}

bool DumpWriter::copyFrom(int fd, std::uint64_t at, std::size_t size, std::size_t& copied,
                          int& err) {
    copied = 0;
    const std::int64_t n = copyBetweenFiles(fd, at, fd_, end(), size, err);
    if (n < 0) return false;
    // The checksum is taken from the source after the copy, from the very bytes copied: the
    // caller holds the source unchanged while it is dumped.
    if (!checksumFileRange(fd, at, static_cast<std::size_t>(n), crc_, err)) return false;
    copied = static_cast<std::size_t>(n);
    header_.dataLength += copied;
    writeback_.writtenUpTo(end());
    return true;
}

bool DumpWriter::finish(int& err) {
    // The data must be on disk before the header says the dump is complete.
    if (::ftruncate(fd_, static_cast<off_t>(end())) != 0 || ::fsync(fd_) != 0) {
        err = errno;
        return false;
    }
    header_.complete = true;
    header_.dataChecksum = crc_.value();
    const auto bytes = encode(header_);
    if (::pwrite(fd_, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) {
        err = errno != 0 ? errno : EIO;
        return false;
    }
    if (::fsync(fd_) != 0) {
        err = errno;
        return false;
    }
    return true;
}

DumpReader::~DumpReader() {
    if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<DumpReader> DumpReader::open(const std::filesystem::path& path,
                                             DumpProblem& problem, int& err) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        problem = DumpProblem::OpenFailed;
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        problem = DumpProblem::OpenFailed;
        ::close(fd);
        return nullptr;
    }
    std::array<unsigned char, kDumpHeaderSize> bytes{};
    std::size_t got = 0;
    if (!readAll(fd, bytes.data(), bytes.size(), got, err)) {
        problem = DumpProblem::OpenFailed;
        ::close(fd);
        return nullptr;
    }
    DumpHeader header;
    if (got < bytes.size()) {
        problem = got >= sizeof kMagic && std::memcmp(bytes.data(), kMagic, sizeof kMagic) == 0
                      ? DumpProblem::Truncated
                      : DumpProblem::NotADump;
        ::close(fd);
        return nullptr;
    }
    problem = decode(bytes, header);
    if (problem == DumpProblem::None && !header.complete) problem = DumpProblem::Incomplete;
    if (problem == DumpProblem::None) {
        const auto size = static_cast<std::uint64_t>(st.st_size);
        if (size < kDumpHeaderSize + header.dataLength)
            problem = DumpProblem::Truncated;
        else if (size > kDumpHeaderSize + header.dataLength)
            problem = DumpProblem::Corrupt;
    }
    if (problem != DumpProblem::None) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<DumpReader>(new DumpReader(fd, std::move(header)));
}

std::size_t DumpReader::read(void* data, std::size_t size, DumpProblem& problem, int& err) {
    const std::uint64_t left = header_.dataLength - consumed_;
    if (left == 0) return 0;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, size));
    std::size_t got = 0;
    if (!readAll(fd_, data, want, got, err)) {
        problem = DumpProblem::OpenFailed;
        return 0;
    }
    if (got < want) {  // shrank since it was opened
        problem = DumpProblem::Truncated;
        return 0;
    }
    crc_.update(data, got);
    consumed_ += got;
    if (consumed_ == header_.dataLength && crc_.value() != header_.dataChecksum) {
        problem = DumpProblem::Corrupt;
        return 0;
    }
    return got;
}

DumpProblem verifyDumpFile(const std::filesystem::path& path, DumpHeader* header, int& err) {
    DumpProblem problem = DumpProblem::None;
    auto reader = DumpReader::open(path, problem, err);
    if (!reader) return problem;
    if (header) *header = reader->header();
    std::vector<char> buf(1 << 20);
    while (reader->read(buf.data(), buf.size(), problem, err) > 0) {
    }
    return problem;
}

}  // namespace tvr::sim
