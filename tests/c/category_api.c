/* A C caller of the flat category interface: sees nothing but notestore.h
 * and the shared library. Drives a category database through a real file
 * (create, add, save, reopen, edit, save, reread) and reads damaged files,
 * which must come back as recorded exceptions, never end the process.
 *
 * Usage: category_api_c <folder>; works in a fresh folder below it, which
 * it removes again when every check passed. */
#define _POSIX_C_SOURCE 200809L

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "c/check.h"
#include "notestore.h"


static int SlotNameIs(OL_CategoryDB* db, uint32_t slot, const char* expected) {
    OL_WCHAR name[64];
    OL_GetIterCategoryName(db, name, slot);
    return SameText(name, expected);
}

static int LastExceptionIs(int32_t kind, uint32_t number, const char* textStart) {
    OL_WCHAR text[512];
    const int32_t length = OL_GetLastExceptionText(NULL);
    if (length < 0 || length >= 512 || OL_GetLastExceptionText(text) != length) return 0;
    for (size_t i = 0; textStart[i] != '\0'; ++i) {
        if ((int32_t)i >= length || text[i] != (OL_WCHAR)(unsigned char)textStart[i]) return 0;
    }
    return OL_GetLastExceptionKind() == kind && OL_GetLastExceptionNumber() == number && text[length] == 0;
}

static void WriteBytes(const char* path, const void* bytes, size_t size) {
    FILE* file = fopen(path, "wb");
    CHECK(file != NULL);
    if (file == NULL) return;
    CHECK(fwrite(bytes, 1, size, file) == size);
    fclose(file);
}

/* Keeps the first `size` bytes of `from` in `to`. */
static void CopyCut(const char* from, const char* to, long size) {
    char buffer[4096];
    FILE* file = fopen(from, "rb");
    CHECK(file != NULL);
    if (file == NULL) return;
    const size_t read = fread(buffer, 1, sizeof buffer, file);
    fclose(file);
    CHECK(size >= 0 && (size_t)size < read);
    if (size >= 0 && (size_t)size < read) WriteBytes(to, buffer, (size_t)size);
}

static long FileSize(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 ? (long)info.st_size : -1;
}

static void CreateAndFill(void) {
    OL_CategoryDB* db = OL_CreateCategoryDB();
    CHECK(db != NULL);
    CHECK(OL_OpenCategoryFile(db, u"categories.db", 2) == 1);
    OL_CategoryInitNewDataBase(db);
    CHECK(OL_GetLastExceptionKind() == OL_EXCEPTION_NONE);

    OL_CategoryRecord* work = OL_AddNewCategorybyName(db, u"Work");
    OL_CategoryRecord* home = OL_AddNewCategorybyName(db, u"Home");
    OL_CategoryRecord* travel = OL_AddNewCategorybyName(db, u"Travel");
    CHECK(work != NULL && home != NULL && travel != NULL);
    CHECK(OL_GetCategoryID(db, work) == 129);
    CHECK(OL_GetCategoryID(db, home) == 130);
    CHECK(OL_GetCategoryID(db, travel) == 131);
    CHECK(OL_GetCategoryRecordSize(db) == 4);
    CHECK(!OL_isFull(db));

    OL_WriteAllCategoryHeaders(db);
    OL_CategoryWriteRows(db);
    CHECK(OL_GetLastExceptionKind() == OL_EXCEPTION_NONE);
    OL_CategoryClose(db);
    OL_DeleteCategoryDB(db);
}

static void ReopenAndEdit(void) {
    OL_CategoryDB* db = OL_CreateCategoryDB();
    CHECK(OL_OpenCategoryFile(db, u"categories.db", 3) == 1);
    OL_CategoryReadRows(db);
    CHECK(OL_GetLastExceptionKind() == OL_EXCEPTION_NONE);
    CHECK(OL_GetCategoryRecordSize(db) == 4);
    CHECK(SlotNameIs(db, 1, "Work") && SlotNameIs(db, 2, "Home") && SlotNameIs(db, 3, "Travel"));

    OL_CategoryIterator first = OL_GetIterator(db);
    OL_CategoryIterator second = OL_GetNext(db);
    CHECK(first.database == db && first.position == 0);
    CHECK(second.database == db && second.position == 1);

    OL_RenameCategory(db, u"Home", u"House");
    OL_DeleteCategorybyName(db, u"Travel");
    CHECK(OL_FindCategorybyName(db, u"Travel") == NULL);
    OL_CategoryRecord* ideas = OL_AddNewCategorybyName(db, u"Ideas");
    CHECK(ideas != NULL && OL_GetCategoryID(db, ideas) == 132);
    CHECK(OL_FindFirstHole(db) == 4); /* appends a fifth, empty slot */

    OL_WriteAllCategoryHeaders(db);
    OL_CategoryWriteRows(db);
    CHECK(OL_GetLastExceptionKind() == OL_EXCEPTION_NONE);
    OL_DeleteCategoryDB(db); /* closes the file */
}

