// The flat category interface, driven as its C callers drive it; the class
// interface is used only to look at what the calls did.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "notestore.h"
#include "notestore/categories/CategoryDB.h"
#include "platform/Errors.h"
#include "platform/Faults.h"
#include "support/LogTail.h"
#include "support/TempDir.h"

namespace {

using testing::ElementsAre;
using testing::MatchesRegex;
using zr_gen::CCategoryDB;
using zr_gen::CCategoryRecord;

struct LastException {
    int32_t kind;
    uint32_t number;
    std::u16string text;
    bool operator==(const LastException&) const = default;
};

std::ostream& operator<<(std::ostream& out, const LastException& e) {
    return out << "{kind " << e.kind << ", number " << e.number << ", \""
               << std::string(e.text.begin(), e.text.end()) << "\"}";
}

LastException Last() {
    std::u16string text(static_cast<size_t>(OL_GetLastExceptionText(nullptr)), u'\0');
    OL_GetLastExceptionText(text.data());
    return {OL_GetLastExceptionKind(), OL_GetLastExceptionNumber(), text};
}

const LastException kNone{OL_EXCEPTION_NONE, 0xFFFFFFFFu, u""};
const char* const kOutOfMemoryLine = "Exception Out of memory in file CategoryDBExports\\.cpp line [0-9]+";

CCategoryDB& Class(OL_CategoryDB* db) { return *reinterpret_cast<CCategoryDB*>(db); }
CCategoryRecord& Class(OL_CategoryRecord* record) { return *reinterpret_cast<CCategoryRecord*>(record); }

struct Flags {
    bool isNew, deleted, changed, empty;
    bool operator==(const Flags&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Flags& f) {
    return out << "{new " << f.isNew << ", deleted " << f.deleted << ", changed " << f.changed << ", empty " << f.empty
               << "}";
}
Flags FlagsOf(OL_CategoryRecord* handle) {
    CCategoryRecord& r = Class(handle);
    return {r.IsNew(), r.IsDeleted(), r.IsChanged(), r.IsEmpty()};
}

class CategoryExports : public testing::Test {
protected:
    void SetUp() override { CCategoryDB::setUnfiledCategoryName(u"Unfiled"); }
    void TearDown() override {
        for (OL_CategoryDB* db : dbs_) OL_DeleteCategoryDB(db);
    }

    OL_CategoryDB* Database() {
        OL_CategoryDB* db = OL_CreateCategoryDB();
        EXPECT_NE(db, nullptr);
        dbs_.push_back(db);
        return db;
    }

    // A new database in memory: "Unfiled" in slot 0, then the names.
    OL_CategoryDB* NewDatabase(const std::vector<std::u16string>& names) {
        OL_CategoryDB* db = Database();
        OL_CategoryInitNewDataBase(db);
        for (const auto& name : names) EXPECT_NE(OL_AddNewCategorybyName(db, name.c_str()), nullptr);
        return db;
    }

    std::u16string Path(const std::string& name) const { return dir_.File(name); }

    // Creates the file with the flat calls of a new file.
    void WriteNewFile(const std::string& name, const std::vector<std::u16string>& names) {
        OL_CategoryDB* db = Database();
        ASSERT_EQ(OL_OpenCategoryFile(db, Path(name).c_str(), 2), 1);
        OL_CategoryInitNewDataBase(db);
        for (const auto& n : names) OL_AddNewCategorybyName(db, n.c_str());
        Save(db);
    }
    void Save(OL_CategoryDB* db) {
        OL_WriteAllCategoryHeaders(db);
        OL_CategoryWriteRows(db);
        ASSERT_EQ(Last(), kNone);
        OL_CategoryClose(db);
    }
    OL_CategoryDB* Reopen(const std::string& name, int32_t mode) {
        OL_CategoryDB* db = Database();
        EXPECT_EQ(OL_OpenCategoryFile(db, Path(name).c_str(), mode), 1) << Last();
        OL_CategoryReadRows(db);
        EXPECT_EQ(Last(), kNone);
        return db;
    }

