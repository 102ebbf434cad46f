// Property: opening any byte string as a database, reading every header and
// every row and touching every tag either succeeds or raises the library's
// own exception: never a crash, an out-of-bounds access, a hang or a leak.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/FuzzDatabase.h"
#include "notestore/engine/RowsCollection.h"
#include "notestore/engine/Rowset.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/File.h"

namespace {

// Reads every numeric tag id up to 40 and every string tag, then edits the
// block, so damaged blocks meet both the lookups and the editing code.
void TouchTags(zr_gen::CTaggedDataManager& tags) {
    char buffer[256];
    for (uint32_t id = 1; id <= 40; ++id) {
        uint32_t size = 0;
        tags.getTagDataSize(id, &size);
        uint32_t room = sizeof buffer;
        uint8_t version = 0;
        tags.getData(id, buffer, &room, &version);
        tags.getDataPtr(id, 4);
        bool changed = false;
        tags.getTagChanged(id, &changed);
    }
    for (uint32_t byteId = 0; byteId < 256; ++byteId) {
        zr_gen::_String text;
        tags.getString(static_cast<uint8_t>(byteId), text);
    }
    tags.setData(7, uint32_t{0x01020304});
    tags.deleteData(2);
    tags.setString(3, u"fuzz", nullptr);
}

void Exercise(fuzzing::FuzzDatabase& db) {
    db.ReadDbInfo();
    db.ReadHeaderInfo();
    for (const zr_gen::THeaderInfo& entry : db.GetHeaderManager().recorded()) {
        if (db.ReadHeader(entry.record.id)) TouchTags(entry.header->getTaggedDataManager());
    }
    db.ReadRows();
    zr_gen::CDBRecordset* rows = db.GetRecordset();
    for (int32_t i = 0; i < rows->getSize(); ++i) {
        zr_gen::CDBRecord* record = rows->getRecord(static_cast<uint32_t>(i));
        TouchTags(record->getTaggedDataManager());
        record->IsDeleted();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    zr_gen::MemFile file(bytes.data(), static_cast<uint32_t>(bytes.size()), 0);
    fuzzing::FuzzDatabase db;
    db.Attach(&file);
    try {
        Exercise(db);
    } catch (zr_gen::CException* e) {
        zr_gen::DeleteException(e);
    }
    db.Detach();
    return 0;
}
