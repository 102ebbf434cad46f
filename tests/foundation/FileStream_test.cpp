#include "notestore/foundation/FileStream.h"

#include <gtest/gtest.h>

#include <vector>

#include "notestore/foundation/Exception.h"
#include "notestore/foundation/File.h"
#include "platform/Faults.h"
#include "support/LogTail.h"
#include "support/TempDir.h"

namespace {

using zr_gen::CFile;
using zr_gen::CFileStream;
using zr_gen::MemFile;

constexpr uint32_t kCreateReadWrite = 0x1000 | 0x0002;

// A stream over a memory file, with the bytes it holds at hand.
class StreamBytes : public ::testing::Test {
protected:
    StreamBytes() : stream(&file) {}
    std::vector<uint8_t> Bytes() {
        std::vector<uint8_t> bytes(file.GetLength());
        file.Seek(0, 0);
        file.Read(bytes.data(), static_cast<uint32_t>(bytes.size()));
        return bytes;
    }
    MemFile file;
    CFileStream stream;
};

using ByteVector = std::vector<uint8_t>;

TEST_F(StreamBytes, ScalarsAreLittleEndianWithFixedWidths) {
    stream << int16_t{-2};
    stream << uint32_t{1};
    stream << 1.0;
    stream << true << 'A' << static_cast<unsigned char>(0xFF) << uint16_t{0x1234} << int32_t{-1};
    stream << 1.5f << static_cast<long double>(-2.0);
    stream << reinterpret_cast<const void*>(uintptr_t{0x1122334455667788ull});
    EXPECT_EQ(Bytes(), (ByteVector{0xFE, 0xFF,                                            // short -2
                              0x01, 0x00, 0x00, 0x00,                                // unsigned long 1
                              0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F,        // double 1.0
                              0x01, 0x41, 0xFF, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF,  // bool, char, uchar, ushort, int
                              0x00, 0x00, 0xC0, 0x3F,                                // float 1.5
                              0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0,        // long double -2.0 as double
                              0x88, 0x77, 0x66, 0x55}));                             // pointer: its low 32 bits
}

TEST_F(StreamBytes, StringsAreMarkerCountAndUnits) {
    zr_gen::_String ab(u"ab");
    zr_gen::_String empty;
    stream << ab << empty;
    EXPECT_EQ(Bytes(), (ByteVector{0xFE, 0xFF, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x61, 0x00, 0x62, 0x00,  //
                              0xFE, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(StreamBytes, ScalarsReadBackAsWritten) {
    stream << int16_t{-2} << uint32_t{0xDEADBEEF} << -0.5 << false << 'z' << 3.25f << int32_t{-7};
    stream.SeekToBegin();
    int16_t s = 0;
    uint32_t u = 0;
    double d = 0;
    bool b = true;
    char c = 0;
    float f = 0;
    int32_t i = 0;
    stream >> s >> u >> d >> b >> c >> f >> i;
    EXPECT_EQ(s, -2);
    EXPECT_EQ(u, 0xDEADBEEFu);
    EXPECT_EQ(d, -0.5);
    EXPECT_FALSE(b);
    EXPECT_EQ(c, 'z');
    EXPECT_EQ(f, 3.25f);
    EXPECT_EQ(i, -7);
}

TEST_F(StreamBytes, ShortReadOverAMemoryFileKeepsTheMissingBytes) {
    stream << uint16_t{0xAAAA};
    stream.SeekToBegin();
    uint32_t value = 0x11223344;
    stream >> value;
    EXPECT_EQ(value, 0x1122AAAAu);
}

TEST_F(StreamBytes, PointerReadsGiveTheStoredNumber) {
    stream << reinterpret_cast<const void*>(uintptr_t{0x1234});
    stream.SeekToBegin();
    void* p = nullptr;
    stream >> p;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p), 0x1234u);
}

TEST_F(StreamBytes, ReadingAStringIsRefusedAndMovesNothing) {
    zr_gen::_String text(u"ab");
    stream << text;
    stream.Seek(0, 0);
    testsupport::LogTail tail;
    zr_gen::_String target(u"kept");
    stream >> target;
    EXPECT_EQ(target, u"kept");
    EXPECT_EQ(stream.GetPosition(), 0u);
    EXPECT_EQ(tail.Lines().size(), 1u);
}

class Counted : public zr_gen::CBaseObject {
public:
    void Read(CFileStream& s) override { s >> value; }
    void Write(CFileStream& s) override { s << value; }
    int32_t value = 0;
};

TEST_F(StreamBytes, ObjectsSerialiseThemselves) {
    Counted out;
    out.value = 0x01020304;
    stream << out;
    stream.SeekToBegin();
    Counted in;
    stream >> in;
    EXPECT_EQ(in.value, 0x01020304);
    EXPECT_EQ(Bytes(), (ByteVector{0x04, 0x03, 0x02, 0x01}));
}

TEST(FileStreamOwnership, BorrowedFileOutlivesTheStream) {
    testsupport::TempDir dir;
    CFile file;
    file.Open(dir.File("borrowed").c_str(), kCreateReadWrite);
    {
        CFileStream stream(&file);
        stream << uint32_t{5};
    }
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(file.GetLength(), 4u);
    file.Close();
}

TEST(FileStreamOwnership, OpenOwnsAndReopenReplacesTheFile) {
    testsupport::TempDir dir;
    CFileStream stream;
    EXPECT_EQ(stream.Open(dir.File("one").c_str(), kCreateReadWrite), 1);
    CFile* first = stream.GetFile();
    stream << int16_t{1};
    EXPECT_EQ(stream.Open(dir.File("two").c_str(), kCreateReadWrite), 1);
    EXPECT_NE(stream.GetFile(), nullptr);
    EXPECT_TRUE(stream.IsOpen());
    EXPECT_EQ(stream.GetLength(), 0u);
    (void)first;  // deleted by the second Open; ASan reports a leak otherwise
    stream.Close();
    EXPECT_EQ(stream.GetFile(), nullptr);
    EXPECT_FALSE(stream.IsOpen());
}

TEST(FileStreamOwnership, FailedOpenKeepsTheUnopenedFileAndPassesTheException) {
    testsupport::TempDir dir;
    CFileStream stream;
    try {
        stream.Open(dir.File("missing").c_str(), 0);
        ADD_FAILURE() << "no exception";
    } catch (zr_gen::CFileException* e) {
        EXPECT_EQ(e->GetCause(), zr_gen::CFileException::fileNotFound);
        e->Delete();
    }
    EXPECT_NE(stream.GetFile(), nullptr);
    EXPECT_FALSE(stream.IsOpen());
}

TEST(FileStreamOwnership, DetachHandsTheFileOver) {
    testsupport::TempDir dir;
    CFileStream stream;
    stream.Open(dir.File("detached").c_str(), kCreateReadWrite);
    EXPECT_NE(stream.GetFileHandle(), 0xFFFFFFFFu);
    CFile* file = stream.Detach();
    EXPECT_EQ(stream.GetFile(), nullptr);
    EXPECT_TRUE(file->IsOpen());
    file->Close();
    delete file;
}

TEST(FileStreamOwnership, OperationsWithoutAFileAreReportedNotCrashes) {
    testsupport::LogTail tail;
    CFileStream stream;
    uint8_t byte = 0;
    EXPECT_EQ(stream.Read(&byte, 1), 0u);
    EXPECT_EQ(stream.Write(&byte, 1), 0u);
    stream << uint32_t{1};
    EXPECT_FALSE(stream.IsOpen());
    EXPECT_GE(tail.Lines().size(), 3u);
}

TEST(FileStreamFaults, OutOfMemoryForTheFileObjectRaisesMessage11) {
    testsupport::TempDir dir;
    CFileStream stream;
    platform::FaultInjector injector;
    platform::ScopedFaultInjector scope(injector);
    injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
    try {
        stream.Open(dir.File("x").c_str(), kCreateReadWrite);
        ADD_FAILURE() << "no exception";
    } catch (zr_gen::CException* e) {
        EXPECT_EQ(std::u16string(zr_gen::DescriptionOf(e)), u"Out of memory");
        zr_gen::DeleteException(e);
    }
    EXPECT_EQ(stream.GetFile(), nullptr);
}

}  // namespace

namespace {

// A copy of a stream that opened its file borrows it: destroying the copy
// leaves the original's file open and usable.
TEST(FileStreamCopy, CopyBorrowsTheFile) {
    testsupport::TempDir dir;
    const std::u16string path = dir.File("f");
    CFileStream owner;
    ASSERT_EQ(owner.Open(path.c_str(), CFile::kCreate | CFile::kModeReadWrite), 1);
    {
        CFileStream copy(owner);
        EXPECT_EQ(copy.GetFile(), owner.GetFile());
        copy << uint32_t{7};
        CFileStream assigned;
        assigned = owner;
    }
    ASSERT_TRUE(owner.IsOpen());
    owner << uint32_t{8};
    EXPECT_EQ(owner.GetLength(), 8u);
}

}  // namespace
