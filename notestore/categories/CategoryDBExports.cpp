// The flat category interface (notestore.h): each export forwards to one
// operation of CCategoryDB behind the export boundary's guard.
#include <bit>
#include <cstddef>
#include <type_traits>

#include "notestore.h"
#include "notestore/categories/CategoryDB.h"
#include "notestore/foundation/ExportBoundary.h"
#include "notestore/foundation/File.h"

using zr_gen::CCategoryDB;
using zr_gen::CCategoryIterator;
using zr_gen::CCategoryRecord;
using zr_gen::CFile;

static_assert(std::is_same_v<OL_WCHAR, char16_t>);
static_assert(std::is_trivially_copyable_v<OL_CategoryIterator>);
static_assert(sizeof(OL_CategoryIterator) == sizeof(CCategoryIterator));
static_assert(alignof(OL_CategoryIterator) == alignof(CCategoryIterator));
static_assert(offsetof(OL_CategoryIterator, database) == 0);
static_assert(offsetof(OL_CategoryIterator, position) == sizeof(void*));
static_assert(std::is_same_v<decltype(OL_CategoryIterator::position), zr_gen::CategoryPosition>);

namespace {

CCategoryDB& Database(OL_CategoryDB* handle) { return ZR_REQUIRED(reinterpret_cast<CCategoryDB*>(handle)); }
CCategoryRecord* Record(OL_CategoryRecord* handle) { return &ZR_REQUIRED(reinterpret_cast<CCategoryRecord*>(handle)); }
OL_CategoryRecord* Handle(CCategoryRecord* record) { return reinterpret_cast<OL_CategoryRecord*>(record); }
OL_CategoryIterator Mirror(const CCategoryIterator& iterator) { return std::bit_cast<OL_CategoryIterator>(iterator); }

struct OpenMode {
    int32_t mode;
    uint32_t flags;
};
constexpr OpenMode kOpenModes[] = {
    {1, CFile::kModeRead | CFile::kShareRead},
    {2, CFile::kCreate | CFile::kModeWrite},
    {3, CFile::kModeReadWrite},
};

// The name functions' own scan, unlike FindCategory: every record that is
// not marked deleted, empty slots included.
CCategoryRecord* FindByName(CCategoryDB& db, const char16_t* name) {
    // Cut as a stored name is, so a name finds the category it was added as.
    const std::u16string_view wanted = zr_gen::CutText(&ZR_REQUIRED(name), CCategoryRecord::kMaxNameLength);
    const zr_gen::CCategoryRecordset& records = *db.GetCatRecordset();
    zr_gen::_String stored;
    for (int32_t slot = 0; slot < records.getSize(); ++slot) {
        CCategoryRecord* record = records.getCategoryRecord(static_cast<uint32_t>(slot));
        if (record->IsDeleted()) continue;
        record->GetCategoryName(stored);
        if (stored.Text() == wanted) return record;
    }
    return nullptr;
}

}  // namespace