    std::vector<uint8_t> Bytes(const std::string& name) const {
        std::ifstream in(dir_.path() / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void Store(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream(dir_.path() / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                                  static_cast<std::streamsize>(bytes.size()));
    }

    static std::u16string SlotName(OL_CategoryDB* db, uint32_t slot) {
        char16_t buffer[64];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        OL_GetIterCategoryName(db, buffer, slot);
        return buffer;
    }
    static std::vector<std::u16string> Names(OL_CategoryDB* db) {
        std::vector<std::u16string> names;
        for (int32_t slot = 0; slot < OL_GetCategoryRecordSize(db); ++slot) names.push_back(SlotName(db, slot));
        return names;
    }
    static OL_CategoryRecord* Slot(OL_CategoryDB* db, uint32_t slot) {
        return reinterpret_cast<OL_CategoryRecord*>(Class(db).GetCatRecordset()->getCategoryRecord(slot));
    }

    testsupport::TempDir dir_;
    std::vector<OL_CategoryDB*> dbs_;
};

// ---- opening ----

struct OpenCase {
    int32_t mode;
    bool fileExists;
    int32_t result;
    bool createsFile;
};

void PrintTo(const OpenCase& c, std::ostream* out) { *out << "mode " << c.mode << (c.fileExists ? " on a file" : ""); }

class OpenModes : public CategoryExports, public testing::WithParamInterface<OpenCase> {};

TEST_P(OpenModes, OpenOnlyForTheThreeModes) {
    const OpenCase& c = GetParam();
    if (c.fileExists) WriteNewFile("cats.db", {});
    OL_CategoryDB* db = Database();
    EXPECT_EQ(OL_OpenCategoryFile(db, Path("cats.db").c_str(), c.mode), c.result);
    EXPECT_EQ(Class(db).IsOpen(), c.result == 1);
    EXPECT_EQ(std::filesystem::exists(dir_.path() / "cats.db"), c.fileExists || c.createsFile);
    EXPECT_EQ(Last(), kNone);
}

INSTANTIATE_TEST_SUITE_P(CategoryExports, OpenModes,
                         testing::Values(OpenCase{0, true, 0, false}, OpenCase{4, true, 0, false},
                                         OpenCase{-1, true, 0, false}, OpenCase{0, false, 0, false},
                                         OpenCase{4, false, 0, false}, OpenCase{1, true, 1, false},
                                         OpenCase{2, false, 1, true}, OpenCase{3, true, 1, false}),
                         [](const testing::TestParamInfo<OpenCase>& info) {
                             const OpenCase& c = info.param;
                             const std::string mode = c.mode < 0 ? "Negative" : std::to_string(c.mode);
                             return "Mode" + mode + (c.fileExists ? "OnAFile" : "WithoutAFile");
                         });

// ---- the database's limits ----

TEST_F(CategoryExports, MaxCategoryAmountIsSixteenWithOrWithoutADatabase) {
    EXPECT_EQ(OL_GetMaxCategoryAmount(), 16);
    NewDatabase({u"a"});
    EXPECT_EQ(OL_GetMaxCategoryAmount(), 16);
}

TEST_F(CategoryExports, SeventeenthCategoryIsRefusedAndNothingIsAppended) {
    OL_CategoryDB* db = NewDatabase({});
    for (char16_t c = u'b'; c <= u'p'; ++c) {
        ASSERT_NE(OL_AddNewCategorybyName(db, std::u16string{u'c', c}.c_str()), nullptr);
    }
    ASSERT_NE(OL_isFull(db), 0);
    testsupport::LogTail tail;

    EXPECT_EQ(OL_AddNewCategorybyName(db, u"one too many"), nullptr);

    EXPECT_EQ(OL_GetCategoryRecordSize(db), 16);
    EXPECT_EQ(Class(db).GetCategoryCount(), 16);
    EXPECT_EQ(OL_FindCategorybyName(db, u"one too many"), nullptr);
    EXPECT_EQ(Last(), kNone);
    EXPECT_THAT(tail.Lines(), ElementsAre()) << "no assertion for a slot beyond the limit";

    // A freed slot takes the next one.
    OL_DeleteCategorybyName(db, u"ch");
    OL_CategoryRecord* added = OL_AddNewCategorybyName(db, u"in the freed slot");
    EXPECT_EQ(added, Slot(db, 7));
    EXPECT_EQ(OL_GetCategoryRecordSize(db), 16);
}

// ---- name functions ----

TEST_F(CategoryExports, DeleteByNameLeavesAHoleThatNameLookupsSkip) {
    OL_CategoryDB* db = NewDatabase({u"Work", u"Home"});
    OL_CategoryRecord* work = OL_FindCategorybyName(db, u"Work");
    Class(work).SetLastChangedTime(500);

    OL_DeleteCategorybyName(db, u"Work");

    EXPECT_EQ(OL_FindCategorybyName(db, u"Work"), nullptr);
    EXPECT_EQ(SlotName(db, 1), u"");
    EXPECT_EQ(FlagsOf(work), (Flags{true, true, false, true}));
    EXPECT_EQ(Class(work).GetLastChangedTime().GetTime(), 500u) << "the name form keeps the time";
    EXPECT_THAT(Names(db), ElementsAre(u"Unfiled", u"", u"Home"));
}

TEST_F(CategoryExports, AddAfterDeletionReusesTheSlotWithANewIdAndItsTime) {
    OL_CategoryDB* db = NewDatabase({u"A", u"B", u"C"});
    OL_CategoryRecord* b = OL_FindCategorybyName(db, u"B");
    ASSERT_EQ(OL_GetCategoryID(db, b), 130u);
    OL_DeleteCategory(db, b, 777);

    OL_CategoryRecord* d = OL_AddNewCategorybyName(db, u"D");

    EXPECT_EQ(d, b);
    EXPECT_EQ(OL_GetCategoryID(db, d), 132u);
    EXPECT_EQ(FlagsOf(d), (Flags{true, false, false, false}));
    EXPECT_EQ(Class(d).GetLastChangedTime().GetTime(), 777u);
    EXPECT_THAT(Names(db), ElementsAre(u"Unfiled", u"A", u"D", u"C"));
}

TEST_F(CategoryExports, FirstAddOnANewDatabaseTakesSlotOneIdOneTwentyNineAndTimeZero) {
    OL_CategoryDB* db = NewDatabase({});
    OL_CategoryRecord* first = OL_AddNewCategorybyName(db, u"first");
    EXPECT_EQ(first, Slot(db, 1));
    EXPECT_EQ(OL_GetCategoryID(db, first), 129u);
    EXPECT_EQ(Class(first).GetLastChangedTime().GetTime(), 0u);
    EXPECT_EQ(FlagsOf(first), (Flags{true, false, false, false}));
}

TEST_F(CategoryExports, RenameChangesTheFirstMatchOnlyAndNothingWithoutOne) {
    OL_CategoryDB* db = NewDatabase({u"Home", u"Work"});
    OL_CategoryRecord* home = OL_FindCategorybyName(db, u"Home");
    Class(home).SetLastChangedTime(42);
    const Flags before = FlagsOf(home);

    OL_RenameCategory(db, u"Office", u"Shop");
    OL_RenameCategory(db, u"home", u"Shop");
    EXPECT_THAT(Names(db), ElementsAre(u"Unfiled", u"Home", u"Work"));
    EXPECT_EQ(FlagsOf(home), before);

    OL_RenameCategory(db, u"Home", u"House");
    EXPECT_THAT(Names(db), ElementsAre(u"Unfiled", u"House", u"Work"));
    EXPECT_TRUE(FlagsOf(home).changed);
    EXPECT_EQ(OL_GetCategoryID(db, home), 129u);
    EXPECT_EQ(Class(home).GetLastChangedTime().GetTime(), 42u);
}

TEST_F(CategoryExports, FindComparesExactlyWholeNamesInSlotOrder) {
    OL_CategoryDB* db = NewDatabase({u"Work", u"work", u"Work"});
    EXPECT_EQ(OL_FindCategorybyName(db, u"Work"), Slot(db, 1));
    EXPECT_EQ(OL_FindCategorybyName(db, u"work"), Slot(db, 2));
    EXPECT_EQ(OL_FindCategorybyName(db, u"WORK"), nullptr);
    EXPECT_EQ(OL_FindCategorybyName(db, u"Wor"), nullptr);
    EXPECT_EQ(OL_FindCategorybyName(db, u"Work "), nullptr);
    OL_DeleteCategorybyName(db, u"Work");
    EXPECT_EQ(OL_FindCategorybyName(db, u"Work"), Slot(db, 3));
}

TEST_F(CategoryExports, NameLookupsSeeEmptySlotsThatWereNeverDeleted) {
    OL_CategoryDB* db = NewDatabase({u"A"});
    OL_ResizeDB(db, 4);
    ASSERT_EQ(OL_GetCategoryRecordSize(db), 5);
    // The class's own search passes over holes; the flat one does not.
    EXPECT_EQ(Class(db).FindCategory(u""), nullptr);
    EXPECT_EQ(OL_FindCategorybyName(db, u""), Slot(db, 2));
    OL_DeleteCategorybyName(db, u"");
    EXPECT_EQ(OL_FindCategorybyName(db, u""), Slot(db, 3));
}

TEST_F(CategoryExports, IterNameOfDeletedAndMissingSlotsIsEmptyAndWritesNoMore) {
    OL_CategoryDB* db = NewDatabase({u"Work"});
    OL_DeleteCategory(db, OL_FindCategorybyName(db, u"Work"), 1);
    for (uint32_t slot : {1u, 2u, 16u, 1000u}) {
        char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
        OL_GetIterCategoryName(db, buffer, slot);
        EXPECT_EQ(std::u16string(buffer, 4), std::u16string(u"\0###", 4)) << "slot " << slot;
    }
    char16_t exact[9];
    std::fill(std::begin(exact), std::end(exact), u'#');
    OL_GetIterCategoryName(db, exact, 0);
    EXPECT_EQ(std::u16string(exact, 9), std::u16string(u"Unfiled\0#", 9));
}

// ---- class operations behind the forwarding exports ----

TEST_F(CategoryExports, ForwardingExportsReachTheirOperations) {
    OL_CategoryDB* db = NewDatabase({u"A", u"B"});
    OL_CategoryRecord* a = OL_FindCategorybyName(db, u"A");

    EXPECT_EQ(reinterpret_cast<void*>(OL_GetCatRecordset(db)), Class(db).GetCatRecordset());
    OL_SetCategoryID(db, a, 200);
    EXPECT_EQ(OL_GetCategoryID(db, a), 200u);
    EXPECT_TRUE(FlagsOf(a).changed);

    zr_gen::_String name;
    OL_GetCatCategoryName(db, a, reinterpret_cast<OL_String*>(&name));
    EXPECT_EQ(name, u"A");

    OL_DeleteCategory(db, a, 1234);
    EXPECT_EQ(FlagsOf(a), (Flags{true, true, true, true}));
    EXPECT_EQ(Class(a).GetLastChangedTime().GetTime(), 1234u);
    EXPECT_EQ(OL_FindFirstHole(db), 1u);
    OL_UndeleteCategory(db, a, 99);
    EXPECT_EQ(FlagsOf(a), (Flags{true, false, true, false}));
    EXPECT_EQ(OL_GetCategoryID(db, a), 131u) << "revived with a newly allocated id";
    EXPECT_EQ(OL_FindFirstHole(db), 3u) << "no hole: one is appended";
    EXPECT_EQ(OL_GetCategoryRecordSize(db), 4);

    EXPECT_EQ(OL_isFull(db), 0);
    OL_deleteAllCategories(db);
    EXPECT_EQ(OL_GetCategoryRecordSize(db), 0);
    OL_CategoryInitNewDataBase(db);
    EXPECT_THAT(Names(db), ElementsAre(u"Unfiled"));
    OL_CreateCategoryRecordset(db);
    EXPECT_EQ(OL_GetCategoryRecordSize(db), 0);
    EXPECT_EQ(Last(), kNone);
}

// ---- iterators ----

TEST_F(CategoryExports, IteratorsMirrorTheClassIterator) {
    OL_CategoryDB* db = NewDatabase({u"A", u"B", u"C"});
    OL_DeleteCategorybyName(db, u"Unfiled");
    OL_DeleteCategorybyName(db, u"B");

    const OL_CategoryIterator first = OL_GetIterator(db);
    EXPECT_EQ(first.database, db);
    EXPECT_EQ(first.position, Class(db).GetIterator().GetRowIterator());
    EXPECT_EQ(first.position, 1u);

    const OL_CategoryIterator second = OL_GetNext(db);
    EXPECT_EQ(second.database, db);
    EXPECT_EQ(second.position, 3u);
    const OL_CategoryIterator again = OL_GetNext(db);
    EXPECT_EQ(again.position, second.position) << "the same on an unchanged database";
}

TEST_F(CategoryExports, NextStandsAtTheEndWithOneLiveCategory) {
    OL_CategoryDB* db = NewDatabase({u"A"});
    OL_DeleteCategorybyName(db, u"A");
    EXPECT_EQ(OL_GetIterator(db).position, 0u);
    EXPECT_EQ(OL_GetNext(db).position, Class(db).End());
    OL_deleteAllCategories(db);
    EXPECT_EQ(OL_GetIterator(db).position, 0u);
    EXPECT_EQ(OL_GetNext(db).position, 0u);
}

// ---- life and files ----

TEST_F(CategoryExports, DeletingANullDatabaseDoesNothing) {
    OL_DeleteCategoryDB(nullptr);
    EXPECT_EQ(Last(), kNone);
}

TEST_F(CategoryExports, RoundTripThroughAFile) {
    WriteNewFile("cats.db", {u"Work", u"Home", u"Caf\u00e9"});

    OL_CategoryDB* db = Reopen("cats.db", 3);
    EXPECT_THAT(Names(db), ElementsAre(u"Unfiled", u"Work", u"Home", u"Caf\u00e9"));
    EXPECT_EQ(OL_GetCategoryID(db, OL_FindCategorybyName(db, u"Caf\u00e9")), 131u);
    OL_DeleteCategorybyName(db, u"Work");
    OL_RenameCategory(db, u"Home", u"House");
    Save(db);

    db = Reopen("cats.db", 1);
    EXPECT_THAT(Names(db), ElementsAre(u"Unfiled", u"", u"House", u"Caf\u00e9"));
    EXPECT_EQ(FlagsOf(Slot(db, 1)), (Flags{true, true, false, true}));
    EXPECT_TRUE(FlagsOf(Slot(db, 2)).changed);
    EXPECT_EQ(OL_GetCategoryID(db, Slot(db, 0)), 0u);
    // The last id handed out travelled with the file.
    EXPECT_EQ(OL_GetCategoryID(db, OL_AddNewCategorybyName(db, u"Next")), 132u);
    OL_CategoryClose(db);
    EXPECT_FALSE(Class(db).IsOpen());
    EXPECT_THAT(Names(db), ElementsAre(u"Unfiled", u"Next", u"House", u"Caf\u00e9")) << "records outlive the file";
}

TEST_F(CategoryExports, ExtraRowsAreReadAndWrittenOnTheirOwn) {
    WriteNewFile("cats.db", {u"A", u"B"});
    auto seekToExtraRows = [](OL_CategoryDB* db) {
        Class(db).Seek(static_cast<int32_t>(Class(db).GetHeaderManager().GetReadHeadersEnd()), 0);
    };
    OL_CategoryDB* db = Database();
    ASSERT_EQ(OL_OpenCategoryFile(db, Path("cats.db").c_str(), 3), 1);
    OL_CheckCategoryDbInfo(db);
    seekToExtraRows(db);
    OL_CategoryReadExtraRows(db);
    EXPECT_EQ(Class(db).GetNewCategoryId(), 131u);
    seekToExtraRows(db);
    OL_CategoryWriteExtraRows(db);
    EXPECT_EQ(Last(), kNone);
    OL_CategoryClose(db);

    db = Reopen("cats.db", 1);
    EXPECT_EQ(Class(db).GetNewCategoryId(), 132u);
    EXPECT_THAT(Names(db), ElementsAre(u"Unfiled", u"A", u"B")) << "the rows behind are untouched";
}

// ---- the boundary ----

struct DamageCase {
    const char* name;
    void (*damage)(std::vector<uint8_t>& bytes);
    bool opens;  // the damage shows when the rows are read
    int32_t kind;
    uint32_t number;
    std::u16string textStart;
};

void NotADatabase(std::vector<uint8_t>& bytes) {
    const std::string text = "a text file, not a database";
    bytes.assign(text.begin(), text.end());
}
void NewerVersion(std::vector<uint8_t>& bytes) { bytes[4] = 2; }
void RowCutShort(std::vector<uint8_t>& bytes) { bytes.resize(bytes.size() - 6); }
void RowStartBroken(std::vector<uint8_t>& bytes) {
    const uint8_t start[] = {0x50, 0x4B, 0x01, 0x02};
    auto found = std::search(bytes.begin(), bytes.end(), std::begin(start), std::end(start));
    ASSERT_NE(found, bytes.end());
    *found = 0;
}

const DamageCase kDamageCases[] = {
    {"NotADatabase", NotADatabase, false, OL_EXCEPTION_DATABASE, 12, u"The db check code is different."},
    {"NewerVersion", NewerVersion, false, OL_EXCEPTION_LIBRARY, 3, u"The db version is newer than your application."},
    {"RowCutShort", RowCutShort, true, OL_EXCEPTION_LIBRARY, 7, u"File IO read error"},
    {"RowStartBroken", RowStartBroken, true, OL_EXCEPTION_DATABASE, 4, u"Missing new record identifier"},
};

void PrintTo(const DamageCase& c, std::ostream* out) { *out << c.name; }

class DamagedFiles : public CategoryExports, public testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedFiles, ReturnCleanlyWithTheRecordSetAndTheTraceLineWritten) {
    const DamageCase& c = GetParam();
    WriteNewFile("cats.db", {u"Work", u"Home"});
    std::vector<uint8_t> bytes = Bytes("cats.db");
    c.damage(bytes);
    Store("cats.db", bytes);
    OL_CategoryDB* db = Database();
    testsupport::LogTail tail;

