/* A C caller of the flat outline interface: sees nothing but notestore.h and
 * the shared library. Writes a document through a real file, reads it back
 * in a second document object, edits items, and opens damaged files, which
 * must come back as failures, never end the process.
 *
 * Usage: outline_api_c <folder>; works in a fresh folder below it, which it
 * removes again when every check passed. */
#define _POSIX_C_SOURCE 200809L

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "c/check.h"
#include "notestore.h"


enum { kRead = 0x0000, kReadWrite = 0x0002, kCreate = 0x1000 };

/* ASCII to UTF-16, in a buffer of 128 characters. */
static const OL_WCHAR* Wide(const char* ascii, OL_WCHAR* buffer) {
    size_t i = 0;
    for (; ascii[i] != '\0' && i < 127; ++i) buffer[i] = (OL_WCHAR)(unsigned char)ascii[i];
    buffer[i] = 0;
    return buffer;
}

static void Write(OL_OutlineDB* db, const OL_WCHAR* path) {
    CHECK(OL_Open(db, path, kCreate | kReadWrite) == 1);
    OL_InitNewDataBase(db);
    OL_WriteAllHeaders(db);
    OL_WriteRows(db);
    OL_Close(db);
}

static OL_OutlineDB* Load(const OL_WCHAR* path) {
    OL_OutlineDB* db = OL_CreateOutlineDB();
    CHECK(db != NULL);
    CHECK(OL_Open(db, path, kRead) == 1);
    CHECK(OL_ReadSharedHeader(db) == 1);
    CHECK(OL_ReadPrivateHeader(db) == 1);
    OL_ReadRows(db);
    CHECK(OL_GetLastExceptionKind() == OL_EXCEPTION_NONE);
    return db;
}

static void WriteDocument(const OL_WCHAR* path) {
    OL_WCHAR text[128];
    OL_OutlineDB* db = OL_CreateOutlineDB();
    CHECK(db != NULL);
    OL_SetOutlineTitle(db, Wide("Trip", text));
    OL_SetCategoryName(db, Wide("Travel", text));
    OL_SetOutlineFont(db, Wide("Tahoma", text), 12, 700, 1, 0, 0);
    OL_WindowPlacement placement = {0, 2, 1, -1, -1, 10, 20, 1, 2, 3, 4};
    OL_SetOultineWindowPos(db, &placement);

    OL_OutlineRecord* first = OL_AppendRecordSet(db);
    OL_SetId(first, 17);
    OL_SetText(first, Wide("Pack", text));
    OL_SetNote(first, Wide("passport", text));
    OL_SetIndent(first, 300); /* the low 8 bits: 44 */
    OL_SetChecked(first, 2);  /* any non-zero value is true */
    OL_OutlineRecord* copy = OL_DuplicateRecord(db, first);
    CHECK(copy != NULL && OL_GetId(copy) == 0);
    CHECK(OL_GetSize(db) == 2);

    /* A caller's record joins the document. */
    OL_OutlineRecord* own = OL_CreateOutlineRecord();
    OL_Init(own);
    OL_SetText(own, Wide("Book", text));
    OL_AddtoRS(db, own);
    OL_AddDeletedId(db, 9);
    Write(db, path);
    CHECK(OL_GetLastExceptionKind() == OL_EXCEPTION_NONE);
    OL_DeleteOutlineDB(db);
}

