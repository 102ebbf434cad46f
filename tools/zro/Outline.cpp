#include "tools/zro/Outline.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "notestore/drawings/Dib.h"
#include "notestore/engine/RowSpanReader.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/File.h"
#include "notestore/foundation/MemAPI.h"
#include "notestore/outline/OutlineDB.h"
#include "tools/zro/LibraryCall.h"
#include "tools/zro/ReplaceFile.h"
#include "tools/zro/StoredForm.h"

namespace zro {

namespace {

using zr_gen::CFile;
using zr_gen::COutlineDB;
using zr_gen::COutlineRecord;

std::string Utf8(const zr_gen::_String& text) { return Narrow(text.Text()); }

void OpenHeaders(COutlineDB& db, const std::string& path, uint32_t mode) {
    if (db.Open(Wide(path).c_str(), mode) != 1) {
        throw std::runtime_error("cannot be opened as an outline document");
    }
    db.ReadConduitHeader();
    db.ReadSharedHeader();
    db.ReadPrivateHeader();
}

void Open(COutlineDB& db, const std::string& path, uint32_t mode) {
    OpenHeaders(db, path, mode);
    db.ReadRows();
}

// A document read a row at a time: each row is read into one record, handed
// out and replaced by the next, where CDatabase::ReadRows keeps every row in
// the recordset. Reading then holds one row (and the span it lies in)
// however long the document is; the rows are read, and their errors
// raised, as ReadRows reads them.
class ItemStream : public COutlineDB {
public:
    // Reads the rows before the items (the deleted ids), calls `headers`,
    // then `visit` with each item's record in turn.
    template <class Headers, class Visit>
    void ReadItems(Headers&& headers, Visit&& visit) {
        zr_gen::BufferedScope buffered(*this);
        Seek(static_cast<int32_t>(getFirstRowStartPosReading()), 0);
        ReadExtraRows();
        headers();
        zr_gen::RowSpanReader rows(*this);
        COutlineRecord record;
        for (uint32_t i = 0; i < GetDbInfo().rowCount; ++i) {
            rows.ReadInto(record);
            visit(record);
        }
        rows.Finish();
        buffered.End();
    }
};

// The drawing of a record as a packed DIB; nothing when it has none or its
// block does not convert (the library has logged why), so that a damaged
// drawing does not keep the rest of the document from being read.
std::vector<uint8_t> DrawingOf(COutlineRecord& record) {
    if (!record.HasDrawing()) return {};
    MemHandle dib = record.GetDrawing();
    return dib == nullptr ? std::vector<uint8_t>() : TakeBlock(dib);
}

void SetDrawingOf(COutlineRecord& record, const std::vector<uint8_t>& dib) {
    if (dib.empty()) return;
    MemHandle block = BlockOf(dib);
    if (!record.SetDrawing(block)) {
        MemFree(block);
        throw std::runtime_error("item " + std::to_string(record.GetId()) + ": the drawing cannot be stored");
    }
}

void ReadHeaders(COutlineDB& db, Outline& outline) {
    zr_gen::_String text;
    db.GetOutlineTitle(text);
    outline.title = Utf8(text);
    db.GetCategoryName(text);
    outline.category = Utf8(text);
    outline.deletedIds = db.GetDeletedIds().Ids();
    outline.isPrivate = db.GetPrivate();
    outline.synchronized = db.GetSynchronized();
    outline.outlineChanged = db.GetOutlineChanged();
    db.GetSharedHeaderPtr()->GetPalmMatchName(text);
    outline.matchName = Utf8(text);
    db.getNumbering(outline.numbering.data());
    outline.numberingDivider = db.getNumberingDivider();
    outline.showCheckedItems = db.GetShowCheckedItems();
    outline.selectedIndex = db.GetSelectedIndex();
    outline.topIndex = db.GetTopIndex();
    outline.showHeadingsMode = db.GetShowHeadingsMode();
    zr_gen::WINDOWPLACEMENT window;
    db.GetOutlineWindowPos(window);
    outline.placement = {window.flags,
                         window.showCmd,
                         window.ptMinPosition.x,
                         window.ptMinPosition.y,
                         window.ptMaxPosition.x,
                         window.ptMaxPosition.y,
                         window.rcNormalPosition.left,
                         window.rcNormalPosition.top,
                         window.rcNormalPosition.right,
                         window.rcNormalPosition.bottom};
    // A document that never stored a font holds a zero height (reading it
    // as a font would be a caller's mistake).
    zr_gen::TStoredFontInfo stored;
    static_cast<zr_gen::CPrivateOutlineHeader*>(db.GetHeaderManager().GetHeaderPtr(zr_gen::CPrivateOutlineHeader::kId))
        ->GetStoredFontInfo(&stored);
    if (stored.height != 0) {
        LOGFONTW logFont{};
        Font font;
        db.GetOutlineFont(logFont, &font.color);
        font.height = logFont.lfHeight;
        font.width = logFont.lfWidth;
        font.escapement = logFont.lfEscapement;
        font.orientation = logFont.lfOrientation;
        font.weight = logFont.lfWeight;
        font.italic = logFont.lfItalic;
        font.underline = logFont.lfUnderline;
        font.strikeOut = logFont.lfStrikeOut;
        font.charSet = logFont.lfCharSet;
        font.outPrecision = logFont.lfOutPrecision;
        font.clipPrecision = logFont.lfClipPrecision;
        font.quality = logFont.lfQuality;
        font.pitchAndFamily = logFont.lfPitchAndFamily;
        font.face = Narrow(std::u16string_view(logFont.lfFaceName));
        outline.font = font;
    }
}

void WriteHeaderFields(COutlineDB& db, const Outline& outline) {
    db.SetOutlineTitle(Wide(outline.title).c_str());
    db.SetCategoryName(Wide(outline.category).c_str());
    for (uint32_t id : outline.deletedIds) db.AddDeletedId(id);
    db.SetPrivate(outline.isPrivate);
    db.SetSynchronized(outline.synchronized);
    db.SetOutlineChanged(outline.outlineChanged);
    db.GetSharedHeaderPtr()->SetPalmMatchName(Wide(outline.matchName).c_str());
    db.setNumbering(outline.numbering.data());
    db.setNumberingDivider(outline.numberingDivider);
    db.SetShowCheckedItems(outline.showCheckedItems);
    db.SetSelectedIndex(outline.selectedIndex);
    db.SetTopIndex(outline.topIndex);
    db.SetShowHeadingsMode(outline.showHeadingsMode);
    const Placement& p = outline.placement;
    zr_gen::WINDOWPLACEMENT window;
    window.length = COutlineDB::kWindowPlacementLength;
    window.flags = p.flags;
    window.showCmd = p.showCmd;
    window.ptMinPosition = {p.minX, p.minY};
    window.ptMaxPosition = {p.maxX, p.maxY};
    window.rcNormalPosition = {p.left, p.top, p.right, p.bottom};
    db.SetOutlineWindowPos(window);
    if (outline.font) {
        const Font& f = *outline.font;
        if (f.height == 0) throw std::runtime_error("a font of height 0");
        LOGFONTW logFont{f.height,       f.width,        f.escapement,    f.orientation, f.weight,
                         f.italic,       f.underline,    f.strikeOut,     f.charSet,     f.outPrecision,
                         f.clipPrecision, f.quality,     f.pitchAndFamily, {}};
        const std::u16string face = Wide(f.face);
        if (face.size() >= LF_FACESIZE) throw std::runtime_error("a font name longer than 31 characters");
        std::copy(face.begin(), face.end(), logFont.lfFaceName);
        db.SetOutlineFont(logFont, f.color);
    }
}

// The item's fields, read in the order (and so with the first error of a
// damaged item) they always were; `item`'s strings keep their room from one
// item to the next, and `text` is the conversion's scratch. The drawing is
// decoded only when it is wanted; its size is always read.
void ReadItem(COutlineRecord& record, bool withDrawing, zr_gen::_String& text, Item& item) {
    item.tags.clear();
    item.id = record.GetId();
    item.indent = record.GetIndent();
    item.expanded = record.GetExpanded();
    item.checked = record.GetChecked();
    // The drawing's tag comes before the texts' in the block: read in that
    // order, each lookup walks on from the one before.
    record.GetDrawingSize(item.drawingWidth, item.drawingHeight);
    item.drawing = withDrawing ? DrawingOf(record) : std::vector<uint8_t>();
    zr_gen::CTaggedDataManager& tags = record.getTaggedDataManager();
    item.text.clear();
    // An item whose text was deleted shows as empty.
    if (ReadStoredText(tags, COutlineRecord::kTextTag, text)) platform::AppendUtf8(item.text, text.Text());
    item.note.clear();
    if (ReadStoredText(tags, COutlineRecord::kNoteTag, text)) item.note = PlainNote(text.Text());
}

COutlineRecord& RecordAt(COutlineDB& db, uint32_t index) {
    if (index >= static_cast<uint32_t>(db.GetRecordset()->getSize())) {
        throw std::runtime_error("no item " + std::to_string(index) + " (the document has " +
                                 std::to_string(db.GetRecordset()->getSize()) + ")");
    }
    return *static_cast<COutlineRecord*>(db.getRecord(index));
}

// The plain values `db`'s objects hold.
Outline ReadFields(COutlineDB& db) {
    Outline outline;
    ReadHeaders(db, outline);
    zr_gen::_String text;
    for (int32_t i = 0; i < db.GetRecordset()->getSize(); ++i) {
        Item item;
        ReadItem(RecordAt(db, static_cast<uint32_t>(i)), true, text, item);
        outline.items.push_back(std::move(item));
    }
    return outline;
}

// Stores the plain values in `db`'s objects, as a new document holds them.
void Build(const Outline& outline, COutlineDB& db) {
    WriteHeaderFields(db, outline);
    uint32_t nextId = 1;
    for (const Item& item : outline.items) nextId = std::max(nextId, item.id + 1);
    std::u16string text;  // reused for every item
    std::u16string note;
    for (const Item& item : outline.items) {
        if (item.indent > 255) throw std::runtime_error("an item deeper than 255 levels");
        auto* record = static_cast<COutlineRecord*>(db.GetRecordset()->Append());
        record->SetId(item.id != 0 ? item.id : nextId++);
        record->SetIndent(static_cast<uint8_t>(item.indent));
        record->SetExpanded(item.expanded);  // fields in the order the block keeps them
        record->SetChecked(item.checked);
        platform::Utf8ToUtf16(item.text, text);
        record->SetText(text.c_str());
        StoredNote(item.note, note);
        record->SetNote(note.c_str());
        SetDrawingOf(*record, item.drawing);
        record->SetNew(true);
    }
}

// The plain values of `db` after its stored form was laid over them.
Outline ReadLaid(COutlineDB& db) {
    try {
        return Library([&] { return ReadFields(db); });
    } catch (const LibraryError& e) {
        throw std::runtime_error(std::string("the stored form leaves the document unreadable: ") + e.what());
    }
}

// What the forms carry of an item: not its stored form, nor the size of a
// drawing that does not read (the damaged block's own, which only the
// stored form carries).
Item Carried(Item item) {
    item.tags.clear();
    if (item.drawing.empty()) item.drawingWidth = item.drawingHeight = 0;
    return item;
}

Outline HeaderFieldsOf(Outline outline) {
    outline.items.clear();
    outline.headers.clear();
    return outline;
}

// Lays `outline`'s stored form over the plain values in `db`. The document
// must read as the plain values say (a stored form exported with them) or
// as they alone store it (one that changes only what they do not show);
// anything else contradicts them, or leaves the document unreadable, and is
// refused.
void LayStoredForm(const Outline& outline, COutlineDB& db) {
    const Outline built = Library([&] { return ReadFields(db); });
    Library([&] {
        RestoreHeaderTable(db, outline.headers);
        for (size_t i = 0; i < outline.items.size(); ++i) {
            Override(RecordAt(db, static_cast<uint32_t>(i)).getTaggedDataManager(), outline.items[i].tags,
                     "item " + std::to_string(i));
        }
    });
    const Outline laid = ReadLaid(db);
    for (size_t i = 0; i < laid.items.size(); ++i) {
        const Item read = Carried(laid.items[i]);
        if (read != Carried(outline.items[i]) && read != Carried(built.items[i])) {
            throw std::runtime_error("item " + std::to_string(i) + ": the stored form contradicts its fields");
        }
    }
    const Outline header = HeaderFieldsOf(laid);
    if (header != HeaderFieldsOf(outline) && header != HeaderFieldsOf(built)) {
        throw std::runtime_error("the headers' stored form contradicts the document's fields");
    }
}

// What `db`'s stored form holds beyond the plain values in `outline`.
void TakeStoredForm(COutlineDB& db, Outline& outline) {
    COutlineDB plain;
    Build(outline, plain);
    outline.headers = HeaderTable(db, plain);
    for (size_t i = 0; i < outline.items.size(); ++i) {
        const auto index = static_cast<uint32_t>(i);
        outline.items[i].tags = Overrides(RecordAt(db, index).getTaggedDataManager(),
                                          RecordAt(plain, index).getTaggedDataManager(), "item " + std::to_string(i));
    }
}

}  // namespace

std::vector<uint8_t> TakeBlock(MemHandle block) {
    const auto* bytes = static_cast<const uint8_t*>(MemGetPtr(block));
    std::vector<uint8_t> copy(bytes, bytes + MemGetSize(block));
    MemReleasePtr(block);
    MemFree(block);
    return copy;
}

MemHandle BlockOf(const std::vector<uint8_t>& bytes) {
    if (bytes.size() > UINT32_MAX) throw std::runtime_error("a block larger than 4 GiB");
    MemHandle block = MemAlloc(static_cast<uint32_t>(bytes.size()));
    if (block == nullptr) throw std::runtime_error("out of memory");
    std::memcpy(MemGetPtr(block), bytes.data(), bytes.size());
    MemReleasePtr(block);
    return block;
}

void ReadItems(const std::string& path, bool withDrawings, const std::function<void(const Outline&)>& headers,
               const std::function<void(Item&)>& visit) {
    Library([&] {
        ItemStream db;
        OpenHeaders(db, path, CFile::kModeRead | CFile::kShareRead);
        Outline read;
        Item item;
        zr_gen::_String text;
        db.ReadItems(
            [&] {
                ReadHeaders(db, read);
                headers(read);
            },
            [&](COutlineRecord& record) {
                ReadItem(record, withDrawings, text, item);
                visit(item);
            });
        db.Close();
    });
}

Outline Load(const std::string& path, Detail detail) {
    if (detail == Detail::kFields) {
        Outline outline;
        ReadItems(
            path, true, [&](const Outline& read) { outline = read; },
            [&](Item& item) { outline.items.push_back(std::move(item)); });
        return outline;
    }
    // The stored form is what the rows hold beyond their fields: the whole
    // document is read.
    return Library([&] {
        COutlineDB db;
        Open(db, path, CFile::kModeRead | CFile::kShareRead);
        Outline outline = ReadFields(db);
        TakeStoredForm(db, outline);
        db.Close();
        return outline;
    });
}

void Compose(const Outline& outline, COutlineDB& db) {
    CheckStoredForm(outline);
    Library([&] { Build(outline, db); });
    const bool stored = !outline.headers.empty() || std::any_of(outline.items.begin(), outline.items.end(),
                                                                [](const Item& item) { return !item.tags.empty(); });
    if (stored) LayStoredForm(outline, db);
    Library([&] { db.InitNewDatabase(); });  // links the headers to the table, checking its slot sizes
}

void Save(const Outline& outline, const std::string& path) {
    Library([&] {
        COutlineDB db;
        Compose(outline, db);
        ReplaceFile(path, [&](const std::string& temp) {
            // The sibling takes the document's place only by the rename, once
            // it is complete and on disk: it is written straight, without a
            // journal of its own, which could only restore an unused file.
            CFile file;
            if (file.Open(Wide(temp).c_str(), CFile::kModeReadWrite) != 1) {
                throw std::runtime_error("cannot open " + temp);
            }
            db.Attach(&file);
            struct Attached {
                COutlineDB& db;
                ~Attached() { db.Detach(); }
            } attached{db};
            db.WriteAllHeaders();
            db.WriteRows();
        });
    });
}

void SaveBmp(const std::vector<uint8_t>& dib, const std::string& path) {
    Library([&] {
        MemHandle block = BlockOf(dib);
        CDib picture;
        try {
            picture.ReplaceHDIB(block);
        } catch (...) {
            MemFree(block);
            throw;
        }
        MemFree(block);
        if (picture.SaveDIBFile(Wide(path).c_str()) != 1) throw std::runtime_error("cannot write " + path);
    });
}

void AttachDrawing(const std::string& path, uint32_t index, const std::vector<uint8_t>& dib) {
    Library([&] {
        // The edit happens on a copy, so that the document is whole at every
        // moment: the old one until the rename, the new one after it.
        ReplaceFile(path, [&](const std::string& temp) {
            std::filesystem::copy_file(path, temp, std::filesystem::copy_options::overwrite_existing);
            COutlineDB db;
            Open(db, temp, CFile::kModeReadWrite | CFile::kShareNone);
            SetDrawingOf(RecordAt(db, index), dib);
            db.WriteRows();
            db.Close();
        });
    });
}

}  // namespace zro
