// A document holding every kind of stored field, for the tests of zro's
// editing and salvaging: title, category, private flag, numbering, font,
// window placement, deleted ids, a header no build of the library knows,
// items with notes, a drawing and a tag the library does not know.
//
//   index  id   level  text
//   0      100  0      Milk
//   1      101  1      Bread   (note "wholemeal", unknown tag 40)
//   2      102  1      Eggs    (drawing 24 x 16)
//   3      103  0      Tea
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "notestore/drawings/Dib.h"
#include "notestore/engine/TagAccess.h"
#include "notestore/foundation/File.h"
#include "notestore/outline/OutlineDB.h"
#include "support/Bytes.h"

namespace zrotest {

using testsupport::Bytes;

constexpr uint32_t kUnknownTag = 40;
constexpr uint16_t kForeignHeaderId = 77;
const Bytes kForeignSlot = {'f', 'o', 'r', 'e', 'i', 'g', 'n', 0, 1, 2, 3};

// The stored parts of a document, split along its layout.
struct Layout {
    Bytes dbInfo;   // check code and version (the row count apart)
    uint32_t rowCount = 0;
    Bytes headers;  // header table and slots
    Bytes deleted;  // the deleted-id list
    std::vector<Bytes> rows;  // each row's whole frame
};

inline uint32_t U32(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24; }

inline Layout Split(const Bytes& file) {
    Layout layout;
    layout.dbInfo.assign(file.begin(), file.begin() + 6);
    layout.rowCount = U32(file, 6);
    const size_t count = file[10] | file[11] << 8;
    size_t at = 12 + count * 6;
    for (size_t i = 0; i < count; ++i) at += U32(file, 12 + i * 6 + 2);
    layout.headers.assign(file.begin() + 10, file.begin() + static_cast<std::ptrdiff_t>(at));
    const size_t deletedEnd = at + 4 + 4 * size_t{U32(file, at)};
    layout.deleted.assign(file.begin() + static_cast<std::ptrdiff_t>(at), file.begin() + static_cast<std::ptrdiff_t>(deletedEnd));
    for (at = deletedEnd; at < file.size();) {
        const size_t end = at + 12 + U32(file, at + 4);
        layout.rows.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(at), file.begin() + static_cast<std::ptrdiff_t>(end));
        at = end;
    }
    return layout;
}

// Adds a header with an id nobody registers: a table entry and its slot
// behind the others.
inline Bytes WithForeignHeader(const Bytes& file) {
    const size_t count = file[10] | file[11] << 8;
    size_t slotsEnd = 12 + count * 6;
    for (size_t i = 0; i < count; ++i) slotsEnd += U32(file, 12 + i * 6 + 2);
    Bytes out(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(12 + count * 6));
    out[10] = static_cast<uint8_t>(count + 1);
    const auto size = static_cast<uint32_t>(kForeignSlot.size());
    out.insert(out.end(), {static_cast<uint8_t>(kForeignHeaderId), 0, static_cast<uint8_t>(size), 0, 0, 0});
    out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(12 + count * 6),
               file.begin() + static_cast<std::ptrdiff_t>(slotsEnd));
    out.insert(out.end(), kForeignSlot.begin(), kForeignSlot.end());
    out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(slotsEnd), file.end());
    return out;
}

// Saves a document built in memory as a new file at `path`, as the
// application saves a new document.
inline void SaveAsNew(zr_gen::COutlineDB& db, const std::filesystem::path& path) {
    const std::u16string wide = path.u16string();
    db.Open(wide.c_str(), zr_gen::CFile::kCreate | zr_gen::CFile::kModeReadWrite);
    db.InitNewDatabase();
    db.WriteAllHeaders();
    db.WriteRows();
    db.Close();
}

inline void WriteRichDocument(const std::filesystem::path& path) {
    using zr_gen::COutlineRecord;
    {
        zr_gen::COutlineDB db;
        db.SetOutlineTitle(u"Groceries \u00E9");
        db.SetCategoryName(u"Home");
        db.SetPrivate(true);
        const uint8_t numbering[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        db.setNumbering(numbering);
        db.setNumberingDivider(46);
        LOGFONTW font{};
        font.lfHeight = -13;
        font.lfWeight = 700;
        std::u16string(u"Tahoma").copy(font.lfFaceName, 6);
        db.SetOutlineFont(font, 0x00FF8000);
        zr_gen::WINDOWPLACEMENT placement;
        placement.flags = 5;
        placement.showCmd = 1;
        placement.rcNormalPosition = {10, 20, 300, 400};
        db.SetOutlineWindowPos(placement);
        db.SetOutlineChanged(true);  // as every edit leaves it
        for (uint32_t id : {7u, 9u}) db.AddDeletedId(id);
        const char16_t* texts[] = {u"Milk", u"Bread", u"Eggs", u"Tea"};
        const uint8_t levels[] = {0, 1, 1, 0};
        for (uint32_t i = 0; i < 4; ++i) {
            auto* item = static_cast<COutlineRecord*>(db.GetRecordset()->Append());
            item->SetId(100 + i);
            item->SetIndent(levels[i]);
            item->SetText(texts[i]);
        }
        auto* bread = static_cast<COutlineRecord*>(db.getRecord(1));
        bread->SetNote(u"wholemeal");
        zr_gen::tagaccess::Set(bread->getTaggedDataManager(), kUnknownTag, uint32_t{0xC0FFEE});
        static_cast<COutlineRecord*>(db.getRecord(2))->SetDrawing(CreateDIB(24, 16, 8));
        SaveAsNew(db, path);
    }
    testsupport::WriteFileBytes(path, WithForeignHeader(testsupport::ReadFileBytes(path)));
}

}  // namespace zrotest
