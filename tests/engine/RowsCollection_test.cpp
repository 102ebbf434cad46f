#include "notestore/engine/RowsCollection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "notestore/engine/Rowset.h"
#include "notestore/foundation/Exception.h"
#include "platform/Faults.h"
#include "support/Caught.h"
#include "support/LogTail.h"

namespace {

using platform::FaultInjector;
using platform::FaultOp;
using platform::ScopedFaultInjector;
using testsupport::Caught;
using zr_gen::CDBRecord;
using zr_gen::CDBRecordset;

// Records that are alive and records that went through Init.
struct Census {
    int alive = 0;
    int inits = 0;
};

class CountedRecord : public CDBRecord {
public:
    explicit CountedRecord(Census& census) : census_(census) { ++census_.alive; }
    ~CountedRecord() override { --census_.alive; }
    void Init() override { ++census_.inits; }

private:
    Census& census_;
};

class CountedRecordset : public CDBRecordset {
public:
    explicit CountedRecordset(Census& census) : census_(census) {}
    CDBRecord* CreateDBRecord() override { return Initialized(zr_gen::NewObject<CountedRecord>(census_)); }

private:
    Census& census_;
};

std::vector<CDBRecord*> Order(const CDBRecordset& set) {
    std::vector<CDBRecord*> order;
    for (int32_t i = 0; i < set.getSize(); ++i) order.push_back(set.getRecord(static_cast<uint32_t>(i)));
    return order;
}

std::vector<CDBRecord*> Fill(CDBRecordset& set, int count) {
    for (int i = 0; i < count; ++i) set.Append();
    return Order(set);
}

size_t AssertionLines(const testsupport::LogTail& tail) {
    size_t count = 0;
    for (const std::string& line : tail.Lines()) count += line.find("Assertion Failed!") != std::string::npos;
    return count;
}

TEST(Recordset, AppendNumbersRecordsInListOrder) {
    CDBRecordset set;
    const auto records = Fill(set, 3);
    ASSERT_EQ(set.getSize(), 3);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(records[i]->GetIndex(), i);
        EXPECT_EQ(records[i]->GetFlag(), 0);
        EXPECT_EQ(set.GetRowPos(records[i]), static_cast<int32_t>(i));
    }
    EXPECT_EQ(set.getRecord(3), nullptr);
    EXPECT_EQ(set.getRecord(0xFFFFFFFFu), nullptr);
}

TEST(Recordset, NewRecordsComeFromTheFactoryAndGoWhereAsked) {
    Census census;
    CountedRecordset set(census);
    const auto abc = Fill(set, 3);
    CDBRecord* x = set.InsertBefore(abc[1]);
    CDBRecord* y = set.InsertAfter(abc[2]);
    CDBRecord* z = set.InsertAfter(abc[0]);
    CDBRecord* w = set.InsertBefore(abc[0]);
    EXPECT_EQ(Order(set), (std::vector<CDBRecord*>{w, abc[0], z, x, abc[1], abc[2], y}));
    EXPECT_EQ(census.alive, 7);
    EXPECT_EQ(census.inits, 7);
}

TEST(Recordset, MoveBeforeReordersWithoutCreatingOrDestroying) {
    struct Case {
        int record;
        int before;  // -1: null
        std::vector<int> order;
    } cases[] = {
        {0, -1, {1, 2, 0}}, {2, 0, {2, 0, 1}}, {0, 2, {1, 0, 2}}, {1, 0, {1, 0, 2}},
        {2, -1, {0, 1, 2}}, {1, 1, {0, 1, 2}}, {0, 1, {0, 1, 2}},
    };
    for (const Case& c : cases) {
        Census census;
        CountedRecordset set(census);
        const auto records = Fill(set, 3);
        testsupport::LogTail tail;
        set.MoveBefore(records[c.record], c.before < 0 ? nullptr : records[c.before]);
        EXPECT_EQ(AssertionLines(tail), 0u);
        std::vector<CDBRecord*> expected;
        for (int i : c.order) expected.push_back(records[i]);
        EXPECT_EQ(Order(set), expected) << c.record << " before " << c.before;
        EXPECT_EQ(census.alive, 3);
    }
}