extern "C" {

OL_CategoryDB* OL_CreateCategoryDB(void) {
    return ZR_GUARDED([] { return reinterpret_cast<OL_CategoryDB*>(zr_gen::NewObject<CCategoryDB>()); });
}

void OL_DeleteCategoryDB(OL_CategoryDB* db) {
    ZR_GUARDED([&] { delete reinterpret_cast<CCategoryDB*>(db); });
}

int32_t OL_OpenCategoryFile(OL_CategoryDB* db, const OL_WCHAR* path, int32_t mode) {
    return ZR_GUARDED([&]() -> int32_t {
        CCategoryDB& database = Database(db);
        const char16_t* file = &ZR_REQUIRED(path);
        for (const OpenMode& entry : kOpenModes) {
            if (entry.mode == mode) return database.Open(file, entry.flags);
        }
        return 0;
    });
}

void OL_CheckCategoryDbInfo(OL_CategoryDB* db) {
    ZR_GUARDED([&] { Database(db).CheckDbInfo(); });
}

void OL_CreateCategoryRecordset(OL_CategoryDB* db) {
    ZR_GUARDED([&] { Database(db).CreateRecordset(); });
}

void OL_CategoryInitNewDataBase(OL_CategoryDB* db) {
    ZR_GUARDED([&] { Database(db).InitNewDatabase(); });
}

void OL_CategoryReadExtraRows(OL_CategoryDB* db) {
    ZR_GUARDED([&] { Database(db).ReadExtraRows(); });
}

void OL_CategoryWriteExtraRows(OL_CategoryDB* db) {
    ZR_GUARDED([&] { Database(db).WriteExtraRows(); });
}

void OL_CategoryReadRows(OL_CategoryDB* db) {
    ZR_GUARDED([&] { Database(db).ReadRows(); });
}

void OL_CategoryWriteRows(OL_CategoryDB* db) {
    ZR_GUARDED([&] { Database(db).WriteRows(); });
}

void OL_WriteAllCategoryHeaders(OL_CategoryDB* db) {
    ZR_GUARDED([&] { Database(db).WriteAllHeaders(); });
}

void OL_CategoryClose(OL_CategoryDB* db) {
    ZR_GUARDED([&] { Database(db).Close(); });
}

uint8_t OL_GetMaxCategoryAmount(void) {
    return ZR_GUARDED([] { return CCategoryDB::GetMaxCategoryAmount(); });
}

OL_CategoryRecordset* OL_GetCatRecordset(OL_CategoryDB* db) {
    return ZR_GUARDED([&] { return reinterpret_cast<OL_CategoryRecordset*>(Database(db).GetCatRecordset()); });
}

int32_t OL_GetCategoryRecordSize(OL_CategoryDB* db) {
    return ZR_GUARDED([&] { return Database(db).GetCatRecordset()->getSize(); });
}

int32_t OL_isFull(OL_CategoryDB* db) {
    return ZR_GUARDED([&] { return Database(db).isFull(); });
}

uint32_t OL_FindFirstHole(OL_CategoryDB* db) {
    return ZR_GUARDED([&] { return Database(db).FindFirstHole(); });
}

void OL_ResizeDB(OL_CategoryDB* db, uint32_t slot) {
    ZR_GUARDED([&] { Database(db).ResizeDB(slot); });
}

void OL_deleteAllCategories(OL_CategoryDB* db) {
    ZR_GUARDED([&] { Database(db).deleteAllCategories(); });
}

void OL_DeleteCategory(OL_CategoryDB* db, OL_CategoryRecord* record, uint32_t time) {
    ZR_GUARDED([&] { Database(db).DeleteCategory(Record(record), time); });
}

void OL_UndeleteCategory(OL_CategoryDB* db, OL_CategoryRecord* record, uint32_t time) {
    ZR_GUARDED([&] { Database(db).UndeleteCategory(Record(record), time); });
}

uint32_t OL_GetCategoryID(OL_CategoryDB* db, OL_CategoryRecord* record) {
    return ZR_GUARDED([&] { return Database(db).GetCategoryID(Record(record)); });
}

void OL_SetCategoryID(OL_CategoryDB* db, OL_CategoryRecord* record, uint32_t id) {
    ZR_GUARDED([&] { Database(db).SetCategoryID(Record(record), id); });
}

void OL_GetCatCategoryName(OL_CategoryDB* db, OL_CategoryRecord* record, OL_String* name) {
    ZR_GUARDED([&] {
        Database(db).GetCategoryName(Record(record), ZR_REQUIRED(reinterpret_cast<zr_gen::_String*>(name)));
    });
}

void OL_GetIterCategoryName(OL_CategoryDB* db, OL_WCHAR* buffer, uint32_t slot) {
    ZR_GUARDED([&] {
        OL_WCHAR& out = ZR_REQUIRED(buffer);
        // A slot that does not exist reads as an empty name.
        CCategoryRecord* record = Database(db).GetCatRecordset()->getCategoryRecord(slot);
        zr_gen::_String name;
        if (record != nullptr && !record->IsDeleted()) record->GetCategoryName(name);
        zr_gen::CopyBoundedText(name.Text(), OL_CATEGORY_NAME_MAX, &out);
    });
}

OL_CategoryRecord* OL_AddNewCategorybyName(OL_CategoryDB* db, const OL_WCHAR* name) {
    return ZR_GUARDED([&]() -> OL_CategoryRecord* {
        CCategoryDB& database = Database(db);
        const char16_t* text = &ZR_REQUIRED(name);
        // With 16 live categories the hole search would append a 17th slot
        // and the category would be added beyond the database's limit.
        if (database.isFull()) return nullptr;
        return Handle(database.AddNewCategoryKeepingTime(text));
    });
}

void OL_RenameCategory(OL_CategoryDB* db, const OL_WCHAR* oldName, const OL_WCHAR* newName) {
    ZR_GUARDED([&] {
        const char16_t* text = &ZR_REQUIRED(newName);
        if (CCategoryRecord* record = FindByName(Database(db), oldName)) {
            record->SetCategoryName(text);
            record->SetChanged(true);
        }
    });
}

OL_CategoryRecord* OL_FindCategorybyName(OL_CategoryDB* db, const OL_WCHAR* name) {
    return ZR_GUARDED([&] { return Handle(FindByName(Database(db), name)); });
}

void OL_DeleteCategorybyName(OL_CategoryDB* db, const OL_WCHAR* name) {
    ZR_GUARDED([&] {
        if (CCategoryRecord* record = FindByName(Database(db), name)) {
            record->SetEmpty(true);
            record->SetDeleted(true);
        }
    });
}

OL_CategoryIterator OL_GetIterator(OL_CategoryDB* db) {
    return ZR_GUARDED([&] { return Mirror(Database(db).GetIterator()); });
}

OL_CategoryIterator OL_GetNext(OL_CategoryDB* db) {
    return ZR_GUARDED([&] {
        CCategoryIterator iterator = Database(db).GetIterator();
        ++iterator;
        return Mirror(iterator);
    });
}

}  // extern "C"
