#pragma once
// The file a dump writes and a load reads: a fixed 4 KiB header followed by the data.
//
// The header names the source database (name and id) and server, the identity of the database's
// log chain, the kind of dump, the log sequence range it covers, when the dump before it in the
// chain was made, the size of the source database and the length and CRC-32 of the data;
// the header carries its own CRC-32 too. A dump is written with the header marked incomplete,
// the data streamed behind it, and only then is the header rewritten with the final length and
// checksum and flushed. A process killed mid-dump therefore leaves a file that every load
// refuses, and so does a file cut short or damaged afterwards.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "sim/backup/Crc32.h"
#include "sim/backup/FileCopy.h"

namespace tvr::sim {

enum class DumpKind : std::uint32_t { Database = 1, Transaction = 2 };

struct DumpHeader {
    DumpKind kind = DumpKind::Database;
    std::string database;             // source database name
    std::string server;               // source server name
    std::string incarnation;          // identity of the source database's log chain
    std::string dumpName;             // the "Dumpfile name" the Backup Server reports
    std::uint64_t firstSequence = 0;  // the log position the dump follows
    std::uint64_t lastSequence = 0;   // the last log position it holds
    std::int64_t createdUnixMs = 0;
    std::uint64_t dataLength = 0;
    std::uint32_t dataChecksum = 0;
    // The space of the source database (data and log); a database load needs a target at least
    // this large. 0 in files written before it was kept: not checked.
    std::uint64_t databaseSizeKB = 0;
    // The source database's dbid; 0 in files written before it was kept.
    std::uint32_t databaseId = 0;
    // A transaction dump: when the dump it follows in the chain was made (the transaction dump
    // before it, or the database dump when it is the first after one), the "old" of its
    // sequence dates. 0 when that is not known (files written before it was kept).
    std::int64_t previousDumpUnixMs = 0;
    bool complete = false;
};

inline constexpr std::size_t kDumpHeaderSize = 4096;

// Why a dump file cannot be used.
enum class DumpProblem {
    None,
    OpenFailed,  // the operating system refused (see the errno kept with it)
    NotADump,    // no dump header at all
    Incomplete,  // the writer never finished (killed or failed mid-dump)
    Truncated,   // shorter than its header says
    Corrupt,     // header or data checksum mismatch, or trailing bytes
};

const char* describe(DumpProblem problem);

class DumpWriter {
public:
    ~DumpWriter();
    DumpWriter(const DumpWriter&) = delete;
    DumpWriter& operator=(const DumpWriter&) = delete;

    // Creates the file (or takes over an existing one) and writes an incomplete header. Null with
    // errno in err.
    static std::unique_ptr<DumpWriter> create(const std::filesystem::path& path, DumpHeader header,
                                              int& err);

    bool write(const void* data, std::size_t size, int& err);
    // Appends up to `size` bytes of the file `fd` from `at`, copied inside the kernel; `copied`
    // is less than `size` only where that file ends.
    bool copyFrom(int fd, std::uint64_t at, std::size_t size, std::size_t& copied, int& err);
    // Rewrites the header as complete with the data's length and checksum, and flushes to disk.
    bool finish(int& err);
    std::uint64_t written() const { return header_.dataLength; }

private:
    DumpWriter(int fd, DumpHeader header) : fd_(fd), header_(std::move(header)), writeback_(fd) {}
    std::uint64_t end() const { return kDumpHeaderSize + header_.dataLength; }
    int fd_;
    DumpHeader header_;
    Crc32 crc_;
    EarlyWriteback writeback_;
};

class DumpReader {
public:
    ~DumpReader();
    DumpReader(const DumpReader&) = delete;
    DumpReader& operator=(const DumpReader&) = delete;

    // Opens the file and checks the header: magic, header checksum, completeness and the length
    // of the file against the header. The data checksum is checked as the data is read.
    static std::unique_ptr<DumpReader> open(const std::filesystem::path& path, DumpProblem& problem,
                                            int& err);

    const DumpHeader& header() const { return header_; }
    // Reads up to size bytes of data; returns 0 at the end. At the end the data checksum is
    // compared; a mismatch or a read error sets problem and returns 0 as well.
    std::size_t read(void* data, std::size_t size, DumpProblem& problem, int& err);
    bool atEnd() const { return consumed_ == header_.dataLength; }

private:
    DumpReader(int fd, DumpHeader header) : fd_(fd), header_(std::move(header)) {}
    int fd_;
    DumpHeader header_;
    Crc32 crc_;
    std::uint64_t consumed_ = 0;
};

// Reads and checks a whole file (header and data checksum) without keeping the data.
DumpProblem verifyDumpFile(const std::filesystem::path& path, DumpHeader* header, int& err);

}  // namespace tvr::sim