TEST(Recordset, DeleteDestroysAndReportsTheFollowingPosition) {
    Census census;
    CountedRecordset set(census);
    const auto records = Fill(set, 4);
    EXPECT_EQ(set.Delete(records[1]), 1);
    EXPECT_EQ(census.alive, 3);
    EXPECT_EQ(set.getRecord(1), records[2]);
    set.Delete(0);
    EXPECT_EQ(census.alive, 2);
    EXPECT_EQ(Order(set), (std::vector<CDBRecord*>{records[2], records[3]}));
    EXPECT_EQ(set.Delete(records[3]), 1);
    EXPECT_EQ(set.getSize(), 1);
    EXPECT_EQ(census.alive, 1);
}

TEST(Recordset, OwnershipOfAddedForgottenAndFreedRecords) {
    Census census;
    std::vector<CDBRecord*> forgotten;
    {
        CountedRecordset set(census);
        auto* own = new CountedRecord(census);
        own->SetIndex(42);
        set.add(own);
        EXPECT_EQ(own->GetIndex(), 42u);
        EXPECT_EQ(set.getRecord(0), own);

        forgotten = Fill(set, 3);
        set.emptyRS();
        EXPECT_EQ(set.getSize(), 0);
        EXPECT_EQ(census.alive, 4);

        Fill(set, 2);
        set.Free();
        EXPECT_EQ(set.getSize(), 0);
        EXPECT_EQ(census.alive, 4);

        for (CDBRecord* record : forgotten) set.add(record);
        CDBRecord* loose = set.CreateDBRecord();
        EXPECT_EQ(set.getSize(), 4);
        set.DeleteDBRecord(loose);
        EXPECT_EQ(set.getSize(), 4);
        EXPECT_EQ(census.alive, 4);
    }
    EXPECT_EQ(census.alive, 0);
}

TEST(Recordset, RecordsNotInTheListChangeNothing) {
    Census census;
    CountedRecordset set(census);
    const auto records = Fill(set, 3);
    CountedRecord stranger(census);
    testsupport::LogTail tail;

    EXPECT_EQ(set.GetRowPos(&stranger), -1);
    EXPECT_EQ(set.InsertBefore(&stranger), nullptr);
    EXPECT_EQ(set.InsertAfter(&stranger), nullptr);
    EXPECT_EQ(set.Delete(&stranger), -1);
    set.MoveBefore(&stranger, records[0]);
    set.MoveBefore(records[0], &stranger);
    set.Delete(-1);
    set.Delete(3);
    set.add(nullptr);

    EXPECT_EQ(AssertionLines(tail), 9u);
    EXPECT_EQ(Order(set), records);
    EXPECT_EQ(census.alive, 4);
    EXPECT_EQ(census.inits, 3);
}

TEST(Recordset, DeleteMarkedDestroysEveryDeletedRecordInOnePass) {
    // K: kept, D: marked deleted.
    for (const std::string pattern : {"", "D", "K", "DD", "DDD", "KDDK", "DKDKD", "KKK", "DKKD", "KDDDK"}) {
        Census census;
        CountedRecordset set(census);
        const auto records = Fill(set, static_cast<int>(pattern.size()));
        std::vector<CDBRecord*> kept;
        for (size_t i = 0; i < pattern.size(); ++i) {
            if (pattern[i] == 'D') {
                records[i]->SetFlag(0xC0);
            } else {
                records[i]->SetFlag(0xBF);  // every other bit set
                kept.push_back(records[i]);
            }
        }
        const auto removed = static_cast<uint32_t>(pattern.size() - kept.size());
        EXPECT_EQ(set.DeleteMarked(), removed) << pattern;
        EXPECT_EQ(Order(set), kept) << pattern;
        EXPECT_EQ(census.alive, static_cast<int>(kept.size())) << pattern;
    }
}