static void RereadEdited(void) {
    OL_CategoryDB* db = OL_CreateCategoryDB();
    CHECK(OL_OpenCategoryFile(db, u"categories.db", 1) == 1);
    OL_CategoryReadRows(db);
    CHECK(OL_GetLastExceptionKind() == OL_EXCEPTION_NONE);
    CHECK(OL_GetCategoryRecordSize(db) == 5);
    CHECK(SlotNameIs(db, 0, "") && SlotNameIs(db, 1, "Work") && SlotNameIs(db, 2, "House") &&
          SlotNameIs(db, 3, "Ideas") && SlotNameIs(db, 4, ""));
    OL_CategoryRecord* house = OL_FindCategorybyName(db, u"House");
    CHECK(house != NULL && OL_GetCategoryID(db, house) == 130);
    CHECK(OL_FindCategorybyName(db, u"house") == NULL);
    OL_CategoryClose(db);
    OL_DeleteCategoryDB(db);
}

static void ReadDamaged(void) {
    static const char notADatabase[] = "this is a text file, not a category database";
    WriteBytes("foreign.db", notADatabase, sizeof notADatabase);
    OL_CategoryDB* db = OL_CreateCategoryDB();
    CHECK(OL_OpenCategoryFile(db, u"foreign.db", 1) == 0);
    CHECK(LastExceptionIs(OL_EXCEPTION_DATABASE, 12, "The db check code is different."));
    CHECK(OL_GetMaxCategoryAmount() == 16);
    CHECK(LastExceptionIs(OL_EXCEPTION_NONE, 0xFFFFFFFFu, ""));
    OL_CategoryClose(db);

    /* Cut inside the last row: the db info promises more than there is. */
    CopyCut("categories.db", "cut.db", FileSize("categories.db") - 6);
    CHECK(OL_OpenCategoryFile(db, u"cut.db", 1) == 1);
    OL_CategoryReadRows(db);
    CHECK(LastExceptionIs(OL_EXCEPTION_LIBRARY, 7, "File IO read error"));
    OL_DeleteCategoryDB(db);

    OL_DeleteCategoryDB(NULL);
}

/* A slot's name is copied into a buffer sized by the header, never past it,
 * however long the stored name is. */
static void BoundedSlotName(void) {
    enum { kCanary = 0xCDCD, kLength = 300 };
    OL_WCHAR longName[kLength + 1];
    for (size_t i = 0; i < kLength; ++i) longName[i] = 'n';
    longName[kLength] = 0;
    OL_CategoryDB* db = OL_CreateCategoryDB();
    OL_CategoryInitNewDataBase(db);
    OL_CategoryRecord* record = OL_AddNewCategorybyName(db, longName);
    CHECK(record != NULL);
    const uint32_t slot = OL_GetCategoryRecordSize(db) - 1;
    OL_WCHAR buffer[OL_CATEGORY_NAME_MAX + 1 + 4];
    for (size_t i = 0; i < sizeof buffer / sizeof buffer[0]; ++i) buffer[i] = kCanary;
    OL_GetIterCategoryName(db, buffer, slot);
    CHECK(OL_GetLastExceptionKind() == OL_EXCEPTION_NONE);
    CHECK(buffer[OL_CATEGORY_NAME_MAX] == 0 && memcmp(buffer, longName, OL_CATEGORY_NAME_MAX * sizeof(OL_WCHAR)) == 0);
    for (size_t i = OL_CATEGORY_NAME_MAX + 1; i < sizeof buffer / sizeof buffer[0]; ++i) CHECK(buffer[i] == kCanary);
    OL_DeleteCategoryDB(db);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    if (mkdir(argv[1], 0700) != 0 && errno != EEXIST) return 2;
    char folder[4096];
    if (snprintf(folder, sizeof folder, "%s/run-XXXXXX", argv[1]) >= (int)sizeof folder) return 2;
    if (mkdtemp(folder) == NULL || chdir(folder) != 0) return 2;

    CreateAndFill();
    ReopenAndEdit();
    RereadEdited();
    ReadDamaged();
    BoundedSlotName();

    if (failures != 0) {
        fprintf(stderr, "%d check(s) failed; files kept in %s\n", failures, folder);
        return 1;
    }
    const char* made[] = {"categories.db", "foreign.db", "cut.db", "FileIO.txt"};
    for (size_t i = 0; i < sizeof made / sizeof made[0]; ++i) unlink(made[i]);
    const char* leaf = strrchr(folder, '/') + 1;
    if (chdir("..") != 0 || rmdir(leaf) != 0) return 1;
    puts("category interface from C: all checks passed");
    return 0;
}
