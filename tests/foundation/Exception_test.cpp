#include "notestore/foundation/Exception.h"

#include <gtest/gtest.h>

#include "notestore/foundation/Messages.h"
#include "platform/Faults.h"
#include "support/LogTail.h"

namespace {

using zr_gen::CDBException;
using zr_gen::CException;
using zr_gen::CFileException;

TEST(Exception, DefaultHasNoDescriptionAndNoNumber) {
    CException e;
    EXPECT_EQ(std::u16string(e.GetDescription()), u"Unknown exception");
    EXPECT_EQ(e.GetErrNumber(), 0xFFFFFFFFu);
}

TEST(Exception, KeepsItsOwnCopies) {
    char16_t text[] = u"original";
    CException e(text, 5);
    text[0] = u'X';
    EXPECT_EQ(std::u16string(e.GetDescription()), u"original");
    CException copy(e);
    CException assigned;
    assigned = e;
    EXPECT_NE(copy.GetDescription(), e.GetDescription());
    EXPECT_EQ(std::u16string(assigned.GetDescription()), u"original");
    EXPECT_EQ(assigned.GetErrNumber(), 5u);
}

TEST(Exception, NullDescriptionIsAnAssertion) {
    testsupport::LogTail tail;
    CException e(static_cast<const char16_t*>(nullptr), 1);
    EXPECT_EQ(std::u16string(e.GetDescription()), u"Unknown exception");
    ASSERT_EQ(tail.Lines().size(), 1u);
    EXPECT_NE(tail.Lines()[0].find("Assertion Failed! File Exception.cpp"), std::string::npos);
}

TEST(Exception, MessagesComeFromTheTable) {
    struct Case {
        uint32_t id;
        const char16_t* text;
    } cases[] = {
        {4, u"The db version is newer than your application. Please update your application!"},
        {5, u"Missing new record identifier"},
        {6, u"Missing end record identifier"},
        {8, u"File IO read error"},
        {9, u"File IO write error"},
        {10, u"File IO"},
        {11, u"Out of memory"},
        {12, u"The default header size is less than the Header object"},
        {13, u"The db check code is different. This is not a .zro file. Perhaps you renamed it from a .zro.pdb file? That won't work. "},
        {14, u"The recorded header size is bigger than the default header size"},
        {15, u"Data corruption error"},
        {16, u"Data class not found error"},
        {17, u"Data buffer overflow error"},
        {18, u"Unknown data error"},
        {19, u"The ZR did not find any free category ID"},
        {20, u"The header size is changed, but the db version not"},
        {21, u"The max amount of categories is 16"},
        {22, u"The image is too big"},
        {23, u"Cannot load DIB"},
        {24, u"Can not save DIB"},
        {25, u"The memory outline database version is not correct. Please contact Corvane technical support!"},
    };
    for (const Case& c : cases) {
        CDBException e(c.id, c.id - 1);
        EXPECT_EQ(std::u16string(e.GetDescription()), c.text) << c.id;
        EXPECT_EQ(e.GetErrNumber(), c.id - 1);
    }
}

TEST(Exception, RaiseSitesUseTheTablesErrorNumbers) {
    // As a rule the id minus one; message 25 is raised with 21.
    const struct {
        zr_gen::MessageId id;
        uint32_t number;
    } cases[] = {{zr_gen::kMsgDbVersionNewer, 3}, {zr_gen::kMsgOutOfMemory, 10}, {zr_gen::kMsgMaxCategories, 20},
                 {zr_gen::kMsgMemoryDbVersion, 21}};
    for (const auto& c : cases) EXPECT_EQ(zr_gen::DefaultErrorNumber(c.id), c.number) << c.id;
}

// Calls Delete() on a null object, as a catcher of what a raise site without
// memory threw does. The sanitizer's own null check would stop the call this
// test is about.
__attribute__((no_sanitize("undefined"), noinline)) void DeleteThrough(CException* exception) {
    exception->Delete();
}

TEST(Exception, DeleteOnANullObjectDoesNothing) {
    DeleteThrough(nullptr);
    CException* live = new CDBException(zr_gen::kMsgOutOfMemory, 10);
    DeleteThrough(live);  // and a live one is freed (the leak check sees it)
}

TEST(Exception, UnknownMessageIdIsAnAssertionAndAnEmptyText) {
    testsupport::LogTail tail;
    CException e(uint32_t{99}, uint32_t{98});
    EXPECT_EQ(std::u16string(e.GetDescription()), u"");
    EXPECT_EQ(tail.Lines().size(), 1u);
}

TEST(Exception, ThrownPointersAreCaughtAsTheBaseAndDeleted) {
    testsupport::LogTail tail;
    try {
        ZR_THROW(CDBException, zr_gen::kMsgMissingEndRecordId, zr_gen::DefaultErrorNumber(zr_gen::kMsgMissingEndRecordId));
    } catch (CException* e) {
        ASSERT_NE(e, nullptr);
        EXPECT_NE(dynamic_cast<CDBException*>(e), nullptr);
        EXPECT_EQ(std::u16string(e->GetDescription()), u"Missing end record identifier");
        EXPECT_EQ(e->GetErrNumber(), 5u);
        e->Delete();
    }
    const auto lines = tail.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Throw an exception FILE - Exception_test.cpp, LINE - ", 0), 0u);
}

TEST(Exception, NoMemoryForTheObjectThrowsANullPointerOfTheSameType) {
    platform::FaultInjector injector;
    platform::ScopedFaultInjector scope(injector);
    testsupport::LogTail tail;
    injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY, true);
    try {
        ZR_THROW(CDBException, zr_gen::kMsgOutOfMemory, 10u);
    } catch (CDBException* e) {
        injector.Heal(platform::FaultOp::Alloc);
        EXPECT_EQ(e, nullptr);
        EXPECT_EQ(std::u16string(zr_gen::DescriptionOf(e)), u"Out of memory");
        zr_gen::LogAndDeleteException(e, "here.cpp", 3);
    }
    EXPECT_EQ(tail.Lines().back(), "Exception Out of memory in file here.cpp line 3");
}

