#include "notestore/outline/OutlineRecord.h"

#include <string>

#include "notestore/drawings/ZRBitmap.h"
#include "notestore/engine/TagAccess.h"
#include "notestore/engine/TaggedDataManager.h"
#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/zr_assert.h"

namespace zr_gen {

namespace {

// Read with CDBRecord::Read, so bulk reading may fill them directly.
[[maybe_unused]] const bool kCOutlineRecordPlainRows = CDBRecord::RegisterPlainRowReader(typeid(COutlineRecord));
[[maybe_unused]] const bool kCLinkedOutlRecPlainRows = CDBRecord::RegisterPlainRowReader(typeid(CLinkedOutlRec));

}  // namespace

namespace {

// The drawing block's width and height, 32-bit little-endian, behind its
// first byte.
constexpr uint32_t kDrawingWidthAt = 1;
constexpr uint32_t kDrawingHeightAt = 5;
constexpr uint32_t kDrawingSizeBytes = 14;

}  // namespace

COutlineRecord::~COutlineRecord() = default;

namespace {

// The block of a record as constructed, and the block Init's stores leave in
// it: a record still as constructed takes the second in one store instead of
// six lookups and inserts. Both come from running the stores once, so they
// cannot drift from them.
struct DefaultBlocks {
    std::string constructed;
    std::string initialized;
};

std::string BlockOf(const CDBRecord& record) {
    const CTaggedDataManager& tags = record.getTaggedDataManager();
    std::string bytes(tags.size(), '\0');
    if (!bytes.empty()) tags.read(0, bytes.data(), tags.size());
    return bytes;
}

}  // namespace

void COutlineRecord::Init() {
    static const DefaultBlocks defaults = [] {
        COutlineRecord scratch;
        DefaultBlocks made{BlockOf(scratch), {}};
        scratch.StoreDefaults();
        made.initialized = BlockOf(scratch);
        return made;
    }();
    CTaggedDataManager& tags = getTaggedDataManager();
    const std::string& from = defaults.constructed;
    if (!tags.getSwap() && tags.holds(from.data(), static_cast<uint32_t>(from.size()))) {
        const std::string& to = defaults.initialized;
        if (tags.replace(0, tags.size(), to.data(), static_cast<uint32_t>(to.size())) != 0) {
            ZR_CHECK_TAG(-1);  // the buffer could not grow, as a store reports it
        }
        tags.setMark(CBufferManager::kConsistentMark);  // the stores that made it checked it
        return;
    }
    StoreDefaults();
}

void COutlineRecord::StoreDefaults() {
    SetId(0);
    SetIndent(0);
    SetText(u"");
    SetNote(u"");
    SetExpanded(true);
    SetChecked(false);
}

void COutlineRecord::SetId(uint32_t id) { tagaccess::Set(getTaggedDataManager(), kIdTag, id); }
uint32_t COutlineRecord::GetId() { return tagaccess::Get<uint32_t>(getTaggedDataManager(), kIdTag); }
void COutlineRecord::SetIndent(uint8_t indent) { tagaccess::Set(getTaggedDataManager(), kIndentTag, indent); }
uint8_t COutlineRecord::GetIndent() { return tagaccess::Get<uint8_t>(getTaggedDataManager(), kIndentTag); }

void COutlineRecord::SetText(const char16_t* text) { tagaccess::SetText(getTaggedDataManager(), kTextTag, text); }

void COutlineRecord::GetText(_String& text) { tagaccess::GetText(getTaggedDataManager(), kTextTag, text); }

void COutlineRecord::DeleteText() {
    ZR_CHECK_TAG(getTaggedDataManager().deleteStringData(kTextTag));
    resize();
}

void COutlineRecord::SetNote(const char16_t* note) { tagaccess::SetText(getTaggedDataManager(), kNoteTag, note); }

void COutlineRecord::GetNote(_String& note) { tagaccess::GetText(getTaggedDataManager(), kNoteTag, note); }

void COutlineRecord::DeleteNote() {
    ZR_CHECK_TAG(getTaggedDataManager().deleteStringData(kNoteTag));
    resize();
}

bool COutlineRecord::HasNote() { return tagaccess::HasText(getTaggedDataManager(), kNoteTag); }
void COutlineRecord::SetExpanded(bool expanded) { tagaccess::SetFlag(getTaggedDataManager(), kExpandedTag, expanded); }
bool COutlineRecord::GetExpanded() { return tagaccess::GetFlag(getTaggedDataManager(), kExpandedTag); }
void COutlineRecord::SetChecked(bool checked) { tagaccess::SetFlag(getTaggedDataManager(), kCheckedTag, checked); }
bool COutlineRecord::GetChecked() { return tagaccess::GetFlag(getTaggedDataManager(), kCheckedTag); }

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

bool COutlineRecord::HasDrawing() { return tagaccess::Has(getTaggedDataManager(), kDrawingTag); }

void COutlineRecord::GetDrawingSize(int32_t& width, int32_t& height) {
    width = 0;
    height = 0;
    if (!HasDrawing()) return;
    const auto* block =
        reinterpret_cast<const uint8_t*>(getTaggedDataManager().findDataPtr(kDrawingTag, kDrawingSizeBytes));
    if (block == nullptr) ZR_CHECK_TAG(CTaggedDataManager::kDataClassNotFoundError);
    width = static_cast<int32_t>(LoadLE32(block + kDrawingWidthAt));
    height = static_cast<int32_t>(LoadLE32(block + kDrawingHeightAt));
}

void COutlineRecord::UpdateChangedFields(COutlineRecord* previous) {
    ZR_ASSERT(previous != nullptr);
    if (previous == nullptr) return;
    CTaggedDataManager& tags = getTaggedDataManager();
    tagaccess::SetChanged(tags, kIndentTag, GetIndent() != previous->GetIndent());

    _String mine;
    _String theirs;
    GetText(mine);
    previous->GetText(theirs);
    tagaccess::SetTextChanged(tags, kTextTag, !(mine == theirs));

    const bool hadNote = previous->HasNote();
    const bool hasNote = HasNote();
    if (!hadNote && !hasNote) {
        SetNote(u"");
    } else if (!hadNote) {
        tagaccess::SetTextChanged(tags, kNoteTag, true);
    } else if (hasNote) {
        GetNote(mine);
        previous->GetNote(theirs);
        tagaccess::SetTextChanged(tags, kNoteTag, !(mine == theirs));
    }

    tagaccess::SetChanged(tags, kExpandedTag, GetExpanded() != previous->GetExpanded());
    tagaccess::SetChanged(tags, kCheckedTag, GetChecked() != previous->GetChecked());
}

void COutlineRecord::updateRecordChanged() {
    CTaggedDataManager& tags = getTaggedDataManager();
    // Tested in this order, stopping at the first set bit: a deleted text
    // or note raises only when nothing before it has changed.
    const bool changed = tagaccess::Changed(tags, kIndentTag) || tagaccess::TextChanged(tags, kTextTag) ||
                         tagaccess::TextChanged(tags, kNoteTag) || tagaccess::Changed(tags, kCheckedTag) ||
                         (HasDrawing() && tagaccess::Changed(tags, kDrawingTag));
    SetChanged(changed);
}

CLinkedOutlRec::~CLinkedOutlRec() = default;

void CLinkedOutlRec::Init() {
    COutlineRecord::Init();
    setInternalId(0);
    setParentId(0);
}

void CLinkedOutlRec::setInternalId(uint32_t id) { tagaccess::Set(getTaggedDataManager(), kInternalIdTag, id); }
uint32_t CLinkedOutlRec::getInternalId() { return tagaccess::Get<uint32_t>(getTaggedDataManager(), kInternalIdTag); }
void CLinkedOutlRec::setParentId(uint32_t id) { tagaccess::Set(getTaggedDataManager(), kParentIdTag, id); }
uint32_t CLinkedOutlRec::getParentId() { return tagaccess::Get<uint32_t>(getTaggedDataManager(), kParentIdTag); }

COutlineRecordset::~COutlineRecordset() = default;

CDBRecord* COutlineRecordset::CreateDBRecord() { return Initialized(NewPooled<COutlineRecord>()); }

CLinkedOutlRS::~CLinkedOutlRS() = default;

CDBRecord* CLinkedOutlRS::CreateDBRecord() { return Initialized(NewPooled<CLinkedOutlRec>()); }

}  // namespace zr_gen
