#include "notestore/foundation/StreamBuffer.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "notestore/foundation/File.h"
#include "notestore/foundation/FileStream.h"
#include "platform/Faults.h"
#include "support/Bytes.h"
#include "support/Caught.h"
#include "support/TempDir.h"

namespace {

using testsupport::Bytes;
using testsupport::Caught;
using zr_gen::CFileStream;

class Buffered : public ::testing::Test {
protected:
    void SetUp() override {
        Bytes content(200000);
        std::iota(content.begin(), content.end(), 0);
        testsupport::WriteFileBytes(dir.path() / "f", content);
        stream.Open(dir.File("f").c_str(), 0x3000 | 0x0002);
    }
    Bytes Stored() const { return testsupport::ReadFileBytes(dir.path() / "f"); }
    testsupport::TempDir dir;
    CFileStream stream;
};

TEST_F(Buffered, ReadsGiveTheFilesBytesAcrossWindows) {
    stream.Seek(100, 0);
    stream.BeginBuffering();
    std::vector<uint8_t> got;
    for (uint32_t size : {1u, 3u, 70000u, 5u, 65536u, 17u, 7u}) {
        std::vector<uint8_t> part(size);
        EXPECT_EQ(stream.Read(part.data(), size), size);
        got.insert(got.end(), part.begin(), part.end());
    }
    const Bytes expected = testsupport::Slice(Stored(), 100, got.size());
    EXPECT_EQ(got, expected);
    EXPECT_EQ(stream.GetPosition(), 100 + got.size());
    stream.EndBuffering();
    EXPECT_EQ(stream.GetFile()->GetPosition(), 100 + got.size());
}

TEST_F(Buffered, ShortReadRaisesTheFilesOwnError) {
    stream.Seek(-4, 2);
    stream.BeginBuffering();
    uint8_t buffer[10];
    const Caught caught = testsupport::Catch([&] { stream.Read(buffer, 10); });
    EXPECT_EQ(caught.text, u"File IO read error");
    EXPECT_EQ(caught.number, 7u);
}

TEST_F(Buffered, CollectedWritesLandAtTheirPositionsWhenBufferingEnds) {
    stream.BeginBuffering();
    stream.Seek(10, 0);
    stream << uint32_t{0xAABBCCDD};
    stream.Seek(199998, 0);
    stream << uint32_t{0x11223344};  // grows the file by two bytes
    EXPECT_EQ(stream.GetLength(), 200002u);
    EXPECT_EQ(stream.GetPosition(), 200002u);
    stream.EndBuffering();
    const Bytes stored = Stored();
    ASSERT_EQ(stored.size(), 200002u);
    EXPECT_EQ(testsupport::Slice(stored, 10, 4), (Bytes{0xDD, 0xCC, 0xBB, 0xAA}));
    EXPECT_EQ(testsupport::Slice(stored, 199998, 4), (Bytes{0x44, 0x33, 0x22, 0x11}));
    EXPECT_EQ(stored[14], 14);
}

TEST_F(Buffered, ReadAfterWriteSeesTheWrittenBytes) {
    stream.BeginBuffering();
    stream.Seek(0, 0);
    stream << uint16_t{0xBEEF};
    stream.Seek(0, 0);
    uint16_t value = 0;
    stream >> value;
    EXPECT_EQ(value, 0xBEEF);
    stream.EndBuffering();
}

TEST_F(Buffered, SetLengthCutsAndMovesAPositionBeyondIt) {
    stream.BeginBuffering();
    stream.Seek(500, 0);
    stream << uint8_t{1};
    stream.SetLength(300);
    EXPECT_EQ(stream.GetLength(), 300u);
    stream.EndBuffering();
    EXPECT_EQ(Stored().size(), 300u);
}

TEST_F(Buffered, WriteErrorIsRaisedWhenBufferingEndsAndNothingIsOfferedTwice) {
    platform::FaultInjector injector;
    platform::ScopedFaultInjector scope(injector);
    stream.BeginBuffering();
    stream << uint32_t{1} << uint32_t{2};
    injector.FailNth(platform::FaultOp::Write, 1, ERROR_DISK_FULL);
    const Caught caught = testsupport::Catch([&] { stream.EndBuffering(); });
    EXPECT_EQ(caught.kind, Caught::Kind::FileException);
    EXPECT_EQ(caught.cause, zr_gen::CFileException::diskFull);
    EXPECT_EQ(injector.Seen(platform::FaultOp::Write), 1u);
    stream.EndBuffering();  // not buffering any more: nothing happens
    EXPECT_EQ(injector.Seen(platform::FaultOp::Write), 1u);
}

TEST_F(Buffered, AbandonedBufferingWritesNothing) {
    stream.BeginBuffering();
    stream.Seek(0, 0);
    stream << uint32_t{0xFFFFFFFF};
    stream.AbandonBuffering();
    EXPECT_EQ(testsupport::Slice(Stored(), 0, 4), (Bytes{0, 1, 2, 3}));
}

TEST_F(Buffered, ScopeAbandonsOnAnExceptionAndEndsOnRequest) {
    try {
        zr_gen::BufferedScope scope(stream);
        stream.Seek(0, 0);
        stream << uint8_t{0x77};
        throw 1;
    } catch (int) {
    }
    EXPECT_EQ(Stored()[0], 0);
    {
        zr_gen::BufferedScope scope(stream);
        stream.Seek(0, 0);
        stream << uint8_t{0x77};
        scope.End();
    }
    EXPECT_EQ(Stored()[0], 0x77);
}

TEST(BufferedMemoryFile, WorksOverAMemoryFileToo) {
    zr_gen::MemFile file;
    CFileStream stream(&file);
    stream.BeginBuffering();
    stream << uint32_t{5} << uint16_t{6};
    stream.Seek(0, 0);
    uint32_t a = 0;
    uint16_t b = 0;
    stream >> a >> b;
    stream.EndBuffering();
    EXPECT_EQ(a, 5u);
    EXPECT_EQ(b, 6u);
    EXPECT_EQ(file.GetLength(), 6u);
}

}  // namespace
