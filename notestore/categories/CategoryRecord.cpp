#include "notestore/categories/CategoryRecord.h"

#include "notestore/engine/TaggedDataManager.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/zr_assert.h"

namespace zr_gen {

CCategoryRecord::~CCategoryRecord() = default;

void CCategoryRecord::Init() {
    SetCategoryId(0);
    SetCategoryName(u"");
    SetLastChangedTime(CTime(0));
}

void CCategoryRecord::SetCategoryId(uint32_t id) { ZR_CHECK_TAG(getTaggedDataManager().setData(kCategoryIdTag, id)); }

uint32_t CCategoryRecord::GetCategoryId() {
    uint32_t id = 0;
    ZR_CHECK_TAG(getTaggedDataManager().getData(kCategoryIdTag, id));
    return id;
}

void CCategoryRecord::SetCategoryName(const char16_t* name) {
    ZR_ASSERT(name != nullptr);
    ZR_CHECK_TAG(getTaggedDataManager().setString(kCategoryNameTag, name != nullptr ? name : u"", nullptr));
}

void CCategoryRecord::GetCategoryName(_String& name) {
    ZR_CHECK_TAG(getTaggedDataManager().getString(kCategoryNameTag, name));
}

void CCategoryRecord::SetLastChangedTime(CTime time) {
    ZR_CHECK_TAG(getTaggedDataManager().setData(kLastChangedTimeTag, time.GetTime()));
}

CTime CCategoryRecord::GetLastChangedTime() {
    uint32_t seconds = 0;
    ZR_CHECK_TAG(getTaggedDataManager().getData(kLastChangedTimeTag, seconds));
    return CTime(seconds);
}

CCategoryRecordset::~CCategoryRecordset() = default;

CCategoryRecord* CCategoryRecordset::CreateDBRecord() {
    return static_cast<CCategoryRecord*>(Initialized(NewObject<CCategoryRecord>()));
}

CCategoryRecord* CCategoryRecordset::getCategoryRecord(uint32_t index) const {
    return static_cast<CCategoryRecord*>(getRecord(index));
}

}  // namespace zr_gen
