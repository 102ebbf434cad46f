#include "notestore/outline/OutlineDB.h"

#include <algorithm>
#include <string>

#include "notestore/foundation/Exception.h"
#include "notestore/foundation/Messages.h"
#include "notestore/foundation/zr_assert.h"

namespace zr_gen {

namespace {

[[noreturn]] void RaiseOutOfMemory(const char* file, int32_t line) {
    ThrowTraced<CException>(file, line, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));
}

// Makes a header and hands it to the manager, which then owns it.
template <class Header>
void RegisterNew(CHeaderManager& headers) {
    Header* header = NewObject<Header>();
    if (header == nullptr) RaiseOutOfMemory(ZR_FILE, __LINE__);
    headers.RegisterHeader(THeaderRecord{Header::kId, Header::kDefaultSize}, header);
}

// Replaces the database's recordset with a new one of type Set.
template <class Set>
void ReplaceRecordset(CDBRecordset*& recordset) {
    Set* created = NewObject<Set>();
    if (created == nullptr) RaiseOutOfMemory(ZR_FILE, __LINE__);
    delete recordset;
    recordset = created;
}

}  // namespace

// ---- COutlineDB ----

COutlineDB::COutlineDB() : CDatabase(false) {
    ZR_Trace(u"COutlineDB::COutlineDB");
    CreateRecordset();
    dbInfo_.versionNum = kVersion;
    deleted_.reset(NewObject<CDeletedThoughts>());
    if (deleted_ == nullptr) RaiseOutOfMemory(ZR_FILE, __LINE__);
    RegisterNew<CSharedHeader>(headerManager_);
    RegisterNew<CPrivateOutlineHeader>(headerManager_);
}

COutlineDB::~COutlineDB() = default;

int32_t COutlineDB::Open(const char16_t* path, uint32_t mode) {
    ZR_Trace(u"COutlineDB::Open %s %d", path, mode);
    try {
        return CDatabase::Open(path, mode);
    } catch (CException* e) {
        ZR_Trace(u"line %d exception %s nm %d", __LINE__, DescriptionOf(e),
                 e != nullptr ? e->GetErrNumber() : DefaultErrorNumber(kMsgOutOfMemory));
        DeleteException(e);
        Close();
        return 0;
    }
}

void COutlineDB::CheckDbInfo() {
    if (dbInfo_.versionNum != kVersion) {
        ZR_THROW(CDBException, kMsgDbVersionNewer, DefaultErrorNumber(kMsgDbVersionNewer));
    }
}

void COutlineDB::ReadExtraRows() { deleted_->Read(*this); }

void COutlineDB::WriteExtraRows() { deleted_->Write(*this); }

void COutlineDB::CreateRecordset() { ReplaceRecordset<COutlineRecordset>(recordset_); }

void COutlineDB::AddDeletedId(uint32_t id) { deleted_->Add(id); }

void COutlineDB::removeDeletedId(uint32_t id) { deleted_->removeId(id); }

bool COutlineDB::IsDeleted(uint32_t id) const { return deleted_->IsDeleted(id); }

bool COutlineDB::IsDeleted(COutlineRecord* record) {
    ZR_ASSERT(record != nullptr);
    return record != nullptr && IsDeleted(record->GetId());
}

void COutlineDB::DeleteAll(bool keepIds) {
    deleted_->Clear();
    while (recordset_->getSize() > 0) {
        if (keepIds) {
            const uint32_t id = static_cast<COutlineRecord*>(recordset_->getRecord(0))->GetId();
            if (id != 0) deleted_->Add(id);
        }
        recordset_->Delete(0);
    }
}

void COutlineDB::Delete(COutlineRecord* record) {
    ZR_ASSERT(record != nullptr);
    if (record != nullptr) recordset_->Delete(record);
}

bool COutlineDB::compareSharedHeader(COutlineDB* other) {
    ZR_ASSERT(other != nullptr);
    if (other == nullptr) return false;
    _String mine;
    _String theirs;
    GetCategoryName(mine);
    other->GetCategoryName(theirs);
    if (!(mine == theirs) || GetPrivate() != other->GetPrivate()) return false;
    uint8_t myNumbering[CSharedHeader::kNumberingSize];
    uint8_t theirNumbering[CSharedHeader::kNumberingSize];
    getNumbering(myNumbering);
    other->getNumbering(theirNumbering);
    return std::equal(std::begin(myNumbering), std::end(myNumbering), theirNumbering) &&
           getNumberingDivider() == other->getNumberingDivider();
}

bool COutlineDB::comparePrivateHeader(COutlineDB* other) {
    ZR_ASSERT(other != nullptr);
    if (other == nullptr || GetShowCheckedItems() != other->GetShowCheckedItems()) return false;
    _String mine;
    _String theirs;
    GetOutlineTitle(mine);
    other->GetOutlineTitle(theirs);
    return mine == theirs;
}

void COutlineDB::copySharedHeader(COutlineDB* other) {
    ZR_ASSERT(other != nullptr);
    if (other != nullptr) *GetSharedHeaderPtr() = *other->GetSharedHeaderPtr();
}

