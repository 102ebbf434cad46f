#include "notestore/outline/OutlineRecord.h"

#include "notestore/drawings/ZRBitmap.h"
#include "notestore/engine/TaggedDataManager.h"
#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/zr_assert.h"

namespace zr_gen {

namespace {

// The drawing block's width and height, 32-bit little-endian, behind its
// first byte.
constexpr uint32_t kDrawingWidthAt = 1;
constexpr uint32_t kDrawingHeightAt = 5;
constexpr uint32_t kDrawingSizeBytes = 14;

}  // namespace

COutlineRecord::~COutlineRecord() = default;

void COutlineRecord::Init() {
    SetId(0);
    SetIndent(0);
    SetText(u"");
    SetNote(u"");
    SetExpanded(true);
    SetChecked(false);
}

void COutlineRecord::SetId(uint32_t id) { ZR_CHECK_TAG(getTaggedDataManager().setData(kIdTag, id)); }

uint32_t COutlineRecord::GetId() {
    uint32_t id = 0;
    ZR_CHECK_TAG(getTaggedDataManager().getData(kIdTag, id));
    return id;
}

void COutlineRecord::SetIndent(uint8_t indent) { ZR_CHECK_TAG(getTaggedDataManager().setData(kIndentTag, indent)); }

uint8_t COutlineRecord::GetIndent() {
    uint8_t indent = 0;
    ZR_CHECK_TAG(getTaggedDataManager().getData(kIndentTag, indent));
    return indent;
}

void COutlineRecord::SetText(const char16_t* text) {
    ZR_ASSERT(text != nullptr);
    ZR_CHECK_TAG(getTaggedDataManager().setString(kTextTag, text != nullptr ? text : u"", nullptr));
}

void COutlineRecord::GetText(_String& text) { ZR_CHECK_TAG(getTaggedDataManager().getString(kTextTag, text)); }

void COutlineRecord::DeleteText() {
    ZR_CHECK_TAG(getTaggedDataManager().deleteStringData(kTextTag));
    resize();
}

void COutlineRecord::SetNote(const char16_t* note) {
    ZR_ASSERT(note != nullptr);
    ZR_CHECK_TAG(getTaggedDataManager().setString(kNoteTag, note != nullptr ? note : u"", nullptr));
}

void COutlineRecord::GetNote(_String& note) { ZR_CHECK_TAG(getTaggedDataManager().getString(kNoteTag, note)); }

void COutlineRecord::DeleteNote() {
    ZR_CHECK_TAG(getTaggedDataManager().deleteStringData(kNoteTag));
    resize();
}

bool COutlineRecord::HasNote() {
    bool found = false;
    ZR_CHECK_TAG(getTaggedDataManager().hasStringTag(kNoteTag, &found));
    return found;
}

void COutlineRecord::SetExpanded(bool expanded) {
    ZR_CHECK_TAG(getTaggedDataManager().setData(kExpandedTag, static_cast<uint8_t>(expanded ? 1 : 0)));
}

bool COutlineRecord::GetExpanded() {
    uint8_t expanded = 0;
    ZR_CHECK_TAG(getTaggedDataManager().getData(kExpandedTag, expanded));
    return expanded != 0;
}

void COutlineRecord::SetChecked(bool checked) {
    ZR_CHECK_TAG(getTaggedDataManager().setData(kCheckedTag, static_cast<uint8_t>(checked ? 1 : 0)));
}

bool COutlineRecord::GetChecked() {
    uint8_t checked = 0;
    ZR_CHECK_TAG(getTaggedDataManager().getData(kCheckedTag, checked));
    return checked != 0;
}

bool COutlineRecord::SetDrawing(MemHandle dib) {
    MemHandle block = ConvertDibToInternalFormat(dib);
    if (block == nullptr) return false;  // the DIB is still the caller's
    try {
        const void* bytes = MemGetPtr(block);
        if (bytes != nullptr) {
            // A failed store leaves the tags as they were: the earlier
            // drawing stays.
            const int32_t result = getTaggedDataManager().setData(kDrawingTag, bytes, MemGetSize(block), nullptr, 0);
            MemReleasePtr(block);
            ZR_CHECK_TAG(result);
        }
    } catch (CException* e) {
        LogAndDeleteException(e, ZR_FILE, __LINE__);
    }
    MemFree(block);
    return true;
}

MemHandle COutlineRecord::GetDrawing() {
    MemHandle block = nullptr;
    try {
        CTaggedDataManager& tags = getTaggedDataManager();
        if (!HasDrawing()) ZR_CHECK_TAG(CTaggedDataManager::kDataClassNotFoundError);
        uint32_t size = 0;
        ZR_CHECK_TAG(tags.getTagDataSize(kDrawingTag, &size));
        if (size == 0) return nullptr;
        block = MemAlloc(size);
        if (block == nullptr) return nullptr;
        void* bytes = MemGetPtr(block);
        if (bytes == nullptr) {
            MemFree(block);
            return nullptr;
        }
        const int32_t result = tags.getData(kDrawingTag, bytes, &size, nullptr);
        MemReleasePtr(block);
        ZR_CHECK_TAG(result);
        MemHandle dib = ConvertInternalFormatToDib(block);
        MemFree(block);
        return dib;
    } catch (CException* e) {
        LogAndDeleteException(e, ZR_FILE, __LINE__);
        MemFree(block);
        return nullptr;
    }
}

void COutlineRecord::DeleteBitmap() {
    ZR_CHECK_TAG(getTaggedDataManager().deleteData(kDrawingTag));
    resize();
}

bool COutlineRecord::HasDrawing() {
    bool found = false;
    ZR_CHECK_TAG(getTaggedDataManager().hasTag(kDrawingTag, &found));
    return found;
}

void COutlineRecord::GetDrawingSize(int32_t& width, int32_t& height) {
    width = 0;
    height = 0;
    if (!HasDrawing()) return;
    const auto* block = reinterpret_cast<const uint8_t*>(getTaggedDataManager().getDataPtr(kDrawingTag, kDrawingSizeBytes));
    if (block == nullptr) ZR_CHECK_TAG(CTaggedDataManager::kDataClassNotFoundError);
    width = static_cast<int32_t>(LoadLE32(block + kDrawingWidthAt));
    height = static_cast<int32_t>(LoadLE32(block + kDrawingHeightAt));
}

void COutlineRecord::UpdateChangedFields(COutlineRecord* previous) {
    ZR_ASSERT(previous != nullptr);
    if (previous == nullptr) return;
    CTaggedDataManager& tags = getTaggedDataManager();
    ZR_CHECK_TAG(tags.setTagChanged(kIndentTag, GetIndent() != previous->GetIndent()));

    _String mine;
    _String theirs;
    GetText(mine);
    previous->GetText(theirs);
    ZR_CHECK_TAG(tags.setStringTagChanged(kTextTag, !(mine == theirs)));

    const bool hadNote = previous->HasNote();
    const bool hasNote = HasNote();
    if (!hadNote && !hasNote) {
        SetNote(u"");
    } else if (!hadNote) {
        ZR_CHECK_TAG(tags.setStringTagChanged(kNoteTag, true));
    } else if (hasNote) {
        GetNote(mine);
        previous->GetNote(theirs);
        ZR_CHECK_TAG(tags.setStringTagChanged(kNoteTag, !(mine == theirs)));
    }

    ZR_CHECK_TAG(tags.setTagChanged(kExpandedTag, GetExpanded() != previous->GetExpanded()));
    ZR_CHECK_TAG(tags.setTagChanged(kCheckedTag, GetChecked() != previous->GetChecked()));
}

void COutlineRecord::updateRecordChanged() {
    CTaggedDataManager& tags = getTaggedDataManager();
    // Tested in this order, stopping at the first set bit: a deleted text
    // or note raises only when nothing before it has changed.
    const auto tagChanged = [&](uint32_t id) {
        bool changed = false;
        ZR_CHECK_TAG(tags.getTagChanged(id, &changed));
        return changed;
    };
    const auto stringChanged = [&](uint8_t id) {
        bool changed = false;
        ZR_CHECK_TAG(tags.getStringTagChanged(id, &changed));
        return changed;
    };
    const bool changed = tagChanged(kIndentTag) || stringChanged(kTextTag) || stringChanged(kNoteTag) ||
                         tagChanged(kCheckedTag) || (HasDrawing() && tagChanged(kDrawingTag));
    SetChanged(changed);
}

CLinkedOutlRec::~CLinkedOutlRec() = default;

void CLinkedOutlRec::Init() {
    COutlineRecord::Init();
    setInternalId(0);
    setParentId(0);
}

void CLinkedOutlRec::setInternalId(uint32_t id) { ZR_CHECK_TAG(getTaggedDataManager().setData(kInternalIdTag, id)); }

uint32_t CLinkedOutlRec::getInternalId() {
    uint32_t id = 0;
    ZR_CHECK_TAG(getTaggedDataManager().getData(kInternalIdTag, id));
    return id;
}

void CLinkedOutlRec::setParentId(uint32_t id) { ZR_CHECK_TAG(getTaggedDataManager().setData(kParentIdTag, id)); }

uint32_t CLinkedOutlRec::getParentId() {
    uint32_t id = 0;
    ZR_CHECK_TAG(getTaggedDataManager().getData(kParentIdTag, id));
    return id;
}

COutlineRecordset::~COutlineRecordset() = default;

CDBRecord* COutlineRecordset::CreateDBRecord() { return Initialized(NewPooled<COutlineRecord>()); }

CLinkedOutlRS::~CLinkedOutlRS() = default;

CDBRecord* CLinkedOutlRS::CreateDBRecord() { return Initialized(NewPooled<CLinkedOutlRec>()); }

}  // namespace zr_gen