static void ReadDocument(const OL_WCHAR* path) {
    OL_WCHAR text[128];
    OL_OutlineDB* db = Load(path);
    CHECK(OL_GetOutlineTitle(db, text) == 4 && SameText(text, "Trip"));
    CHECK(OL_GetCategoryName(db, text) == 6 && SameText(text, "Travel"));
    const OL_LogFont* font = OL_GetOutlineFont(db);
    CHECK(font != NULL && font->height == 12 && font->weight == 700);
    CHECK(font->strikeOut == 1 && font->underline == 0 && font->italic == 0);
    CHECK(SameText(font->faceName, "Tahoma"));
    CHECK(OL_GetOutlineFont(db) == font); /* one record, refilled */
    OL_WindowPlacement placement;
    memset(&placement, 0, sizeof placement);
    OL_GetOutlineWindowPos(db, &placement);
    CHECK(placement.length == 44 && placement.flags == 2 && placement.maxY == 20);
    CHECK(placement.left == 1 && placement.top == 2 && placement.right == 3 && placement.bottom == 4);

    CHECK(OL_GetSize(db) == 3);
    CHECK(OL_IsDeletedId(db, 9) == 1 && OL_IsDeletedId(db, 17) == 0);
    OL_OutlineRecord* first = OL_GetRecord(db, 0);
    CHECK(OL_GetText(first, NULL) == 4);
    OL_WCHAR exact[5];
    CHECK(OL_GetText(first, exact) == 4 && SameText(exact, "Pack"));
    CHECK(OL_GetNote(first, text) == 8 && SameText(text, "passport"));
    CHECK(OL_GetIndent(first) == 44 && OL_GetRecordLevel(db, 0) == 44);
    CHECK(OL_GetChecked(first) == 1 && OL_GetRecordChecked(db, 1) == 1);
    CHECK(OL_GetRecordId(db, 0) == 17 && OL_GetRecordId(db, 1) == 0);
    CHECK(SameText(OL_GetRecordString(db, 2), "Book"));
    CHECK(OL_IsFileRecord(first) == 1 && OL_GetPos(first) != 0xFFFFFFFFu);

    /* An index beyond the end gives nothing, and no crash. */
    CHECK(OL_GetRecord(db, 3) == NULL);
    CHECK(SameText(OL_GetRecordString(db, 99), ""));

    /* A failing operation is recorded and returns its zero value. */
    OL_DeleteText(first);
    CHECK(OL_GetText(first, text) == 0);
    CHECK(OL_GetLastExceptionKind() == OL_EXCEPTION_LIBRARY);
    CHECK(OL_GetText(OL_GetRecord(db, 1), NULL) == 4);
    CHECK(OL_GetLastExceptionKind() == OL_EXCEPTION_NONE);

    /* Copying returns its destination whatever the first argument is. */
    OL_OutlineRecord* target = OL_CreateDBRecord(db);
    CHECK(OL_CopyRecord((void*)0x1234, target, OL_GetRecord(db, 2)) == target);
    CHECK(OL_GetText(target, text) == 4 && SameText(text, "Book"));
    OL_DeleteCOutlineRecord(target);
    OL_DeleteCOutlineRecord(NULL);

    OL_DeleteAll(db, 1);
    CHECK(OL_GetSize(db) == 0 && OL_IsDeletedId(db, 17) == 1 && OL_IsDeletedId(db, 9) == 0);
    OL_Close(db);
    OL_DeleteOutlineDB(db);
}

enum { kCanary = 0xCDCD, kCanaries = 8 };

/* Fills `buffer` (of `size` units, `kCanaries` of them after `used`) with
 * canaries; tells whether those after `used` are still intact. */
static void FillCanaries(OL_WCHAR* buffer, size_t size) {
    for (size_t i = 0; i < size; ++i) buffer[i] = kCanary;
}
static int CanariesIntact(const OL_WCHAR* buffer, size_t used) {
    for (size_t i = used; i < used + kCanaries; ++i) {
        if (buffer[i] != kCanary) return 0;
    }
    return 1;
}

/* A text of `length` letters. */
static OL_WCHAR* LongText(size_t length) {
    OL_WCHAR* text = malloc((length + 1) * sizeof *text);
    if (text == NULL) return NULL;
    for (size_t i = 0; i < length; ++i) text[i] = (OL_WCHAR)('a' + i % 26);
    text[length] = 0;
    return text;
}

/* Callers that size their buffers by the header are never written past,
 * whatever the document holds. A title set through the library is cut to
 * kSetTitleMax units (what fits its header slot in any script), below the
 * bound the getter copies; longer stored titles are cut by the getter. */