    EXPECT_EQ(OL_OpenCategoryFile(db, Path("cats.db").c_str(), 1), c.opens ? 1 : 0);
    if (c.opens) {
        EXPECT_EQ(Last(), kNone);
        OL_CategoryReadRows(db);
    }

    const LastException last = Last();
    EXPECT_EQ(last.kind, c.kind);
    EXPECT_EQ(last.number, c.number);
    EXPECT_EQ(last.text.substr(0, c.textStart.size()), c.textStart);
    const std::string narrowText(c.textStart.begin(), c.textStart.end());
    EXPECT_THAT(tail.Lines().back(),
                MatchesRegex("Exception " + narrowText + ".* in file CategoryDBExports\\.cpp line [0-9]+"));

    EXPECT_EQ(OL_GetMaxCategoryAmount(), 16);
    EXPECT_EQ(Last(), kNone) << "a fresh call clears the record";

    // The database is still usable: closed, it opens a sound file.
    OL_CategoryClose(db);
    WriteNewFile("sound.db", {u"Fine"});
    ASSERT_EQ(OL_OpenCategoryFile(db, Path("sound.db").c_str(), 1), 1);
    OL_CategoryReadRows(db);
    EXPECT_THAT(Names(db), ElementsAre(u"Unfiled", u"Fine"));
}

INSTANTIATE_TEST_SUITE_P(CategoryExports, DamagedFiles, testing::ValuesIn(kDamageCases),
                         [](const testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

TEST_F(CategoryExports, MissingFileIsRecordedAsAFileException) {
    OL_CategoryDB* db = Database();
    EXPECT_EQ(OL_OpenCategoryFile(db, Path("absent.db").c_str(), 1), 0);
    EXPECT_EQ(Last(), (LastException{OL_EXCEPTION_FILE, 0xFFFFFFFFu, u"fileNotFound"}));
    EXPECT_FALSE(Class(db).IsOpen());
}

TEST_F(CategoryExports, NoMemoryAtAllIsRecordedAsOutOfMemory) {
    OL_CategoryDB* db = NewDatabase({u"A"});
    {
        platform::FaultInjector injector;
        platform::ScopedFaultInjector scope(injector);
        // Neither the new recordset nor then the exception object (nor a log
        // line) can be had: a null exception pointer reaches the boundary.
        injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY, true);
        OL_CreateCategoryRecordset(db);
        ASSERT_TRUE(injector.Fired(platform::FaultOp::Alloc));
    }
    EXPECT_EQ(Last(), (LastException{OL_EXCEPTION_LIBRARY, 10, u"Out of memory"}));
    EXPECT_THAT(Names(db), ElementsAre(u"Unfiled", u"A")) << "the old records stay";
}

// Each allocation of reading a damaged file fails in turn. Every call returns
// with a record; and when the allocation that fails is the exception object
// of the damage's raise site (its trace line is there, the object is not),
// the null pointer is logged and recorded as "Out of memory".
TEST_F(CategoryExports, DamagedReadFailsCleanlyAtEachAllocation) {
    WriteNewFile("cats.db", {u"Work"});
    std::vector<uint8_t> bytes = Bytes("cats.db");
    RowStartBroken(bytes);
    Store("cats.db", bytes);
    auto readRows = [&](platform::FaultInjector* injector) {
        OL_CategoryDB* db = OL_CreateCategoryDB();
        EXPECT_EQ(OL_OpenCategoryFile(db, Path("cats.db").c_str(), 1), 1);
        testsupport::LogTail tail;
        if (injector == nullptr) {
            OL_CategoryReadRows(db);
        } else {
            platform::ScopedFaultInjector scope(*injector);
            OL_CategoryReadRows(db);
        }
        const std::vector<std::string> lines = tail.Lines();
        const LastException last = Last();
        OL_DeleteCategoryDB(db);
        return std::make_pair(lines, last);
    };
    const auto [sound, damage] = readRows(nullptr);
    ASSERT_GE(sound.size(), 2u);
    const std::string raiseLine = sound[sound.size() - 2];
    ASSERT_THAT(raiseLine, MatchesRegex("Throw an exception FILE - .*"));
    ASSERT_EQ(damage.kind, OL_EXCEPTION_DATABASE);

    bool nullSeen = false;
    for (uint32_t n = 1;; ++n) {
        platform::FaultInjector injector;
        injector.FailNth(platform::FaultOp::Alloc, n, ERROR_NOT_ENOUGH_MEMORY);
        const auto [lines, last] = readRows(&injector);
        if (!injector.Fired(platform::FaultOp::Alloc)) break;
        EXPECT_NE(last.kind, OL_EXCEPTION_NONE) << "allocation " << n;
        if (lines.size() >= 2 && lines[lines.size() - 2] == raiseLine && last.text == u"Out of memory") {
            nullSeen = true;
            EXPECT_EQ(last, (LastException{OL_EXCEPTION_LIBRARY, 10, u"Out of memory"}));
            EXPECT_THAT(lines.back(), MatchesRegex(kOutOfMemoryLine));
        }
        ASSERT_LT(n, 1000u);
    }
    EXPECT_TRUE(nullSeen);
}

// Each allocation of making a database fails in turn: the result is null with
// nothing recorded (the object itself) or "Out of memory", never a crash or
// a leak; with no failure the database is made.
TEST_F(CategoryExports, CreateFailsCleanlyAtEachAllocation) {
    for (const bool persistent : {false, true}) {
        for (uint32_t n = 1;; ++n) {
            platform::FaultInjector injector;
            OL_CategoryDB* db = nullptr;
            {
                platform::ScopedFaultInjector scope(injector);
                injector.FailNth(platform::FaultOp::Alloc, n, ERROR_NOT_ENOUGH_MEMORY, persistent);
                db = OL_CreateCategoryDB();
            }
            if (!injector.Fired(platform::FaultOp::Alloc)) {
                ASSERT_NE(db, nullptr);
                EXPECT_EQ(Last(), kNone);
                OL_DeleteCategoryDB(db);
                EXPECT_GT(n, 2u) << "the object and its parts are allocated";
                break;
            }
            EXPECT_EQ(db, nullptr) << "allocation " << n;
            const LastException last = Last();
            if (n == 1) {
                EXPECT_EQ(last, kNone) << "no memory for the object itself";
            } else {
                EXPECT_EQ(last.kind, OL_EXCEPTION_LIBRARY) << "allocation " << n;
                EXPECT_EQ(last.text, u"Out of memory") << "allocation " << n;
            }
            ASSERT_LT(n, 100u);
        }
    }
}

}  // namespace

namespace {

// Only to put the id allocator where no id is left.
class ExhaustedCategoryDB : public zr_gen::CCategoryDB {
public:
    void SetLastId(uint32_t id) { lastCategoryId_ = id; }
    OL_CategoryDB* Handle() { return reinterpret_cast<OL_CategoryDB*>(static_cast<zr_gen::CCategoryDB*>(this)); }
    // A new database whose ids 251 to 255 are taken.
    void InitWithTheLastIdsUsed() {
        OL_CategoryInitNewDataBase(Handle());
        const zr_gen::CTime time(1);
        for (uint32_t id = 251; id <= 255; ++id) AddNewCategory(id, u"used", &time);
    }
};

TEST(CategoryExportsIds, NoFreeIdLeavesAReusedSlotDeleted) {
    ExhaustedCategoryDB database;
    database.InitWithTheLastIdsUsed();
    OL_CategoryDB* db = database.Handle();
    OL_CategoryRecord* gone = OL_AddNewCategorybyName(db, u"Gone");
    ASSERT_NE(gone, nullptr);
    const uint32_t oldId = OL_GetCategoryID(db, gone);
    OL_DeleteCategorybyName(db, u"Gone");
    database.SetLastId(250);

    EXPECT_EQ(OL_AddNewCategorybyName(db, u"New"), nullptr);
    EXPECT_EQ(OL_GetLastExceptionNumber(), 18u);
    EXPECT_TRUE(Class(gone).IsDeleted());
    EXPECT_TRUE(Class(gone).IsEmpty());
    EXPECT_EQ(OL_GetCategoryID(db, gone), oldId);
    EXPECT_EQ(OL_FindCategorybyName(db, u"Gone"), nullptr);
}

TEST(CategoryExportsIds, NoFreeIdTakesBackTheAppendedSlot) {
    // Without a hole the add appends a slot; with no id free that slot must
    // not stay behind as a live category with id 0 and no name.
    ExhaustedCategoryDB database;
    database.InitWithTheLastIdsUsed();
    OL_CategoryDB* db = database.Handle();
    database.SetLastId(250);
    const int32_t slots = OL_GetCategoryRecordSize(db);

    EXPECT_EQ(OL_AddNewCategorybyName(db, u"New"), nullptr);
    EXPECT_EQ(OL_GetLastExceptionNumber(), 18u);
    EXPECT_EQ(OL_GetCategoryRecordSize(db), slots);
    EXPECT_EQ(database.FindCategory(0u), database.GetByIndex(0)) << "only the unfiled category has id 0";
    EXPECT_EQ(database.GetCategoryCount(), 6);
}

}  // namespace
