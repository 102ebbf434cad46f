#include "notestore/engine/Rowset.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <latch>
#include <thread>
#include <vector>

#include "notestore/engine/TaggedDataManager.h"
#include "notestore/foundation/File.h"
#include "notestore/foundation/FileStream.h"
#include "platform/Faults.h"
#include "support/Bytes.h"
#include "support/Caught.h"
#include "support/LogTail.h"
#include "support/TempDir.h"

namespace {

using platform::FaultInjector;
using platform::FaultOp;
using platform::ScopedFaultInjector;
using testsupport::ByteWriter;
using testsupport::Bytes;
using testsupport::Caught;
using zr_gen::CDBRecord;
using zr_gen::CFile;
using zr_gen::CFileStream;
using zr_gen::MemFile;

constexpr uint32_t kCreateReadWrite = 0x1000 | 0x0002;
constexpr uint32_t kRead = 0x0000;

// What a fresh record writes: the two base tags with their changed bits.
const Bytes kFreshRow = {
    0x50, 0x4B, 0x01, 0x02,                                                                 // start identifier
    0x20, 0x00, 0x00, 0x00,                                                                 // block length 32
    0x74, 0x61, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  // tag 1 header
    0x00,                                                                                   // flag byte
    0x74, 0x61, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  // tag 2 header
    0x00,                                                                                   // sort-changed
    0x50, 0x4B, 0x03, 0x04,                                                                 // end identifier
};

Bytes BlockOf(const CDBRecord& record) {
    const char* data = record.GetRawDataPtr();
    return data == nullptr ? Bytes{} : Bytes(data, data + record.GetRecSize());
}

// A row framed around the given block, with the identifiers given.
Bytes Row(const Bytes& block, const Bytes& start = {0x50, 0x4B, 0x01, 0x02}, const Bytes& end = {0x50, 0x4B, 0x03, 0x04}) {
    return ByteWriter().Raw(start).U32(static_cast<uint32_t>(block.size())).Raw(block).Raw(end).bytes;
}

void ExpectRaised(const Caught& caught, Caught::Kind kind, const std::u16string& text, uint32_t number) {
    ASSERT_TRUE(caught.raised());
    EXPECT_EQ(caught.kind, kind);
    EXPECT_EQ(caught.text, text);
    EXPECT_EQ(caught.number, number);
}

bool Traced(const testsupport::LogTail& tail, const std::string& file) {
    for (const std::string& line : tail.Lines()) {
        if (line.rfind("Throw an exception FILE - " + file + ", LINE - ", 0) == 0) return true;
    }
    return false;
}

void ExpectReadError(const Caught& caught) {
    ExpectRaised(caught, Caught::Kind::Exception, u"File IO read error", 7);
}

// A stream over a memory file.
class RowStream : public ::testing::Test {
protected:
    RowStream() : stream(&file) {}
    Bytes Stored() {
        Bytes bytes(file.GetLength());
        file.Seek(0, CFile::kBegin);
        file.Read(bytes.data(), static_cast<uint32_t>(bytes.size()));
        return bytes;
    }
    void Store(const Bytes& bytes) {
        file.SetLength(0);
        file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
        file.Seek(0, CFile::kBegin);
    }
    // Reads a record from `offset`, reporting what it raised.
    Caught ReadAt(CDBRecord& record, uint32_t offset) {
        file.Seek(static_cast<int32_t>(offset), CFile::kBegin);
        return testsupport::Catch([&] { record.Read(stream); });
    }
    MemFile file;
    CFileStream stream;
};

// A record holding tags of several kinds besides the base ones.
void Fill(CDBRecord& record, uint32_t seed) {
    zr_gen::CTaggedDataManager& tags = record.getTaggedDataManager();
    ASSERT_EQ(tags.setData(6, uint32_t{0x01020304u + seed}), 0);
    ASSERT_EQ(tags.setString(7, seed % 2 == 0 ? u"even row" : u"", nullptr), 0);
    const Bytes blob(300 + 200 * seed, static_cast<uint8_t>(seed));
    ASSERT_EQ(tags.setData(12, blob.data(), static_cast<uint32_t>(blob.size()), nullptr, 3), 0);
    record.SetFlag(static_cast<uint8_t>(0x80 >> seed));
    record.SetSortChanged(seed % 2 == 1);
}

TEST(Record, StartsWithFlagAndSortChangedCleared) {
    CDBRecord record;
    EXPECT_EQ(record.GetFlag(), 0);
    EXPECT_FALSE(record.IsSortChanged());
    EXPECT_FALSE(record.IsFileRecord());
    EXPECT_EQ(record.GetPos(), 0xFFFFFFFFu);
    EXPECT_EQ(BlockOf(record), testsupport::Slice(kFreshRow, 8, 32));
}

TEST_F(RowStream, FreshRecordIsWrittenByteExact) {
    Store({0xAA, 0xBB, 0xCC});
    file.Seek(0, CFile::kEnd);
    CDBRecord record;
    record.Write(stream);
    EXPECT_EQ(record.GetPos(), 3u);
    EXPECT_TRUE(record.IsFileRecord());
    EXPECT_EQ(testsupport::Slice(Stored(), 3, 100), kFreshRow);
    EXPECT_EQ(stream.GetPosition(), 3u + 44u);
}

TEST_F(RowStream, EmptyBlockIsTwelveBytesAndReadsBackEmpty) {
    CDBRecord empty;
    empty.FreeData();
    EXPECT_EQ(empty.GetRawDataPtr(), nullptr);
    empty.Write(stream);
    EXPECT_EQ(Stored(), (Bytes{0x50, 0x4B, 0x01, 0x02, 0, 0, 0, 0, 0x50, 0x4B, 0x03, 0x04}));

    CDBRecord record;
    ASSERT_FALSE(ReadAt(record, 0).raised());
    EXPECT_EQ(record.GetRecSize(), 0u);
    EXPECT_EQ(record.GetRawDataPtr(), nullptr);
    const Caught flag = testsupport::Catch([&] { record.GetFlag(); });
    ASSERT_EQ(flag.kind, Caught::Kind::Exception);
    EXPECT_EQ(flag.text.rfind(u"Data class not found error", 0), 0u);
    EXPECT_EQ(flag.number, 0xFFFFFFFFu);
}

// New records' blocks share pooled chunks: every block keeps its bytes
// whichever records go first, grow past a growth step, or stay behind.
TEST(Record, NewRecordsKeepTheirBytesWhateverGoesFirst) {
    std::vector<std::unique_ptr<CDBRecord>> records;
    for (uint32_t i = 0; i < 300; ++i) {
        records.push_back(std::make_unique<CDBRecord>());
        const std::string value(i % 7 == 0 ? 700 : 10, static_cast<char>('a' + i % 26));
        ASSERT_EQ(records.back()->getTaggedDataManager().setData(3, value.data(), static_cast<uint32_t>(value.size()), nullptr, 0), 0);
        EXPECT_EQ(records.back()->getTaggedDataManager().capacity(), i % 7 == 0 ? 1024u : CDBRecord::kMemBlock);
    }
    for (uint32_t i = 0; i < records.size(); i += 2) records[i].reset();
    for (uint32_t i = 1; i < records.size(); i += 2) {
        std::string value(i % 7 == 0 ? 700 : 10, '\0');
        uint32_t size = static_cast<uint32_t>(value.size());
        ASSERT_EQ(records[i]->getTaggedDataManager().getData(3, value.data(), &size, nullptr), 0);
        EXPECT_EQ(value, std::string(size, static_cast<char>('a' + i % 26))) << i;
    }
}

// Blocks of one thread's new records share chunks: records handed to two
// threads may end there at the same time (a lost count would leak a chunk
// or free it twice, which the sanitizers report).
TEST(Record, NewRecordsOfOneThreadEndInTwoThreadsAtOnce) {
    for (int round = 0; round < 40; ++round) {
        std::vector<std::unique_ptr<CDBRecord>> halves[2];
        for (int i = 0; i < 20000; ++i) {
            auto record = std::make_unique<CDBRecord>();
            record->SetNew(true);  // gives it its block
            halves[i % 2].push_back(std::move(record));
        }
        std::latch start(2);
        std::thread other([&] {
            start.arrive_and_wait();
            halves[1].clear();
        });
        start.arrive_and_wait();
        halves[0].clear();
        other.join();
    }
}

TEST(Record, FreeDataReleasesABufferWhoseTagsWereAllDeleted) {
    CDBRecord record;
    zr_gen::CTaggedDataManager& tags = record.getTaggedDataManager();
    ASSERT_EQ(tags.deleteData(CDBRecord::kFlagTag), 0);
    ASSERT_EQ(tags.deleteData(CDBRecord::kSortChangedTag), 0);
    ASSERT_EQ(record.GetRecSize(), 0u);
    ASSERT_NE(record.GetRawDataPtr(), nullptr);
    record.FreeData();
    EXPECT_EQ(record.GetRawDataPtr(), nullptr);
    EXPECT_EQ(tags.capacity(), 0u);
    EXPECT_EQ(tags.growthStep(), CDBRecord::kMemBlock);
    record.SetFlag(0x20);  // the reset manager grows again
    EXPECT_TRUE(record.IsChanged());
}

TEST(Record, FlagUpdatesTouchOnlyTheirBit) {
    struct Case {
        uint8_t before;
        std::function<void(CDBRecord&)> update;
        uint8_t after;
    } cases[] = {
        {0x80, [](CDBRecord& r) { r.SetDeleted(true); }, 0xC0},
        {0xF8, [](CDBRecord& r) { r.ClearChanges(); }, 0x18},
        {0x00, [](CDBRecord& r) { r.SetNew(true); }, 0x80},
        {0x00, [](CDBRecord& r) { r.SetChanged(true); }, 0x20},
        {0x00, [](CDBRecord& r) { r.SetEmpty(true); }, 0x10},
        {0x00, [](CDBRecord& r) { r.SetArchived(true); }, 0x08},
        {0xFF, [](CDBRecord& r) { r.SetNew(false); }, 0x7F},
        {0xFF, [](CDBRecord& r) { r.SetDeleted(false); }, 0xBF},
        {0xFF, [](CDBRecord& r) { r.SetChanged(false); }, 0xDF},
        {0xFF, [](CDBRecord& r) { r.SetEmpty(false); }, 0xEF},
        {0xFF, [](CDBRecord& r) { r.SetArchived(false); }, 0xF7},
        {0x07, [](CDBRecord& r) { r.ClearChanges(); }, 0x07},
        {0x40, [](CDBRecord& r) { r.SetDeleted(true); }, 0x40},
    };
    for (const Case& c : cases) {
        CDBRecord record;
        record.SetFlag(c.before);
        c.update(record);
        EXPECT_EQ(record.GetFlag(), c.after) << "from " << int{c.before};
    }
}

TEST(Record, EachQueryReadsItsOwnMask) {
    struct Case {
        uint8_t mask;
        bool (CDBRecord::*query)();
    } cases[] = {
        {0x80, &CDBRecord::IsNew},   {0x40, &CDBRecord::IsDeleted},  {0x20, &CDBRecord::IsChanged},
        {0x10, &CDBRecord::IsEmpty}, {0x08, &CDBRecord::IsArchived},
    };
    CDBRecord record;
    for (const Case& c : cases) {
        record.SetFlag(c.mask);
        for (const Case& other : cases) EXPECT_EQ((record.*other.query)(), other.mask == c.mask) << int{c.mask};
        record.SetFlag(static_cast<uint8_t>(~c.mask));
        EXPECT_FALSE((record.*c.query)()) << int{c.mask};
    }
}

TEST(Record, SortChangedIsTheByteOfTagTwo) {
    CDBRecord record;
    record.SetSortChanged(true);
    EXPECT_TRUE(record.IsSortChanged());
    EXPECT_EQ(BlockOf(record)[31], 1);
    EXPECT_EQ(record.GetFlag(), 0);
    record.SetSortChanged(false);
    EXPECT_FALSE(record.IsSortChanged());
    EXPECT_EQ(BlockOf(record)[31], 0);
}

TEST(Record, BitsCountFromTheTopModuloEight) {
    struct Case {
        uint8_t byte;
        uint32_t position;
        bool set;
    } cases[] = {
        {0x08, 4, true}, {0x08, 3, false}, {0x80, 0, true}, {0x01, 7, true},
        {0x80, 8, true}, {0x01, 15, true}, {0x7F, 0, false}, {0xFE, 7, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CDBRecord::GetBit(c.byte, c.position), c.set) << int{c.byte} << " at " << c.position;
    }
    uint8_t byte = 0;
    CDBRecord::SetBit(byte, 4, true);
    EXPECT_EQ(byte, 0x08);
    CDBRecord::SetBit(byte, 9, true);
    EXPECT_EQ(byte, 0x48);
    CDBRecord::SetBit(byte, 4, false);
    EXPECT_EQ(byte, 0x40);
}

TEST_F(RowStream, RowsRoundTripWithTheirBlocks) {
    CDBRecord written[3];
    for (uint32_t i = 0; i < 3; ++i) Fill(written[i], i);
    written[1].FreeData();
    for (CDBRecord& record : written) record.Write(stream);

    file.Seek(0, CFile::kBegin);
    uint32_t expectedPos = 0;
    for (CDBRecord& original : written) {
        CDBRecord read;
        read.Read(stream);
        EXPECT_EQ(read.GetPos(), expectedPos);
        EXPECT_EQ(original.GetPos(), expectedPos);
        EXPECT_EQ(BlockOf(read), BlockOf(original));
        // Held in a buffer of exactly its size until it is edited or trimmed.
        EXPECT_EQ(read.getTaggedDataManager().capacity(), read.GetRecSize());
        expectedPos += 12 + original.GetRecSize();
    }
    EXPECT_EQ(stream.GetPosition(), file.GetLength());
}

TEST_F(RowStream, ReadRecordsKeepTheirTagsAndGrowInSteps) {
    CDBRecord original;
    Fill(original, 2);
    original.Write(stream);
    CDBRecord read;
    ASSERT_FALSE(ReadAt(read, 0).raised());
    EXPECT_EQ(read.GetFlag(), 0x20);
    EXPECT_FALSE(read.IsSortChanged());
    uint32_t value = 0;
    EXPECT_EQ(read.getTaggedDataManager().getData(6, value), 0);
    EXPECT_EQ(value, 0x01020306u);

    read.resize();
    EXPECT_EQ(read.getTaggedDataManager().capacity(), (read.GetRecSize() / 512 + 1) * 512);
}

TEST(RowFile, RowsRoundTripThroughADiskFile) {
    testsupport::TempDir dir;
    const std::u16string path = dir.File("rows.bin");
    CDBRecord written[4];
    for (uint32_t i = 0; i < 4; ++i) Fill(written[i], i);
    {
        CFile file;
        ASSERT_EQ(file.Open(path.c_str(), kCreateReadWrite), 1);
        CFileStream stream(&file);
        for (CDBRecord& record : written) record.Write(stream);
        file.Close();
    }
    CFile file;
    ASSERT_EQ(file.Open(path.c_str(), kRead), 1);
    CFileStream stream(&file);
    for (CDBRecord& original : written) {
        CDBRecord read;
        ASSERT_FALSE(testsupport::Catch([&] { read.Read(stream); }).raised());
        EXPECT_EQ(read.GetPos(), original.GetPos());
        EXPECT_EQ(BlockOf(read), BlockOf(original));
    }
    ExpectReadError(testsupport::Catch([&] {
        CDBRecord past;
        past.Read(stream);
    }));
}

TEST_F(RowStream, WrongEndIdentifierKeepsTheBlockRead) {
    Store(ByteWriter().Raw({1, 2, 3, 4, 5}).Raw(Row(testsupport::Slice(kFreshRow, 8, 32), {0x50, 0x4B, 0x01, 0x02},
                                                    {0x50, 0x4B, 0x03, 0x05}))
              .bytes);
    CDBRecord record;
    testsupport::LogTail tail;
    ExpectRaised(ReadAt(record, 5), Caught::Kind::DBException, u"Missing end record identifier", 5);
    EXPECT_TRUE(Traced(tail, "Rowset.cpp"));
    EXPECT_EQ(record.GetPos(), 5u);
    EXPECT_EQ(BlockOf(record), testsupport::Slice(kFreshRow, 8, 32));
    EXPECT_EQ(record.GetFlag(), 0);
}

TEST_F(RowStream, WrongStartIdentifierLeavesTheBlockEmpty) {
    Store(ByteWriter().Raw({9, 9}).Raw(Row(testsupport::Slice(kFreshRow, 8, 32), {0x50, 0x4B, 0x01, 0x03})).bytes);
    CDBRecord record;
    record.SetFlag(0x80);
    testsupport::LogTail tail;
    ExpectRaised(ReadAt(record, 2), Caught::Kind::DBException, u"Missing new record identifier", 4);
    EXPECT_TRUE(Traced(tail, "Rowset.cpp"));
    EXPECT_EQ(record.GetPos(), 2u);
    EXPECT_EQ(record.GetRecSize(), 0u);
    EXPECT_EQ(record.GetRawDataPtr(), nullptr);
}

// A row cut anywhere is a read error; the block read before the cut stays
// only when just the end identifier is missing.
TEST_F(RowStream, RowCutAnywhereIsAReadError) {
    for (size_t cut = 0; cut < kFreshRow.size(); ++cut) {
        Store(testsupport::Slice(kFreshRow, 0, cut));
        CDBRecord record;
        ExpectReadError(ReadAt(record, 0));
        EXPECT_EQ(record.GetPos(), 0u);
        const bool blockComplete = cut >= 40;
        EXPECT_EQ(record.GetRecSize(), blockComplete ? 32u : 0u) << "cut at " << cut;
    }
}

TEST_F(RowStream, LengthBeyondTheStreamAllocatesNothing) {
    FaultInjector injector;
    ScopedFaultInjector installed(injector);
    CDBRecord record;
    // What a read that fails without any block costs: the trace and the error.
    Store(testsupport::Slice(Row({}), 0, 10));
    const uint32_t before = injector.Seen(FaultOp::Alloc);
    ExpectReadError(ReadAt(record, 0));
    const uint32_t baseline = injector.Seen(FaultOp::Alloc) - before;

    // 36 bytes follow the length.
    for (uint32_t length : {0xFFFFFFF0u, 0x7FFFFFFFu, 37u}) {
        Store(ByteWriter().Raw({0x50, 0x4B, 0x01, 0x02}).U32(length).Raw(testsupport::Slice(kFreshRow, 8, 36)).bytes);
        const uint32_t start = injector.Seen(FaultOp::Alloc);
        ExpectReadError(ReadAt(record, 0));
        EXPECT_EQ(injector.Seen(FaultOp::Alloc) - start, baseline) << length;
        EXPECT_EQ(record.GetRecSize(), 0u);
    }
}

TEST_F(RowStream, NoMemoryForTheBlockLeavesTheRecordEmpty) {
    Store(kFreshRow);
    CDBRecord record;
    FaultInjector injector;
    {
        ScopedFaultInjector installed(injector);
        injector.FailNth(FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
        ExpectRaised(ReadAt(record, 0), Caught::Kind::DBException, u"Out of memory", 10);
    }
    EXPECT_TRUE(injector.Fired(FaultOp::Alloc));
    EXPECT_EQ(record.GetPos(), 0u);
    EXPECT_EQ(record.GetRecSize(), 0u);
    EXPECT_EQ(record.GetRawDataPtr(), nullptr);
    ASSERT_FALSE(ReadAt(record, 0).raised());
    EXPECT_EQ(BlockOf(record), testsupport::Slice(kFreshRow, 8, 32));
}

TEST(RowFile, FailingBlockReadFreesTheBlock) {
    testsupport::TempDir dir;
    const std::u16string path = dir.File("row.bin");
    testsupport::WriteFileBytes(dir.path() / "row.bin", kFreshRow);
    CFile file;
    ASSERT_EQ(file.Open(path.c_str(), kRead), 1);
    CFileStream stream(&file);
    CDBRecord record;
    FaultInjector injector;
    {
        ScopedFaultInjector installed(injector);
        injector.FailNth(FaultOp::Read, 2, ERROR_READ_FAULT);  // start identifier with length, block
        ExpectReadError(testsupport::Catch([&] { record.Read(stream); }));
    }
    EXPECT_TRUE(injector.Fired(FaultOp::Read));
    EXPECT_EQ(record.GetRecSize(), 0u);
    EXPECT_EQ(record.GetRawDataPtr(), nullptr);
}

TEST(Record, EveryAllocationFailureInTheConstructorRaises) {
    for (uint32_t n = 1;; ++n) {
        FaultInjector injector;
        ScopedFaultInjector installed(injector);
        injector.FailNth(FaultOp::Alloc, n, ERROR_NOT_ENOUGH_MEMORY);
        CDBRecord* record = nullptr;
        const Caught caught = testsupport::Catch([&] { record = new CDBRecord(); });
        if (!injector.Fired(FaultOp::Alloc)) {
            ASSERT_FALSE(caught.raised());
            EXPECT_EQ(record->GetRecSize(), 32u);
            delete record;
            break;
        }
        ASSERT_TRUE(caught.raised()) << "allocation " << n;
        EXPECT_EQ(record, nullptr);
        // The tag manager is the first; the tags' buffer fails as a tag error.
        if (n == 1) ExpectRaised(caught, Caught::Kind::Exception, u"Out of memory", 10);
    }
}

TEST_F(RowStream, AssignmentCopiesTheBlockAsANewRecord) {
    CDBRecord source;
    Fill(source, 1);
    source.Write(stream);
    CDBRecord target;
    target.SetIndex(7);
    target.Write(stream);
    ASSERT_TRUE(target.IsFileRecord());

    target = source;
    EXPECT_EQ(BlockOf(target), BlockOf(source));
    EXPECT_NE(target.GetRawDataPtr(), source.GetRawDataPtr());
    EXPECT_EQ(target.getTaggedDataManager().capacity(), source.GetRecSize());
    EXPECT_FALSE(target.IsFileRecord());
    EXPECT_EQ(target.GetIndex(), 7u);
    EXPECT_EQ(source.GetPos(), 0u);

    const Bytes before = BlockOf(source);
    target.SetFlag(0x10);  // grows its own buffer only
    EXPECT_EQ(BlockOf(source), before);
    EXPECT_TRUE(target.IsEmpty());

    CDBRecord& alias = target;
    target = alias;
    EXPECT_TRUE(target.IsEmpty());

    CDBRecord empty;
    empty.FreeData();
    target = empty;
    EXPECT_EQ(target.GetRecSize(), 0u);
    EXPECT_EQ(target.GetRawDataPtr(), nullptr);
}

TEST(Record, AssignmentWithoutMemoryLeavesTheTarget) {
    CDBRecord source;
    source.SetFlag(0x80);
    CDBRecord target;
    target.SetFlag(0x08);
    target.SetPos(12);
    FaultInjector injector;
    Caught caught;
    {
        ScopedFaultInjector installed(injector);
        injector.FailNth(FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
        caught = testsupport::Catch([&] { target = source; });
    }
    ExpectRaised(caught, Caught::Kind::Exception, u"Out of memory", 10);
    EXPECT_TRUE(target.IsArchived());
    EXPECT_EQ(target.GetPos(), 12u);
}

}  // namespace
