#include "notestore/outline/SharedHeader.h"

#include "notestore/categories/CategoryDB.h"
#include "notestore/engine/TagAccess.h"
#include "notestore/foundation/zr_assert.h"

namespace zr_gen {

namespace {
constexpr uint8_t kNoNumbering[CSharedHeader::kNumberingSize] = {};
}  // namespace

CSharedHeader::CSharedHeader() {
    SetCategoryName(CCategoryDB::getUnfiledCategoryName());
    SetOutlineChanged(true);
    SetSynchronized(false);
    SetPalmMatchName(u"");
    SetPrivate(false);
    CreateNewFields();
}

CSharedHeader::~CSharedHeader() = default;

void CSharedHeader::CreateNewFields() {
    if (!hasStringTag(kPalmMatchNameTag)) SetPalmMatchName(u"");
    if (!hasTag(kPrivateTag)) SetPrivate(false);
    if (!hasTag(kNumberingTag)) setNumbering(kNoNumbering);
    if (!hasTag(kNumberingDividerTag)) setNumberingDivider(0);
}

void CSharedHeader::GetCategoryName(_String& name) {
    tagaccess::GetText(getTaggedDataManager(), kCategoryNameTag, name);
}

void CSharedHeader::SetCategoryName(const char16_t* name) {
    if (tagaccess::SetText(getTaggedDataManager(), kCategoryNameTag, name, CCategoryRecord::kMaxNameLength)) {
        SetOutlineChanged(true);
    }
}

bool CSharedHeader::GetCategoryChanged() { return tagaccess::TextChanged(getTaggedDataManager(), kCategoryNameTag); }

void CSharedHeader::SetCategoryChanged(bool changed) {
    tagaccess::SetTextChanged(getTaggedDataManager(), kCategoryNameTag, changed);
}

void CSharedHeader::SetPalmMatchName(const char16_t* name) {
    tagaccess::SetText(getTaggedDataManager(), kPalmMatchNameTag, name);
}

void CSharedHeader::GetPalmMatchName(_String& name) {
    tagaccess::GetText(getTaggedDataManager(), kPalmMatchNameTag, name);
}

void CSharedHeader::SetOutlineChanged(bool changed) {
    tagaccess::SetFlag(getTaggedDataManager(), kOutlineChangedTag, changed);
}

bool CSharedHeader::GetOutlineChanged() { return tagaccess::GetFlag(getTaggedDataManager(), kOutlineChangedTag); }
void CSharedHeader::SetSynchronized(bool synchronized) {
    tagaccess::SetFlag(getTaggedDataManager(), kSynchronizedTag, synchronized);
}

bool CSharedHeader::GetSynchronized() { return tagaccess::GetFlag(getTaggedDataManager(), kSynchronizedTag); }
void CSharedHeader::SetPrivate(bool isPrivate) { tagaccess::SetFlag(getTaggedDataManager(), kPrivateTag, isPrivate); }
bool CSharedHeader::GetPrivate() { return tagaccess::GetFlag(getTaggedDataManager(), kPrivateTag); }
bool CSharedHeader::GetPrivateTagChanged() { return tagaccess::Changed(getTaggedDataManager(), kPrivateTag); }
void CSharedHeader::SetPrivateTagChanged(bool changed) {
    tagaccess::SetChanged(getTaggedDataManager(), kPrivateTag, changed);
}

void CSharedHeader::getNumbering(uint8_t* numbering) {
    ZR_ASSERT(numbering != nullptr);
    if (numbering != nullptr) tagaccess::GetBytes(getTaggedDataManager(), kNumberingTag, numbering, kNumberingSize);
}

void CSharedHeader::setNumbering(const uint8_t* numbering) {
    ZR_ASSERT(numbering != nullptr);
    if (numbering != nullptr) tagaccess::SetBytes(getTaggedDataManager(), kNumberingTag, numbering, kNumberingSize);
}

bool CSharedHeader::getNumberingChanged() { return tagaccess::Changed(getTaggedDataManager(), kNumberingTag); }
void CSharedHeader::setNumberingChanged(bool changed) {
    tagaccess::SetChanged(getTaggedDataManager(), kNumberingTag, changed);
}

void CSharedHeader::setNumberingDivider(uint16_t divider) {
    tagaccess::Set(getTaggedDataManager(), kNumberingDividerTag, divider);
}

uint16_t CSharedHeader::getNumberingDivider() {
    return tagaccess::Get<uint16_t>(getTaggedDataManager(), kNumberingDividerTag);
}

bool CSharedHeader::getNumberingDividerChanged() {
    return tagaccess::Changed(getTaggedDataManager(), kNumberingDividerTag);
}

void CSharedHeader::setNumberingDividerChanged(bool changed) {
    tagaccess::SetChanged(getTaggedDataManager(), kNumberingDividerTag, changed);
}

}  // namespace zr_gen
