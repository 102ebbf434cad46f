// Property: opening any byte string as an outline document, reading its
// headers, deleted ids and items, reading every field the document and its
// items offer, comparing items and writing the document back either succeeds
// or raises the library's own exception: never a crash, an out-of-bounds
// access, a hang or a leak.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "notestore/foundation/Exception.h"
#include "notestore/foundation/File.h"
#include "notestore/foundation/MemAPI.h"
#include "notestore/outline/OutlineDB.h"

namespace {

using zr_gen::COutlineDB;
using zr_gen::COutlineRecord;

// Runs one accessor; its failure must be a library exception.
template <class Step>
void Try(Step&& step) {
    try {
        step();
    } catch (zr_gen::CException* e) {
        zr_gen::DeleteException(e);
    }
}

void TouchHeaders(COutlineDB& db, COutlineDB& fresh) {
    zr_gen::_String text;
    Try([&] { db.GetCategoryName(text); });
    Try([&] { db.GetOutlineTitle(text); });
    Try([&] { db.GetPrivate(), db.GetPrivateTagChanged(), db.GetOutlineChanged(), db.GetSynchronized(); });
    Try([&] {
        uint8_t numbering[10];
        db.getNumbering(numbering);
        db.getNumberingDivider();
    });
    Try([&] { db.GetShowCheckedItems(), db.GetSelectedIndex(), db.GetTopIndex(), db.GetShowHeadingsMode(); });
    Try([&] {
        LOGFONTW font{};
        uint32_t color = 0;
        db.GetOutlineFont(font, &color);
    });
    Try([&] {
        zr_gen::WINDOWPLACEMENT placement;
        db.GetOutlineWindowPos(placement);
    });
    Try([&] { db.compareSharedHeader(&fresh), db.comparePrivateHeader(&fresh); });
    Try([&] { db.SetCategoryName(u"Fuzz"); });
}

void TouchItem(COutlineRecord& item, COutlineRecord* previous) {
    zr_gen::_String text;
    Try([&] { item.GetId(), item.GetIndent(), item.GetExpanded(), item.GetChecked(); });
    Try([&] { item.GetText(text); });
    Try([&] { item.GetNote(text), item.HasNote(); });
    Try([&] {
        int32_t width = 0, height = 0;
        item.GetDrawingSize(width, height);
    });
    MemFree(item.GetDrawing());
    if (previous != nullptr) Try([&] { item.UpdateChangedFields(previous); });
    Try([&] { item.updateRecordChanged(); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    zr_gen::MemFile file(bytes.data(), static_cast<uint32_t>(bytes.size()), 0);
    COutlineDB db;
    COutlineDB fresh;
    db.Attach(&file);
    try {
        db.ReadDbInfo();
        db.ReadHeaderInfo();
        db.ReadSharedHeader();
        db.ReadPrivateHeader();
        db.ReadRows();
    } catch (zr_gen::CException* e) {
        zr_gen::DeleteException(e);
    }
    TouchHeaders(db, fresh);
    COutlineRecord* previous = nullptr;
    for (int32_t i = 0; i < db.GetRecordset()->getSize(); ++i) {
        auto* item = static_cast<COutlineRecord*>(db.getRecord(static_cast<uint32_t>(i)));
        TouchItem(*item, previous);
        previous = item;
    }
    // Writing back over the same bytes: a file that cannot grow must refuse
    // the rest as an error too.
    Try([&] {
        db.WriteAllHeaders();
        db.WriteRows();
    });
    db.Detach();
    return 0;
}
