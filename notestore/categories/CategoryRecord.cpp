#include "notestore/categories/CategoryRecord.h"

#include "notestore/engine/TagAccess.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/zr_assert.h"

namespace zr_gen {

namespace {

// Read with CDBRecord::Read, so bulk reading may fill them directly.
[[maybe_unused]] const bool kCCategoryRecordPlainRows = CDBRecord::RegisterPlainRowReader(typeid(CCategoryRecord));

}  // namespace

CCategoryRecord::~CCategoryRecord() = default;

void CCategoryRecord::Init() {
    SetCategoryId(0);
    SetCategoryName(u"");
    SetLastChangedTime(CTime(0));
}

void CCategoryRecord::SetCategoryId(uint32_t id) { tagaccess::Set(getTaggedDataManager(), kCategoryIdTag, id); }

uint32_t CCategoryRecord::GetCategoryId() { return tagaccess::Get<uint32_t>(getTaggedDataManager(), kCategoryIdTag); }

void CCategoryRecord::SetCategoryName(const char16_t* name) {
    tagaccess::SetText(getTaggedDataManager(), kCategoryNameTag, name, kMaxNameLength);
}

void CCategoryRecord::GetCategoryName(_String& name) {
    tagaccess::GetText(getTaggedDataManager(), kCategoryNameTag, name);
}

void CCategoryRecord::SetLastChangedTime(CTime time) {
    tagaccess::Set(getTaggedDataManager(), kLastChangedTimeTag, time.GetTime());
}

CTime CCategoryRecord::GetLastChangedTime() {
    return CTime(tagaccess::Get<uint32_t>(getTaggedDataManager(), kLastChangedTimeTag));
}

CCategoryRecordset::~CCategoryRecordset() = default;

CCategoryRecord* CCategoryRecordset::CreateDBRecord() {
    return static_cast<CCategoryRecord*>(Initialized(NewObject<CCategoryRecord>()));
}

CCategoryRecord* CCategoryRecordset::getCategoryRecord(uint32_t index) const {
    return static_cast<CCategoryRecord*>(getRecord(index));
}

}  // namespace zr_gen