enum { kSetTitleMax = 55 };
static void BoundedHeaderTexts(void) {
    struct {
        int title; /* else the category name */
        size_t length;
        int32_t copied;
    } cases[] = {
        {1, 60000, kSetTitleMax},
        {1, OL_OUTLINE_TITLE_MAX + 1, kSetTitleMax},
        {1, kSetTitleMax, kSetTitleMax},
        {0, 60000, OL_CATEGORY_NAME_MAX},
        {0, OL_CATEGORY_NAME_MAX + 1, OL_CATEGORY_NAME_MAX},
        {0, OL_CATEGORY_NAME_MAX, OL_CATEGORY_NAME_MAX},
        {0, 3, 3},
    };
    for (size_t c = 0; c < sizeof cases / sizeof cases[0]; ++c) {
        OL_OutlineDB* db = OL_CreateOutlineDB();
        OL_WCHAR* text = LongText(cases[c].length);
        CHECK(db != NULL && text != NULL);
        if (db == NULL || text == NULL) return;
        int32_t (*get)(OL_OutlineDB*, OL_WCHAR*) = cases[c].title ? OL_GetOutlineTitle : OL_GetCategoryName;
        const size_t capacity = (cases[c].title ? OL_OUTLINE_TITLE_MAX : OL_CATEGORY_NAME_MAX) + 1;
        if (cases[c].title) {
            OL_SetOutlineTitle(db, text);
        } else {
            OL_SetCategoryName(db, text);
        }
        OL_WCHAR buffer[OL_OUTLINE_TITLE_MAX + 1 + kCanaries];
        FillCanaries(buffer, capacity + kCanaries);
        CHECK(get(db, NULL) == cases[c].copied);
        CHECK(get(db, buffer) == cases[c].copied);
        CHECK(buffer[cases[c].copied] == 0 && memcmp(buffer, text, (size_t)cases[c].copied * sizeof *text) == 0);
        CHECK(CanariesIntact(buffer, capacity));

        /* A caller that declares the getter void (as the first interface
         * did) still gets the text: the result only goes unread. */
        void (*getVoid)(OL_OutlineDB*, OL_WCHAR*) = (void (*)(OL_OutlineDB*, OL_WCHAR*))(void (*)(void))get;
        FillCanaries(buffer, capacity + kCanaries);
        getVoid(db, buffer);
        CHECK(buffer[cases[c].copied] == 0 && CanariesIntact(buffer, capacity));
        free(text);
        OL_DeleteOutlineDB(db);
    }
}

static void OpenDamaged(const OL_WCHAR* path, const char* file) {
    FILE* out = fopen(file, "wb");
    CHECK(out != NULL);
    const unsigned char wrongCode[] = {0x78, 0x56, 0x34, 0x13, 0, 0, 0, 0, 0, 0, 0, 0};
    fwrite(wrongCode, 1, sizeof wrongCode, out);
    fclose(out);
    OL_OutlineDB* db = OL_CreateOutlineDB();
    CHECK(OL_Open(db, path, kRead) == 0);
    OL_DeleteOutlineDB(db);

    OL_WCHAR missing[128];
    char name[512];
    CHECK(snprintf(name, sizeof name, "%s.none", file) < (int)sizeof name);
    db = OL_CreateOutlineDB();
    CHECK(OL_Open(db, Wide(name, missing), kRead) == 0);
    OL_DeleteOutlineDB(db);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    /* The pair stays 0 until the first OL_GetDrawingSize of the process. */
    CHECK(OL_GetSizeX() == 0 && OL_GetSizeY() == 0);

    char folder[256];
    if (snprintf(folder, sizeof folder, "%s", argv[1]) >= (int)sizeof folder) return 2;
    mkdir(folder, 0700);
    char file[512];
    if (snprintf(file, sizeof file, "%s/trip.zro", folder) >= (int)sizeof file) return 2;
    OL_WCHAR path[128];
    Wide(file, path);

    WriteDocument(path);
    ReadDocument(path);
    OpenDamaged(path, file);
    BoundedHeaderTexts();

    OL_OutlineRecord* bare = OL_CreateOutlineRecord();
    OL_GetDrawingSize(bare); /* no tags at all: no drawing */
    CHECK(OL_GetSizeX() == 0 && OL_GetSizeY() == 0);
    OL_DeleteCOutlineRecord(bare);

    if (failures == 0) {
        unlink(file);
        rmdir(folder);
        puts("outline api: all checks passed");
    }
    return failures == 0 ? 0 : 1;
}
