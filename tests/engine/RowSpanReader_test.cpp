#include "notestore/engine/RowSpanReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "notestore/engine/Rowset.h"
#include "notestore/foundation/File.h"
#include "notestore/foundation/FileStream.h"
#include "support/Bytes.h"
#include "support/TempDir.h"

namespace {

using testsupport::Bytes;
using zr_gen::CDBRecord;

// A caller's record class that reads its rows itself.
class OwnReadRecord : public CDBRecord {
public:
    void Read(zr_gen::CFileStream& stream) override {
        ++reads;
        CDBRecord::Read(stream);
    }
    int reads = 0;
};

// A row frame around `block`.
Bytes Row(const Bytes& block) {
    Bytes row(CDBRecord::kStartTag, CDBRecord::kStartTag + CDBRecord::kStartTagLen);
    const auto length = static_cast<uint32_t>(block.size());
    for (int shift = 0; shift < 32; shift += 8) row.push_back(static_cast<uint8_t>(length >> shift));
    row.insert(row.end(), block.begin(), block.end());
    row.insert(row.end(), CDBRecord::kEndTag, CDBRecord::kEndTag + CDBRecord::kEndTagLen);
    return row;
}

Bytes Block(size_t row) { return Bytes(40 + row % 50, static_cast<uint8_t>(row)); }

// Records of both kinds in one read, in runs and alone, so that the reader
// sees the record class change from row to row: each row lands in its record
// whole, and a caller's class keeps reading through its own Read every time.
TEST(RowSpanReader, RecordClassesMayChangeFromRowToRow) {
    testsupport::TempDir dir;
    const auto path = dir.path() / "rows";
    constexpr size_t kRows = 3000;  // about 200 KB, past one span
    Bytes file;
    for (size_t i = 0; i < kRows; ++i) {
        const Bytes row = Row(Block(i));
        file.insert(file.end(), row.begin(), row.end());
    }
    testsupport::WriteFileBytes(path, file);

    zr_gen::CFileStream stream;
    ASSERT_EQ(stream.Open(path.u16string().c_str(), zr_gen::CFile::kModeRead), 1);
    std::vector<std::unique_ptr<CDBRecord>> records;
    int ownReads = 0;
    {
        zr_gen::RowSpanReader reader(stream);
        for (size_t i = 0; i < kRows; ++i) {
            const bool own = i % 7 == 3 || (i / 100) % 3 == 1;
            records.emplace_back(own ? static_cast<CDBRecord*>(new OwnReadRecord()) : new CDBRecord());
            reader.ReadInto(*records.back());
            ownReads += own ? 1 : 0;
        }
        reader.Finish();
    }
    EXPECT_EQ(stream.GetPosition(), file.size());
    int reads = 0;
    for (size_t i = 0; i < kRows; ++i) {
        const Bytes expected = Block(i);
        ASSERT_EQ(records[i]->GetRecSize(), expected.size()) << "row " << i;
        ASSERT_EQ(std::memcmp(records[i]->GetRawDataPtr(), expected.data(), expected.size()), 0) << "row " << i;
        if (const auto* own = dynamic_cast<const OwnReadRecord*>(records[i].get())) reads += own->reads;
    }
    EXPECT_EQ(reads, ownReads);
}

}  // namespace