TEST(Recordset, DeleteMarkedStopsAtADamagedFlagKeepingTheRest) {
    Census census;
    CountedRecordset set(census);
    const auto r = Fill(set, 5);  // D K X D K
    r[0]->SetDeleted(true);
    r[3]->SetDeleted(true);
    char* tagCode = r[2]->GetRawDataPtr();
    const char saved = tagCode[0];
    tagCode[0] = 0;

    const Caught caught = testsupport::Catch([&] { set.DeleteMarked(); });
    ASSERT_EQ(caught.kind, Caught::Kind::Exception);
    EXPECT_EQ(caught.text.rfind(u"Data corruption error", 0), 0u);
    EXPECT_EQ(Order(set), (std::vector<CDBRecord*>{r[1], r[2], r[3], r[4]}));
    EXPECT_EQ(census.alive, 4);

    tagCode[0] = saved;
    EXPECT_EQ(set.DeleteMarked(), 1u);
    EXPECT_EQ(Order(set), (std::vector<CDBRecord*>{r[1], r[2], r[4]}));
    EXPECT_EQ(census.alive, 3);
}

// A record for a row about to be read skips Init (the read replaces its
// block), only for that record: a failed one leaves Init on for the next.
TEST(Recordset, RecordsAppendedToReadSkipInitAndOnlyThey) {
    Census census;
    CountedRecordset set(census);
    set.Append();
    CDBRecord* read = set.AppendToRead();
    EXPECT_EQ(read->GetIndex(), 1u);
    EXPECT_EQ(census.inits, 1);
    {
        FaultInjector injector;
        ScopedFaultInjector installed(injector);
        injector.FailNth(FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
        testsupport::LogTail tail;
        EXPECT_EQ(testsupport::Catch([&] { set.AppendToRead(); }).text, u"Out of memory");
    }
    set.InsertAfter(read);
    set.Append();
    EXPECT_EQ(census.inits, 3);
    EXPECT_EQ(census.alive, 4);
}

TEST(Recordset, NoMemoryForANewRecordIsOutOfMemory) {
    CDBRecordset plain;
    Census census;
    CountedRecordset counted(census);
    for (CDBRecordset* set : std::vector<CDBRecordset*>{&plain, &counted}) {
        FaultInjector injector;
        ScopedFaultInjector installed(injector);
        injector.FailNth(FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
        testsupport::LogTail tail;
        const Caught caught = testsupport::Catch([&] { set->Append(); });
        ASSERT_EQ(caught.kind, Caught::Kind::Exception);
        ASSERT_FALSE(tail.Lines().empty());
        EXPECT_EQ(tail.Lines()[0].rfind("Throw an exception FILE - RowsCollection.cpp, LINE - ", 0), 0u);
        EXPECT_EQ(caught.text, u"Out of memory");
        EXPECT_EQ(caught.number, 10u);
        EXPECT_EQ(set->getSize(), 0);
    }
    EXPECT_EQ(census.inits, 0);
}

// Whichever allocation fails, a new record is either in the list or gone.
TEST(Recordset, FailedInsertionsLeaveTheListAsItWas) {
    Census census;
    CountedRecordset set(census);
    const auto records = Fill(set, 2);
    for (uint32_t n = 1;; ++n) {
        FaultInjector injector;
        ScopedFaultInjector installed(injector);
        injector.FailNth(FaultOp::Alloc, n, ERROR_NOT_ENOUGH_MEMORY);
        const int32_t size = set.getSize();
        const Caught caught = testsupport::Catch([&] { set.InsertAfter(records[0]); });
        if (!injector.Fired(FaultOp::Alloc)) {
            EXPECT_FALSE(caught.raised());
            EXPECT_EQ(set.getSize(), size + 1);
            break;
        }
        EXPECT_TRUE(caught.raised()) << "allocation " << n;
        EXPECT_EQ(set.getSize(), size);
        EXPECT_EQ(census.alive, size);
        EXPECT_EQ(Order(set).back(), records[1]);
    }
}

}  // namespace
