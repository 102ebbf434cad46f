/* A C caller's texts in many scripts through the flat interface: item texts
 * and notes, title, category name, font face, and category names in the
 * category database, each saved, reopened and compared unit for unit.
 *
 * Usage: unicode_api_c <folder>; works in that folder and removes what it
 * made when every check passed. */
#define _POSIX_C_SOURCE 200809L

#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "c/check.h"
#include "notestore.h"

enum { kRead = 0x0000, kReadWrite = 0x0002, kCreate = 0x1000 };
enum { kMaxTitle = 55, kMaxCategoryName = 31, kMaxFace = 31 };

static size_t Length(const OL_WCHAR* text) {
    size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

/* `text` cut to `max` units, one fewer when the cut would part a pair. */
static void Cut(const OL_WCHAR* text, size_t max, OL_WCHAR* into) {
    size_t n = Length(text);
    if (n > max) {
        n = max;
        if (n > 0 && text[n - 1] >= 0xD800 && text[n - 1] < 0xDC00) --n;
    }
    memcpy(into, text, n * sizeof(OL_WCHAR));
    into[n] = 0;
}

static int Same(const OL_WCHAR* a, const OL_WCHAR* b) {
    return Length(a) == Length(b) && memcmp(a, b, Length(a) * sizeof(OL_WCHAR)) == 0;
}

/* Each text in a few scripts, and texts at and beyond the limits. */
static const OL_WCHAR* const kTexts[] = {
    u"Ça déjà vu – Ærø",
    u"Привет, мир",
    u"Ελληνικά ΩΣ",
    u"שלום עולם",
    u"مرحبا بالعالم",
    u"中文文本 日本語 한국어",
    u"😀 🎉 👍🏽 𝄞",
    u"e\u0301 a\u0308 \u1E9B\u0323",
    u"Что? 😀?",
    u"",
    /* 55 units: the title's limit */
    u"ЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖ",
    /* 32 units of pairs: beyond the category and face limits, cut to 30 */
    u"😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀",
};

static void RoundTrip(const OL_WCHAR* path, const OL_WCHAR* text, int index) {
    OL_OutlineDB* db = OL_CreateOutlineDB();
    CHECK(db != NULL);
    OL_SetOutlineTitle(db, text);
    OL_SetCategoryName(db, text);
    OL_SetOutlineFont(db, text, 12, 400, 0, 0, 0);
    OL_OutlineRecord* item = OL_AppendRecordSet(db);
    OL_SetId(item, 1);
    OL_SetText(item, text);
    OL_SetNote(item, text);
    CHECK(OL_Open(db, path, kCreate | kReadWrite) == 1);
    OL_InitNewDataBase(db);
    OL_WriteAllHeaders(db);
    OL_WriteRows(db);
    OL_Close(db);
    CHECK(OL_GetLastExceptionKind() == OL_EXCEPTION_NONE);
    OL_DeleteOutlineDB(db);

    db = OL_CreateOutlineDB();
    CHECK(OL_Open(db, path, kRead) == 1);
    CHECK(OL_ReadSharedHeader(db) == 1);
    CHECK(OL_ReadPrivateHeader(db) == 1);
    OL_ReadRows(db);
    CHECK(OL_GetLastExceptionKind() == OL_EXCEPTION_NONE);

    OL_WCHAR buffer[256];
    OL_WCHAR expected[256];
    item = OL_GetRecord(db, 0);
    CHECK(item != NULL);
    if (item != NULL) {
        CHECK(OL_GetText(item, NULL) == (int32_t)Length(text));
        CHECK(OL_GetText(item, buffer) == (int32_t)Length(text) && Same(buffer, text));
        CHECK(OL_GetNote(item, NULL) == (int32_t)Length(text));
        CHECK(OL_GetNote(item, buffer) == (int32_t)Length(text) && Same(buffer, text));
    }
    Cut(text, kMaxTitle, expected);
    OL_GetOutlineTitle(db, buffer);
    CHECK(Same(buffer, expected));
    Cut(text, kMaxCategoryName, expected);
    OL_GetCategoryName(db, buffer);
    CHECK(Same(buffer, expected));
    Cut(text, kMaxFace, expected);
    const OL_LogFont* font = OL_GetOutlineFont(db);
    CHECK(font != NULL && Same(font->faceName, expected));
    OL_Close(db);
    OL_DeleteOutlineDB(db);
    if (failures > 0) fprintf(stderr, "after text %d\n", index);
}

static void Categories(const OL_WCHAR* path) {
    OL_CategoryDB* db = OL_CreateCategoryDB();
    CHECK(db != NULL);
    CHECK(OL_OpenCategoryFile(db, path, 2) == 1);
    OL_CategoryInitNewDataBase(db);
    /* Both are "??????" in the code page, yet two categories. */
    OL_CategoryRecord* work = OL_AddNewCategorybyName(db, u"Работа");
    OL_CategoryRecord* greece = OL_AddNewCategorybyName(db, u"Ελλάδα");
    CHECK(work != NULL && greece != NULL && work != greece);
    CHECK(OL_AddNewCategorybyName(db, u"😀 Fun") != NULL);
    CHECK(OL_FindCategorybyName(db, u"Работа") == work);
    CHECK(OL_FindCategorybyName(db, u"Ελλάδα") == greece);
    OL_RenameCategory(db, u"Работа", u"Дом 🏠");
    CHECK(OL_FindCategorybyName(db, u"Работа") == NULL);
    CHECK(OL_FindCategorybyName(db, u"Дом 🏠") == work);
    OL_DeleteCategorybyName(db, u"Ελλάδα");
    CHECK(OL_FindCategorybyName(db, u"Ελλάδα") == NULL);
    OL_WriteAllCategoryHeaders(db);
    OL_CategoryWriteRows(db);
    OL_CategoryClose(db);
    OL_DeleteCategoryDB(db);

    db = OL_CreateCategoryDB();
    CHECK(OL_OpenCategoryFile(db, path, 1) == 1);
    OL_CategoryReadRows(db);
    CHECK(OL_GetLastExceptionKind() == OL_EXCEPTION_NONE);
    OL_CategoryRecord* home = OL_FindCategorybyName(db, u"Дом 🏠");
    CHECK(home != NULL && OL_GetCategoryID(db, home) == 129);
    CHECK(OL_FindCategorybyName(db, u"Ελλάδα") == NULL);
    CHECK(OL_FindCategorybyName(db, u"😀 Fun") != NULL);
    CHECK(OL_FindCategorybyName(db, u"😁 Fun") == NULL);
    OL_WCHAR name[64];
    OL_GetIterCategoryName(db, name, 1);
    CHECK(Same(name, u"Дом 🏠"));
    OL_CategoryClose(db);
    OL_DeleteCategoryDB(db);
}

static void ToWide(const char* narrow, OL_WCHAR* wide, size_t room) {
    size_t i = 0;
    for (; narrow[i] != '\0' && i + 1 < room; ++i) wide[i] = (OL_WCHAR)(unsigned char)narrow[i];
    wide[i] = 0;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    char folder[256];
    snprintf(folder, sizeof folder, "%s", argv[1]);
    mkdir(folder, 0700);
    char document[512], categories[512];
    snprintf(document, sizeof document, "%s/texts.zro", folder);
    snprintf(categories, sizeof categories, "%s/categories.db", folder);
    OL_WCHAR documentPath[512], categoriesPath[512];
    ToWide(document, documentPath, 512);
    ToWide(categories, categoriesPath, 512);

    for (size_t i = 0; i < sizeof kTexts / sizeof kTexts[0]; ++i) RoundTrip(documentPath, kTexts[i], (int)i);
    Categories(categoriesPath);

    if (failures == 0) {
        unlink(document);
        unlink(categories);
        rmdir(folder);
        puts("unicode api: all checks passed");
    }
    return failures == 0 ? 0 : 1;
}