void COutlineDB::copyPrivateHeader(COutlineDB* other) {
    ZR_ASSERT(other != nullptr);
    if (other != nullptr) *GetPrivateOutlineHeaderPtr() = *other->GetPrivateOutlineHeaderPtr();
}

bool COutlineDB::ReadSharedHeader() { return ReadHeader(CSharedHeader::kId); }

void COutlineDB::WriteSharedHeader() { WriteHeader(CSharedHeader::kId); }

bool COutlineDB::ReadPrivateHeader() { return ReadHeader(CPrivateOutlineHeader::kId); }

void COutlineDB::WritePrivateHeader() { WriteHeader(CPrivateOutlineHeader::kId); }

CSharedHeader* COutlineDB::GetSharedHeaderPtr() const {
    return static_cast<CSharedHeader*>(headerManager_.GetHeaderPtr(CSharedHeader::kId));
}

CPrivateOutlineHeader* COutlineDB::GetPrivateOutlineHeaderPtr() const {
    return static_cast<CPrivateOutlineHeader*>(headerManager_.GetHeaderPtr(CPrivateOutlineHeader::kId));
}

// The header fields forward to the header that keeps them.
void COutlineDB::GetCategoryName(_String& name) { GetSharedHeaderPtr()->GetCategoryName(name); }
void COutlineDB::SetCategoryName(const char16_t* name) { GetSharedHeaderPtr()->SetCategoryName(name); }
bool COutlineDB::GetCategoryChanged() { return GetSharedHeaderPtr()->GetCategoryChanged(); }
void COutlineDB::SetCategoryChanged(bool changed) { GetSharedHeaderPtr()->SetCategoryChanged(changed); }
bool COutlineDB::GetPrivate() { return GetSharedHeaderPtr()->GetPrivate(); }
void COutlineDB::SetPrivate(bool isPrivate) { GetSharedHeaderPtr()->SetPrivate(isPrivate); }
bool COutlineDB::GetPrivateTagChanged() { return GetSharedHeaderPtr()->GetPrivateTagChanged(); }
void COutlineDB::SetPrivateTagChanged(bool changed) { GetSharedHeaderPtr()->SetPrivateTagChanged(changed); }
bool COutlineDB::GetOutlineChanged() { return GetSharedHeaderPtr()->GetOutlineChanged(); }
void COutlineDB::SetOutlineChanged(bool changed) { GetSharedHeaderPtr()->SetOutlineChanged(changed); }
bool COutlineDB::GetSynchronized() { return GetSharedHeaderPtr()->GetSynchronized(); }
void COutlineDB::SetSynchronized(bool synchronized) { GetSharedHeaderPtr()->SetSynchronized(synchronized); }
void COutlineDB::getNumbering(uint8_t* numbering) { GetSharedHeaderPtr()->getNumbering(numbering); }
void COutlineDB::setNumbering(const uint8_t* numbering) { GetSharedHeaderPtr()->setNumbering(numbering); }
bool COutlineDB::getNumberingChanged() { return GetSharedHeaderPtr()->getNumberingChanged(); }
void COutlineDB::setNumberingChanged(bool changed) { GetSharedHeaderPtr()->setNumberingChanged(changed); }
uint16_t COutlineDB::getNumberingDivider() { return GetSharedHeaderPtr()->getNumberingDivider(); }
void COutlineDB::setNumberingDivider(uint16_t divider) { GetSharedHeaderPtr()->setNumberingDivider(divider); }
bool COutlineDB::getNumberingDividerChanged() { return GetSharedHeaderPtr()->getNumberingDividerChanged(); }
void COutlineDB::setNumberingDividerChanged(bool changed) { GetSharedHeaderPtr()->setNumberingDividerChanged(changed); }
void COutlineDB::GetOutlineTitle(_String& title) { GetPrivateOutlineHeaderPtr()->GetOutlineTitle(title); }
void COutlineDB::SetOutlineTitle(const char16_t* title) { GetPrivateOutlineHeaderPtr()->SetOutlineTitle(title); }
uint8_t COutlineDB::GetShowCheckedItems() { return GetPrivateOutlineHeaderPtr()->GetShowCheckedItems(); }
void COutlineDB::SetShowCheckedItems(uint8_t mode) { GetPrivateOutlineHeaderPtr()->SetShowCheckedItems(mode); }
bool COutlineDB::ShowCheckedItemsChanged() { return GetPrivateOutlineHeaderPtr()->ShowCheckedItemsChanged(); }
void COutlineDB::setCheckedItemsChanged(bool changed) { GetPrivateOutlineHeaderPtr()->setCheckedItemsChanged(changed); }
uint32_t COutlineDB::GetSelectedIndex() { return GetPrivateOutlineHeaderPtr()->GetSelectedIndex(); }
void COutlineDB::SetSelectedIndex(uint32_t index) { GetPrivateOutlineHeaderPtr()->SetSelectedIndex(index); }
uint32_t COutlineDB::GetTopIndex() { return GetPrivateOutlineHeaderPtr()->GetTopIndex(); }
void COutlineDB::SetTopIndex(uint32_t index) { GetPrivateOutlineHeaderPtr()->SetTopIndex(index); }
uint8_t COutlineDB::GetShowHeadingsMode() { return GetPrivateOutlineHeaderPtr()->GetShowHeadingsMode(); }
void COutlineDB::SetShowHeadingsMode(uint8_t mode) { GetPrivateOutlineHeaderPtr()->SetShowHeadingsMode(mode); }

