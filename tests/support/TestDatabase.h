// A database subclass for tests: any version is accepted, no extra rows,
// and a counter of version checks.
#pragma once

#include "notestore/engine/Database.h"
#include "notestore/engine/TaggedDataHeader.h"

namespace testsupport {

class TestDatabase : public zr_gen::CDatabase {
public:
    TestDatabase() : CDatabase(true) {}
    void CheckDbInfo() override { ++versionChecks; }
    using CDatabase::ReadHeader;
    using CDatabase::WriteHeader;
    int versionChecks = 0;

protected:
    void ReadExtraRows() override {}
    void WriteExtraRows() override {}
};

// A header whose one default field is tag 9 holding the byte 7.
class TestHeader : public zr_gen::CTaggedDataHeader {
public:
    static constexpr uint32_t kDefaultTag = 9;
    void CreateNewFields() override {
        ++defaultsCalls;
        if (!hasTag(kDefaultTag)) getTaggedDataManager().setData(kDefaultTag, uint8_t{7});
    }
    int defaultsCalls = 0;
};

}  // namespace testsupport