TEST(FileException, CauseNamesBecomeTheDescription) {
    const char16_t* names[] = {u"none", u"generic", u"fileNotFound", u"badPath", u"tooManyOpenFiles",
                               u"accessDenied", u"invalidFile", u"removeCurrentDir", u"directoryFull", u"badSeek",
                               u"hardIO", u"sharingViolation", u"lockViolation", u"diskFull", u"endOfFile"};
    for (int32_t cause = 0; cause <= 14; ++cause) {
        if (cause == CFileException::generic) continue;
        CFileException e(cause, 0, nullptr);
        EXPECT_EQ(std::u16string(e.GetDescription()), names[cause]);
        EXPECT_EQ(e.GetErrNumber(), 0xFFFFFFFFu);
    }
    for (int32_t cause : {15, -1, 1000}) {
        EXPECT_EQ(std::u16string(CFileException(cause, 0, nullptr).GetDescription()), u"unknown");
    }
}

TEST(FileException, GenericCauseDescribesTheOsError) {
    CFileException known(CFileException::generic, ERROR_SHARING_VIOLATION, u"a.zro");
    EXPECT_EQ(std::u16string(known.GetDescription()),
              u"The process cannot access the file because it is being used by another process.\r\n");
    EXPECT_EQ(std::u16string(known.GetFileName()), u"a.zro");
    EXPECT_EQ(known.GetOsError(), 32);
    CFileException unknown(CFileException::generic, 0x7654321, nullptr);
    EXPECT_EQ(std::u16string(unknown.GetDescription()).rfind(u"FormatMessage failed on error 0x7654321", 0), 0u);
    EXPECT_EQ(unknown.GetFileName(), nullptr);
}

TEST(FileException, CopiesOwnTheirTexts) {
    CFileException e(CFileException::diskFull, ERROR_DISK_FULL, u"x.zro");
    CFileException copy(e);
    CFileException assigned;
    assigned = e;
    EXPECT_NE(copy.GetFileName(), e.GetFileName());
    EXPECT_EQ(std::u16string(assigned.GetFileName()), u"x.zro");
    EXPECT_EQ(assigned.GetCause(), CFileException::diskFull);
    EXPECT_EQ(std::u16string(assigned.GetDescription()), u"diskFull");
}

TEST(FileException, OsErrorTableMapsAndLogsListedCodes) {
    struct Case {
        int32_t code;
        int32_t cause;
        const char* logged;  // null: nothing is logged
    } cases[] = {
        {0, 0, "NO_ERROR"},
        {2, 2, "ERROR_FILE_NOT_FOUND"},
        {6, 2, "ERROR_INVALID_HANDLE"},
        {1, 1, nullptr},
        {3, 3, "ERROR_PATH_NOT_FOUND"},
        {267, 3, "ERROR_DIRECTORY"},
        {113, 4, "ERROR_NO_MORE_SEARCH_HANDLES"},
        {80, 5, "ERROR_FILE_EXISTS"},
        {183, 5, "ERROR_ALREADY_EXISTS"},
        {999, 5, "ERROR_SWAPERROR"},
        {998, 1, nullptr},
        {193, 6, "ERROR_BAD_EXE_FORMAT"},
        {145, 7, "ERROR_DIR_NOT_EMPTY"},
        {62, 8, "ERROR_NO_SPOOL_SPACE"},
        {131, 9, "ERROR_NEGATIVE_SEEK"},
        {997, 10, "ERROR_IO_PENDING"},
        {32, 11, "ERROR_SHARING_VIOLATION"},
        {167, 12, "ERROR_LOCK_FAILED"},
        {39, 13, "ERROR_HANDLE_DISK_FULL"},
        {112, 13, "ERROR_DISK_FULL"},
        {38, 14, "ERROR_HANDLE_EOF"},
        {-5, 1, nullptr},
    };
    for (const Case& c : cases) {
        testsupport::LogTail tail;
        EXPECT_EQ(CFileException::OsErrorToException(c.code), c.cause) << c.code;
        const auto lines = tail.Lines();
        if (c.logged == nullptr) {
            EXPECT_TRUE(lines.empty()) << c.code;
        } else {
            EXPECT_EQ(lines, std::vector<std::string>{c.logged}) << c.code;
        }
    }
}

TEST(FileException, ThrowFileExceptionCarriesAllThree) {
    try {
        zr_gen::_ThrowFileException(CFileException::fileNotFound, ERROR_FILE_NOT_FOUND, u"missing.zro");
    } catch (CFileException* e) {
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->GetCause(), 2);
        EXPECT_EQ(e->GetOsError(), 2);
        EXPECT_EQ(std::u16string(e->GetFileName()), u"missing.zro");
        EXPECT_EQ(std::u16string(e->GetDescription()), u"fileNotFound");
        e->Delete();
    }
}

}  // namespace