void COutlineDB::SetOutlineFont(const LOGFONTW& font, uint32_t color) {
    ZR_ASSERT(font.lfHeight != 0);
    const TStoredFontInfo stored{font.lfHeight,        font.lfWidth,        font.lfEscapement,    font.lfOrientation,
                                 font.lfWeight,        font.lfItalic,       font.lfUnderline,     font.lfStrikeOut,
                                 font.lfCharSet,       font.lfOutPrecision, font.lfClipPrecision, font.lfQuality,
                                 font.lfPitchAndFamily};
    CPrivateOutlineHeader* header = GetPrivateOutlineHeaderPtr();
    header->SetStoredFontInfo(&stored);
    // The face name field need not be terminated: it ends at its size.
    const size_t length =
        std::find(std::begin(font.lfFaceName), std::end(font.lfFaceName), u'\0') - std::begin(font.lfFaceName);
    const std::u16string face(font.lfFaceName, length);
    header->SetFontName(face.c_str());
    header->SetFontColor(color);
}

void COutlineDB::GetOutlineFont(LOGFONTW& font, uint32_t* color) {
    ZR_ASSERT(color != nullptr);
    CPrivateOutlineHeader* header = GetPrivateOutlineHeaderPtr();
    TStoredFontInfo stored;
    header->GetStoredFontInfo(&stored);
    ZR_ASSERT(stored.height != 0);
    font.lfHeight = stored.height;
    font.lfWidth = stored.width;
    font.lfEscapement = stored.escapement;
    font.lfOrientation = stored.orientation;
    font.lfWeight = stored.weight;
    font.lfItalic = stored.italic;
    font.lfUnderline = stored.underline;
    font.lfStrikeOut = stored.strikeOut;
    font.lfCharSet = stored.charSet;
    font.lfOutPrecision = stored.outPrecision;
    font.lfClipPrecision = stored.clipPrecision;
    font.lfQuality = stored.quality;
    font.lfPitchAndFamily = stored.pitchAndFamily;

    _String face;
    header->GetFontName(face);
    const std::u16string_view text = CutText(face.Text(), LF_FACESIZE - 1);
    std::copy(text.begin(), text.end(), font.lfFaceName);
    std::fill(font.lfFaceName + text.size(), std::end(font.lfFaceName), u'\0');

    if (color != nullptr) {
        *color = header->hasTag(CPrivateOutlineHeader::kFontColorTag) ? header->GetFontColor() : 0;
    }
}

void COutlineDB::SetOutlineWindowPos(const WINDOWPLACEMENT& placement) {
    const RECT& normal = placement.rcNormalPosition;
    const TStoredWindowPos stored{placement.flags,
                                  placement.showCmd,
                                  placement.ptMinPosition.x,
                                  placement.ptMinPosition.y,
                                  placement.ptMaxPosition.x,
                                  placement.ptMaxPosition.y,
                                  normal.top,
                                  normal.left,
                                  normal.right,
                                  normal.bottom};
    GetPrivateOutlineHeaderPtr()->SetStoredWndPos(&stored);
}

void COutlineDB::GetOutlineWindowPos(WINDOWPLACEMENT& placement) {
    TStoredWindowPos stored;
    GetPrivateOutlineHeaderPtr()->GetStoredWndPos(&stored);
    placement.length = kWindowPlacementLength;
    placement.flags = stored.flags;
    placement.showCmd = stored.showCmd;
    placement.ptMinPosition = {stored.minX, stored.minY};
    placement.ptMaxPosition = {stored.maxX, stored.maxY};
    placement.rcNormalPosition = {stored.normalLeft, stored.normalTop, stored.normalRight, stored.normalBottom};
}

// ---- CMemOutlDB ----

CMemOutlDB::CMemOutlDB() : CDatabase(false) {
    ZR_Trace(u"CMemOutlDB::CMemOutlDB");
    CreateRecordset();
    dbInfo_.versionNum = kVersion;
}

CMemOutlDB::~CMemOutlDB() = default;

void CMemOutlDB::CheckDbInfo() {
    if (dbInfo_.versionNum != kVersion) {
        ZR_THROW(CDBException, kMsgMemoryDbVersion, DefaultErrorNumber(kMsgMemoryDbVersion));
    }
}

void CMemOutlDB::ReadExtraRows() {}

void CMemOutlDB::WriteExtraRows() {}

void CMemOutlDB::CreateRecordset() { ReplaceRecordset<CLinkedOutlRS>(recordset_); }

uint32_t CMemOutlDB::getFirstRowStartPosReading() { return kFirstRowPos; }

uint32_t CMemOutlDB::getFirstRowStartPosWriting() { return kFirstRowPos; }

}  // namespace zr_gen
