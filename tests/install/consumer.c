/* A program built outside the tree against an installed notestore: it finds
 * the header and library only through pkg-config or find_package. It makes a
 * category database and a document in the folder given, reads both back and
 * exits 0 when they hold what was written. */
#include <notestore.h>
#include <stdio.h>
#include <string.h>

static const OL_WCHAR* Wide(const char* text, OL_WCHAR* out) {
    size_t i = 0;
    for (; text[i] != '\0'; ++i) out[i] = (OL_WCHAR)(unsigned char)text[i];
    out[i] = 0;
    return out;
}

static int Fail(const char* what) {
    fprintf(stderr, "consumer: %s (last exception kind %d)\n", what, (int)OL_GetLastExceptionKind());
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    OL_WCHAR path[512], name[64], buffer[512];
    char file[480];

    snprintf(file, sizeof file, "%s/consumer.db", argv[1]);
    OL_CategoryDB* categories = OL_CreateCategoryDB();
    if (OL_OpenCategoryFile(categories, Wide(file, path), 2) != 1) return Fail("category file not made");
    OL_CategoryInitNewDataBase(categories);
    if (!OL_AddNewCategorybyName(categories, Wide("Travel", name))) return Fail("category not added");
    OL_WriteAllCategoryHeaders(categories);
    OL_CategoryWriteRows(categories);
    OL_DeleteCategoryDB(categories);

    categories = OL_CreateCategoryDB();
    if (OL_OpenCategoryFile(categories, path, 1) != 1) return Fail("category file not reopened");
    OL_CategoryReadRows(categories);
    int found = OL_FindCategorybyName(categories, Wide("Travel", name)) != NULL;
    OL_DeleteCategoryDB(categories);
    if (!found) return Fail("category not read back");

    snprintf(file, sizeof file, "%s/consumer.zro", argv[1]);
    OL_OutlineDB* document = OL_CreateOutlineDB();
    if (OL_Open(document, Wide(file, path), 0x1000 | 0x0002) != 1) return Fail("document not made");
    OL_InitNewDataBase(document);
    OL_SetOutlineTitle(document, Wide("Trip", name));
    OL_SetText(OL_AppendRecordSet(document), Wide("Pack the tent", buffer));
    OL_WriteAllHeaders(document);
    OL_WriteRows(document);
    OL_DeleteOutlineDB(document);

    document = OL_CreateOutlineDB();
    if (OL_Open(document, path, 0x0000) != 1 || !OL_ReadSharedHeader(document) || !OL_ReadPrivateHeader(document))
        return Fail("document not reopened");
    OL_ReadRows(document);
    int items = OL_GetSize(document);
    int32_t length = items == 1 ? OL_GetText(OL_GetRecord(document, 0), buffer) : -1;
    OL_DeleteOutlineDB(document);
    if (length != 13 || memcmp(buffer, Wide("Pack the tent", name), 14 * sizeof(OL_WCHAR)) != 0)
        return Fail("item not read back");
    puts("consumer: category and document read back");
    return 0;
}
