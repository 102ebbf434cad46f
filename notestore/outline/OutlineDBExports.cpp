// The flat outline interface (notestore.h): each export forwards to one
// operation of COutlineDB or COutlineRecord behind the export boundary's
// guard.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "notestore.h"
#include "notestore/foundation/ExportBoundary.h"
#include "notestore/foundation/zr_assert.h"
#include "notestore/outline/OutlineDB.h"

using zr_gen::CDBRecord;
using zr_gen::COutlineDB;
using zr_gen::COutlineRecord;
using zr_gen::WINDOWPLACEMENT;
using zr_gen::_String;

static_assert(std::is_same_v<OL_WCHAR, char16_t>);
static_assert(sizeof(OL_LogFont) == sizeof(LOGFONTW));
static_assert(offsetof(OL_LogFont, italic) == offsetof(LOGFONTW, lfItalic));
static_assert(offsetof(OL_LogFont, faceName) == offsetof(LOGFONTW, lfFaceName));
static_assert(sizeof(OL_WindowPlacement) == sizeof(WINDOWPLACEMENT));
static_assert(offsetof(OL_WindowPlacement, minX) == offsetof(WINDOWPLACEMENT, ptMinPosition));
static_assert(offsetof(OL_WindowPlacement, left) == offsetof(WINDOWPLACEMENT, rcNormalPosition));

namespace {

COutlineDB& Database(OL_OutlineDB* handle) { return ZR_REQUIRED(reinterpret_cast<COutlineDB*>(handle)); }
COutlineRecord& Record(OL_OutlineRecord* handle) { return ZR_REQUIRED(reinterpret_cast<COutlineRecord*>(handle)); }
// Text arguments, like handles, must not be null.
const char16_t* Text(const OL_WCHAR* text) { return &ZR_REQUIRED(text); }
OL_OutlineRecord* Handle(CDBRecord* record) { return reinterpret_cast<OL_OutlineRecord*>(record); }
OL_BOOL Bool(bool value) { return value ? 1 : 0; }

// The record at the index; an index beyond the end is asserted and null.
COutlineRecord* RecordAt(OL_OutlineDB* db, uint32_t index) {
    CDBRecord* record = Database(db).getRecord(index);
    ZR_ASSERT(record != nullptr);
    return static_cast<COutlineRecord*>(record);
}

// The results that outlive a call: one of each per process, as the caller
// expects.
LOGFONTW gFont{};
int32_t gDrawingWidth = 0;
int32_t gDrawingHeight = 0;
std::u16string gRecordText;

template <class Get>
int32_t TextInto(Get get, OL_WCHAR* bufferOrNull) {
    _String text;
    get(text);
    return zr_gen::CopyBoundedText(text.Text(), SIZE_MAX, bufferOrNull);
}

}  // namespace

