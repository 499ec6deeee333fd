#include "sim/backup/DumpFile.h"
#include "tests/support/TempFolder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
using namespace tvr::sim;

namespace {

class DumpFileTest : public ::testing::Test {
protected:
    fs::path writeDump(const std::string& data, bool finish = true) {
        const fs::path path = dir_ / "x.db";
        DumpHeader h;
        h.kind = DumpKind::Transaction;
        h.database = "sales";
        h.server = "MAIN";
        h.incarnation = "abc";
        h.firstSequence = 7;
        h.lastSequence = 12;
        h.databaseSizeKB = 20 * 1024;
        int err = 0;
        auto w = DumpWriter::create(path, h, err);
        EXPECT_TRUE(w) << err;
        EXPECT_TRUE(w->write(data.data(), data.size(), err));
        if (finish) {
            EXPECT_TRUE(w->finish(err));
        }
        return path;
    }

    static void patchByte(const fs::path& path, std::streamoff at) {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekg(at);
        char c = 0;
        f.get(c);
        f.seekp(at);
        f.put(static_cast<char>(c ^ 0x5A));
    }

    tvr::testing::TempFolder folder_{"tvr-dumpfile"};
    fs::path dir_ = folder_.path();
};

TEST_F(DumpFileTest, RoundTripKeepsHeaderAndData) {
    const std::string data(3 * 1024 * 1024 + 17, 'q');
    const auto path = writeDump(data);
    DumpProblem problem = DumpProblem::None;
    int err = 0;
    auto r = DumpReader::open(path, problem, err);
    ASSERT_TRUE(r) << describe(problem);
    EXPECT_EQ(r->header().kind, DumpKind::Transaction);
    EXPECT_EQ(r->header().database, "sales");
    EXPECT_EQ(r->header().server, "MAIN");
    EXPECT_EQ(r->header().incarnation, "abc");
    EXPECT_EQ(r->header().firstSequence, 7u);
    EXPECT_EQ(r->header().lastSequence, 12u);
    EXPECT_EQ(r->header().databaseSizeKB, 20u * 1024);
    EXPECT_EQ(r->header().dataLength, data.size());
    std::string back;
    char buf[65536];
    while (std::size_t n = r->read(buf, sizeof buf, problem, err)) back.append(buf, n);
    EXPECT_EQ(problem, DumpProblem::None);
    EXPECT_EQ(back, data);
}

TEST_F(DumpFileTest, DataCopiedFromAFileOverALargerDumpReadsBackAsWritten) {
    writeDump(std::string(5 * 1024 * 1024, 'x'));  // the larger dump written over
    std::string source;
    for (int i = 0; source.size() < 2 * 1024 * 1024 + 333; ++i) source += std::to_string(i) + ',';
    const auto sourcePath = dir_ / "source";
    std::ofstream(sourcePath, std::ios::binary) << source;
    const int fd = ::open(sourcePath.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);

    DumpHeader h;
    int err = 0;
    auto w = DumpWriter::create(dir_ / "d.dump", h, err);
    ASSERT_TRUE(w) << err;
    EXPECT_TRUE(w->write(source.data(), 100, err));
    // From offsets on no page boundary, and past the source's end.
    std::size_t copied = 0;
    ASSERT_TRUE(w->copyFrom(fd, 100, 1024 * 1024 + 5, copied, err)) << err;
    EXPECT_EQ(copied, 1024u * 1024 + 5);
    ASSERT_TRUE(w->copyFrom(fd, 100 + copied, source.size(), copied, err)) << err;
    EXPECT_EQ(copied, source.size() - 1024 * 1024 - 105);
    ASSERT_TRUE(w->finish(err)) << err;
    ::close(fd);

    DumpProblem problem = DumpProblem::None;
    auto r = DumpReader::open(dir_ / "d.dump", problem, err);
    ASSERT_TRUE(r) << describe(problem);
    std::string back;
    char buf[65536];
    while (std::size_t n = r->read(buf, sizeof buf, problem, err)) back.append(buf, n);
    EXPECT_EQ(problem, DumpProblem::None);
    EXPECT_TRUE(back == source);
}

TEST_F(DumpFileTest, DamagedFilesAreRefusedWithTheirReason) {
    const std::string data(100000, 'z');
    int err = 0;

    auto path = writeDump(data);
    fs::resize_file(path, kDumpHeaderSize + data.size() - 1);
    EXPECT_EQ(verifyDumpFile(path, nullptr, err), DumpProblem::Truncated);
    fs::resize_file(path, 100);
    EXPECT_EQ(verifyDumpFile(path, nullptr, err), DumpProblem::Truncated);

    path = writeDump(data);
    patchByte(path, static_cast<std::streamoff>(kDumpHeaderSize + 5000));
    EXPECT_EQ(verifyDumpFile(path, nullptr, err), DumpProblem::Corrupt);

    path = writeDump(data);
    patchByte(path, 40);  // inside the header's sequence numbers
    EXPECT_EQ(verifyDumpFile(path, nullptr, err), DumpProblem::Corrupt);

    path = writeDump(data);
    std::ofstream(path, std::ios::app | std::ios::binary) << "extra";
    EXPECT_EQ(verifyDumpFile(path, nullptr, err), DumpProblem::Corrupt);

    path = writeDump(data, /*finish=*/false);
    EXPECT_EQ(verifyDumpFile(path, nullptr, err), DumpProblem::Incomplete);

    std::ofstream(dir_ / "plain.txt") << "not a dump at all";
    EXPECT_EQ(verifyDumpFile(dir_ / "plain.txt", nullptr, err), DumpProblem::NotADump);

    EXPECT_EQ(verifyDumpFile(dir_ / "missing.db", nullptr, err), DumpProblem::OpenFailed);
    EXPECT_EQ(err, ENOENT);
    EXPECT_EQ(verifyDumpFile(dir_, nullptr, err), DumpProblem::OpenFailed);
}

TEST_F(DumpFileTest, EmptyDataIsAValidDump) {
    const auto path = writeDump("");
    int err = 0;
    DumpHeader h;
    EXPECT_EQ(verifyDumpFile(path, &h, err), DumpProblem::None);
    EXPECT_EQ(h.dataLength, 0u);
}

TEST_F(DumpFileTest, CreateInMissingFolderReportsTheSystemError) {
    int err = 0;
    auto w = DumpWriter::create(dir_ / "no" / "such" / "x.db", DumpHeader{}, err);
    EXPECT_FALSE(w);
    EXPECT_EQ(err, ENOENT);
}

}  // namespace