extern "C" {

// ---- documents ----

OL_OutlineDB* OL_CreateOutlineDB(void) {
    return ZR_GUARDED([] { return reinterpret_cast<OL_OutlineDB*>(zr_gen::NewObject<COutlineDB>()); });
}

void OL_DeleteOutlineDB(OL_OutlineDB* db) {
    ZR_GUARDED([&] { delete reinterpret_cast<COutlineDB*>(db); });
}

void OL_CheckDbInfo(OL_OutlineDB* db) {
    ZR_GUARDED([&] { Database(db).CheckDbInfo(); });
}

int32_t OL_Open(OL_OutlineDB* db, const OL_WCHAR* path, uint32_t mode) {
    return ZR_GUARDED([&] {
        char* narrow = WideToAnsi(path);
        ZR_Log("Opening db of %s", narrow != nullptr ? narrow : "");
        FreeAnsi(narrow);
        return Database(db).Open(Text(path), mode);
    });
}

void OL_CreateRecordset(OL_OutlineDB* db) {
    ZR_GUARDED([&] { Database(db).CreateRecordset(); });
}

void OL_ReadExtraRows(OL_OutlineDB* db) {
    ZR_GUARDED([&] { Database(db).ReadExtraRows(); });
}

void OL_WriteExtraRows(OL_OutlineDB* db) {
    ZR_GUARDED([&] { Database(db).WriteExtraRows(); });
}

void OL_InitNewDataBase(OL_OutlineDB* db) {
    ZR_GUARDED([&] { Database(db).InitNewDatabase(); });
}

OL_BOOL OL_ReadSharedHeader(OL_OutlineDB* db) {
    return ZR_GUARDED([&] { return Bool(Database(db).ReadSharedHeader()); });
}

void OL_WriteSharedHeader(OL_OutlineDB* db) {
    ZR_GUARDED([&] { Database(db).WriteSharedHeader(); });
}

OL_BOOL OL_ReadPrivateHeader(OL_OutlineDB* db) {
    return ZR_GUARDED([&] { return Bool(Database(db).ReadPrivateHeader()); });
}

void OL_WritePrivateHeader(OL_OutlineDB* db) {
    ZR_GUARDED([&] { Database(db).WritePrivateHeader(); });
}

void OL_ReadRows(OL_OutlineDB* db) {
    ZR_GUARDED([&] { Database(db).ReadRows(); });
}

void OL_WriteRows(OL_OutlineDB* db) {
    ZR_GUARDED([&] {
        ZR_Log("writing rows");
        Database(db).WriteRows();
    });
}

void OL_WriteAllHeaders(OL_OutlineDB* db) {
    ZR_GUARDED([&] {
        ZR_Log("writing all headers");
        Database(db).WriteAllHeaders();
    });
}

void OL_Close(OL_OutlineDB* db) {
    ZR_GUARDED([&] {
        ZR_Log("closing database");
        Database(db).Close();
    });
}

void OL_DeleteAll(OL_OutlineDB* db, OL_BOOL keepIds) {
    ZR_GUARDED([&] { Database(db).DeleteAll(keepIds != 0); });
}

void OL_Delete(OL_OutlineDB* db, OL_OutlineRecord* rec) {
    ZR_GUARDED([&] { Database(db).Delete(&Record(rec)); });
}

OL_BOOL OL_IsDeletedId(OL_OutlineDB* db, uint32_t id) {
    return ZR_GUARDED([&] { return Bool(Database(db).IsDeleted(id)); });
}

OL_BOOL OL_IsDeletedRec(OL_OutlineDB* db, OL_OutlineRecord* rec) {
    return ZR_GUARDED([&] { return Bool(Database(db).IsDeleted(&Record(rec))); });
}

void OL_AddDeletedId(OL_OutlineDB* db, uint32_t id) {
    ZR_GUARDED([&] { Database(db).AddDeletedId(id); });
}

void OL_removeDeletedId(OL_OutlineDB* db, uint32_t id) {
    ZR_GUARDED([&] { Database(db).removeDeletedId(id); });
}

OL_BOOL OL_compareSharedHeader(OL_OutlineDB* db, OL_OutlineDB* other) {
    return ZR_GUARDED([&] { return Bool(Database(db).compareSharedHeader(&Database(other))); });
}

OL_BOOL OL_comparePrivateHeader(OL_OutlineDB* db, OL_OutlineDB* other) {
    return ZR_GUARDED([&] { return Bool(Database(db).comparePrivateHeader(&Database(other))); });
}

OL_OutlineHeader* OL_copySharedHeader(OL_OutlineDB* db, OL_OutlineDB* other) {
    return ZR_GUARDED([&] {
        Database(db).copySharedHeader(&Database(other));
        return reinterpret_cast<OL_OutlineHeader*>(Database(db).GetSharedHeaderPtr());
    });
}

OL_OutlineHeader* OL_copyPrivateHeader(OL_OutlineDB* db, OL_OutlineDB* other) {
    return ZR_GUARDED([&] {
        Database(db).copyPrivateHeader(&Database(other));
        return reinterpret_cast<OL_OutlineHeader*>(
            Database(db).GetHeaderManager().GetHeaderPtr(zr_gen::CPrivateOutlineHeader::kId));
    });
}

// ---- header fields ----

int32_t OL_GetCategoryName(OL_OutlineDB* db, OL_WCHAR* bufferOrNull) {
    return ZR_GUARDED([&] {
        ZR_Log("Get category name");
        _String name;
        Database(db).GetCategoryName(name);
        return zr_gen::CopyBoundedText(name.Text(), OL_CATEGORY_NAME_MAX, bufferOrNull);
    });
}

void OL_SetCategoryName(OL_OutlineDB* db, const OL_WCHAR* name) {
    ZR_GUARDED([&] { Database(db).SetCategoryName(Text(name)); });
}

OL_BOOL OL_GetCategoryChanged(OL_OutlineDB* db) {
    return ZR_GUARDED([&] { return Bool(Database(db).GetCategoryChanged()); });
}

void OL_SetCategoryChanged(OL_OutlineDB* db, OL_BOOL changed) {
    ZR_GUARDED([&] { Database(db).SetCategoryChanged(changed != 0); });
}

int32_t OL_GetOutlineTitle(OL_OutlineDB* db, OL_WCHAR* bufferOrNull) {
    return ZR_GUARDED([&] {
        ZR_Log("Get outline title");
        _String title;
        Database(db).GetOutlineTitle(title);
        return zr_gen::CopyBoundedText(title.Text(), OL_OUTLINE_TITLE_MAX, bufferOrNull);
    });
}

void OL_SetOutlineTitle(OL_OutlineDB* db, const OL_WCHAR* title) {
    ZR_GUARDED([&] { Database(db).SetOutlineTitle(Text(title)); });
}

OL_BOOL OL_GetPrivate(OL_OutlineDB* db) {
    return ZR_GUARDED([&] {
        ZR_Log("Get Private");
        return Bool(Database(db).GetPrivate());
    });
}

void OL_SetPrivate(OL_OutlineDB* db, OL_BOOL isPrivate) {
    ZR_GUARDED([&] { Database(db).SetPrivate(isPrivate != 0); });
}

OL_BOOL OL_GetPrivateTagChanged(OL_OutlineDB* db) {
    return ZR_GUARDED([&] { return Bool(Database(db).GetPrivateTagChanged()); });
}

void OL_SetPrivateTagChanged(OL_OutlineDB* db, OL_BOOL changed) {
    ZR_GUARDED([&] { Database(db).SetPrivateTagChanged(changed != 0); });
}

OL_BOOL OL_GetOutlineChanged(OL_OutlineDB* db) {
    return ZR_GUARDED([&] { return Bool(Database(db).GetOutlineChanged()); });
}

void OL_SetOutlineChanged(OL_OutlineDB* db, OL_BOOL changed) {
    ZR_GUARDED([&] { Database(db).SetOutlineChanged(changed != 0); });
}

OL_BOOL OL_GetSynchronized(OL_OutlineDB* db) {
    return ZR_GUARDED([&] { return Bool(Database(db).GetSynchronized()); });
}

void OL_SetSynchronized(OL_OutlineDB* db, OL_BOOL synchronized) {
    ZR_GUARDED([&] { Database(db).SetSynchronized(synchronized != 0); });
}

void OL_getNumbering(OL_OutlineDB* db, uint8_t* numbering) {
    ZR_GUARDED([&] { Database(db).getNumbering(&ZR_REQUIRED(numbering)); });
}

void OL_setNumbering(OL_OutlineDB* db, const uint8_t* numbering) {
    ZR_GUARDED([&] { Database(db).setNumbering(&ZR_REQUIRED(numbering)); });
}

OL_BOOL OL_getNumberingChanged(OL_OutlineDB* db) {
    return ZR_GUARDED([&] { return Bool(Database(db).getNumberingChanged()); });
}

void OL_setNumberingChanged(OL_OutlineDB* db, OL_BOOL changed) {
    ZR_GUARDED([&] { Database(db).setNumberingChanged(changed != 0); });
}

uint16_t OL_getNumberingDivider(OL_OutlineDB* db) {
    return ZR_GUARDED([&] { return Database(db).getNumberingDivider(); });
}

void OL_setNumberingDivider(OL_OutlineDB* db, uint16_t divider) {
    ZR_GUARDED([&] { Database(db).setNumberingDivider(divider); });
}

OL_BOOL OL_getNumberingDividerChanged(OL_OutlineDB* db) {
    return ZR_GUARDED([&] { return Bool(Database(db).getNumberingDividerChanged()); });
}

void OL_setNumberingDividerChanged(OL_OutlineDB* db, OL_BOOL changed) {
    ZR_GUARDED([&] { Database(db).setNumberingDividerChanged(changed != 0); });
}

uint8_t OL_GetShowCheckedItems(OL_OutlineDB* db) {
    return ZR_GUARDED([&] { return Database(db).GetShowCheckedItems(); });
}

void OL_SetShowCheckedItems(OL_OutlineDB* db, uint8_t mode) {
    ZR_GUARDED([&] { Database(db).SetShowCheckedItems(mode); });
}

OL_BOOL OL_ShowCheckedItemsChanged(OL_OutlineDB* db) {
    return ZR_GUARDED([&] { return Bool(Database(db).ShowCheckedItemsChanged()); });
}

void OL_setCheckedItemsChanged(OL_OutlineDB* db, OL_BOOL changed) {
    ZR_GUARDED([&] { Database(db).setCheckedItemsChanged(changed != 0); });
}

uint32_t OL_GetSelectedIndex(OL_OutlineDB* db) {
    return ZR_GUARDED([&] { return Database(db).GetSelectedIndex(); });
}

void OL_SetSelectedIndex(OL_OutlineDB* db, uint32_t index) {
    ZR_GUARDED([&] { Database(db).SetSelectedIndex(index); });
}

uint32_t OL_GetTopIndex(OL_OutlineDB* db) {
    return ZR_GUARDED([&] { return Database(db).GetTopIndex(); });
}

void OL_SetTopIndex(OL_OutlineDB* db, uint32_t index) {
    ZR_GUARDED([&] { Database(db).SetTopIndex(index); });
}

uint8_t OL_GetShowHeadingsMode(OL_OutlineDB* db) {
    return ZR_GUARDED([&] { return Database(db).GetShowHeadingsMode(); });
}

void OL_SetShowHeadingsMode(OL_OutlineDB* db, uint8_t mode) {
    ZR_GUARDED([&] { Database(db).SetShowHeadingsMode(mode); });
}

void OL_SetOutlineFont(OL_OutlineDB* db, const OL_WCHAR* faceName, int32_t height, int32_t weight, uint8_t strikeOut,
                       uint8_t underline, uint8_t italic) {
    ZR_GUARDED([&] {
        const std::u16string_view face = Text(faceName);
        COutlineDB& database = Database(db);
        LOGFONTW font{};
        font.lfHeight = height;
        font.lfWeight = weight;
        font.lfStrikeOut = strikeOut;
        font.lfUnderline = underline;
        font.lfItalic = italic;
        const std::u16string_view cut = zr_gen::CutText(face, LF_FACESIZE - 1);
        std::copy(cut.begin(), cut.end(), font.lfFaceName);
        database.SetOutlineFont(font, 0);
    });
}

const OL_LogFont* OL_GetOutlineFont(OL_OutlineDB* db) {
    return ZR_GUARDED([&] {
        uint32_t color = 0;
        Database(db).GetOutlineFont(gFont, &color);
        return reinterpret_cast<const OL_LogFont*>(&gFont);
    });
}

void OL_SetOultineWindowPos(OL_OutlineDB* db, const OL_WindowPlacement* placement) {
    ZR_GUARDED([&] {
        Database(db).SetOutlineWindowPos(std::bit_cast<WINDOWPLACEMENT>(ZR_REQUIRED(placement)));
    });
}

void OL_GetOutlineWindowPos(OL_OutlineDB* db, OL_WindowPlacement* placement) {
    ZR_GUARDED([&] {
        OL_WindowPlacement& out = ZR_REQUIRED(placement);
        WINDOWPLACEMENT stored;
        Database(db).GetOutlineWindowPos(stored);
        out = std::bit_cast<OL_WindowPlacement>(stored);
    });
}

// ---- the recordset ----

int32_t OL_GetSize(OL_OutlineDB* db) {
    return ZR_GUARDED([&] { return Database(db).GetRecordset()->getSize(); });
}

OL_OutlineRecordset* OL_GetRecordSet(OL_OutlineDB* db) {
    return ZR_GUARDED([&] { return reinterpret_cast<OL_OutlineRecordset*>(Database(db).GetRecordset()); });
}

OL_OutlineRecord* OL_GetRecord(OL_OutlineDB* db, uint32_t index) {
    return ZR_GUARDED([&] { return Handle(RecordAt(db, index)); });
}

OL_OutlineRecord* OL_AppendRecordSet(OL_OutlineDB* db) {
    return ZR_GUARDED([&] { return Handle(Database(db).GetRecordset()->Append()); });
}

OL_OutlineRecord* OL_CreateDBRecord(OL_OutlineDB* db) {
    return ZR_GUARDED([&] { return Handle(Database(db).GetRecordset()->CreateDBRecord()); });
}

void OL_AddtoRS(OL_OutlineDB* db, OL_OutlineRecord* rec) {
    ZR_GUARDED([&] { Database(db).GetRecordset()->add(&Record(rec)); });
}

void OL_DeleteDBRecord(OL_OutlineDB* db, OL_OutlineRecord* rec) {
    ZR_GUARDED([&] { Database(db).GetRecordset()->DeleteDBRecord(&Record(rec)); });
}

void OL_EmptyRS(OL_OutlineDB* db) {
    ZR_GUARDED([&] { Database(db).GetRecordset()->emptyRS(); });
}

void OL_ReadRow(OL_OutlineDB* db, uint32_t filePos, OL_OutlineRecord* rec) {
    ZR_GUARDED([&] { Database(db).ReadRow(filePos, &Record(rec)); });
}

OL_OutlineRecord* OL_CopyRecord(void* /*unused*/, OL_OutlineRecord* dst, OL_OutlineRecord* src) {
    return ZR_GUARDED([&] {
        Record(dst) = Record(src);
        return dst;
    });
}

OL_OutlineRecord* OL_DuplicateRecord(OL_OutlineDB* db, OL_OutlineRecord* src) {
    return ZR_GUARDED([&]() -> OL_OutlineRecord* {
        auto* copy = static_cast<COutlineRecord*>(Database(db).GetRecordset()->Append());
        if (copy == nullptr) return nullptr;
        *copy = Record(src);
        copy->SetId(0);
        return Handle(copy);
    });
}

const OL_WCHAR* OL_GetRecordString(OL_OutlineDB* db, uint32_t index) {
    return ZR_GUARDED([&]() -> const OL_WCHAR* {
        COutlineRecord* record = RecordAt(db, index);
        _String text;
        if (record != nullptr) record->GetText(text);
        gRecordText = text.Text();
        return gRecordText.c_str();
    });
}

OL_BOOL OL_GetRecordChecked(OL_OutlineDB* db, uint32_t index) {
    return ZR_GUARDED([&] {
        COutlineRecord* record = RecordAt(db, index);
        return Bool(record != nullptr && record->GetChecked());
    });
}

uint8_t OL_GetRecordLevel(OL_OutlineDB* db, uint32_t index) {
    return ZR_GUARDED([&] {
        COutlineRecord* record = RecordAt(db, index);
        return record != nullptr ? record->GetIndent() : uint8_t{0};
    });
}

uint32_t OL_GetRecordId(OL_OutlineDB* db, uint32_t index) {
    return ZR_GUARDED([&] {
        COutlineRecord* record = RecordAt(db, index);
        return record != nullptr ? record->GetId() : 0u;
    });
}

// ---- items ----

OL_OutlineRecord* OL_CreateOutlineRecord(void) {
    return ZR_GUARDED([] { return Handle(zr_gen::NewObject<COutlineRecord>()); });
}

void OL_DeleteCOutlineRecord(OL_OutlineRecord* rec) {
    ZR_GUARDED([&] { delete reinterpret_cast<COutlineRecord*>(rec); });
}

void OL_Init(OL_OutlineRecord* rec) {
    ZR_GUARDED([&] { Record(rec).Init(); });
}

uint32_t OL_GetId(OL_OutlineRecord* rec) {
    return ZR_GUARDED([&] { return Record(rec).GetId(); });
}

void OL_SetId(OL_OutlineRecord* rec, uint32_t id) {
    ZR_GUARDED([&] { Record(rec).SetId(id); });
}

uint8_t OL_GetIndent(OL_OutlineRecord* rec) {
    return ZR_GUARDED([&] { return Record(rec).GetIndent(); });
}

void OL_SetIndent(OL_OutlineRecord* rec, uint32_t indent) {
    ZR_GUARDED([&] { Record(rec).SetIndent(static_cast<uint8_t>(indent)); });
}

int32_t OL_GetText(OL_OutlineRecord* rec, OL_WCHAR* bufferOrNull) {
    return ZR_GUARDED([&] { return TextInto([&](_String& text) { Record(rec).GetText(text); }, bufferOrNull); });
}

void OL_SetText(OL_OutlineRecord* rec, const OL_WCHAR* text) {
    ZR_GUARDED([&] { Record(rec).SetText(Text(text)); });
}

void OL_DeleteText(OL_OutlineRecord* rec) {
    ZR_GUARDED([&] { Record(rec).DeleteText(); });
}

int32_t OL_GetNote(OL_OutlineRecord* rec, OL_WCHAR* bufferOrNull) {
    return ZR_GUARDED([&] { return TextInto([&](_String& note) { Record(rec).GetNote(note); }, bufferOrNull); });
}

void OL_SetNote(OL_OutlineRecord* rec, const OL_WCHAR* note) {
    ZR_GUARDED([&] { Record(rec).SetNote(Text(note)); });
}

void OL_DeleteNote(OL_OutlineRecord* rec) {
    ZR_GUARDED([&] { Record(rec).DeleteNote(); });
}

OL_BOOL OL_HasNote(OL_OutlineRecord* rec) {
    return ZR_GUARDED([&] { return Bool(Record(rec).HasNote()); });
}

OL_BOOL OL_GetExpanded(OL_OutlineRecord* rec) {
    return ZR_GUARDED([&] { return Bool(Record(rec).GetExpanded()); });
}

void OL_SetExpanded(OL_OutlineRecord* rec, OL_BOOL expanded) {
    ZR_GUARDED([&] { Record(rec).SetExpanded(expanded != 0); });
}

OL_BOOL OL_GetChecked(OL_OutlineRecord* rec) {
    return ZR_GUARDED([&] { return Bool(Record(rec).GetChecked()); });
}

void OL_SetChecked(OL_OutlineRecord* rec, OL_BOOL checked) {
    ZR_GUARDED([&] { Record(rec).SetChecked(checked != 0); });
}

OL_BOOL OL_HasDrawing(OL_OutlineRecord* rec) {
    return ZR_GUARDED([&] { return Bool(Record(rec).HasDrawing()); });
}

void* OL_GetDrawing(OL_OutlineRecord* rec) {
    return ZR_GUARDED([&] { return Record(rec).GetDrawing(); });
}

OL_BOOL OL_SetDrawing(OL_OutlineRecord* rec, void* dib) {
    return ZR_GUARDED([&] { return Bool(Record(rec).SetDrawing(ZR_REQUIRED(dib))); });
}

void OL_DeleteBitmap(OL_OutlineRecord* rec) {
    ZR_GUARDED([&] { Record(rec).DeleteBitmap(); });
}

void OL_GetDrawingSize(OL_OutlineRecord* rec) {
    ZR_GUARDED([&] { Record(rec).GetDrawingSize(gDrawingWidth, gDrawingHeight); });
}

int32_t OL_GetSizeX(void) {
    return ZR_GUARDED([] { return gDrawingWidth; });
}

int32_t OL_GetSizeY(void) {
    return ZR_GUARDED([] { return gDrawingHeight; });
}

void OL_UpdateChangedFields(OL_OutlineRecord* rec, OL_OutlineRecord* prev) {
    ZR_GUARDED([&] { Record(rec).UpdateChangedFields(&Record(prev)); });
}

void OL_updateRecordChanged(OL_OutlineRecord* rec) {
    ZR_GUARDED([&] { Record(rec).updateRecordChanged(); });
}

OL_BOOL OL_IsChanged(OL_OutlineRecord* rec) {
    return ZR_GUARDED([&] { return Bool(Record(rec).IsChanged()); });
}

void OL_SetNew(OL_OutlineRecord* rec, OL_BOOL value) {
    ZR_GUARDED([&] { Record(rec).SetNew(value != 0); });
}

void OL_SetSortChanged(OL_OutlineRecord* rec, OL_BOOL value) {
    ZR_GUARDED([&] { Record(rec).SetSortChanged(value != 0); });
}

uint32_t OL_GetIndex(OL_OutlineRecord* rec) {
    return ZR_GUARDED([&] { return Record(rec).GetIndex(); });
}

uint32_t OL_GetPos(OL_OutlineRecord* rec) {
    return ZR_GUARDED([&] { return Record(rec).GetPos(); });
}

OL_BOOL OL_IsFileRecord(OL_OutlineRecord* rec) {
    return ZR_GUARDED([&] { return Bool(Record(rec).IsFileRecord()); });
}

}  // extern "C"
