#include "tools/zro/Outline.h"

#include <algorithm>
#include <stdexcept>

#include "notestore/drawings/Dib.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/File.h"
#include "notestore/outline/OutlineDB.h"
#include "platform/Strings.h"

namespace zro {

namespace {

using zr_gen::COutlineDB;
using zr_gen::COutlineRecord;
using zr_gen::CFile;

std::string Utf8(const zr_gen::_String& text) { return platform::Utf16ToUtf8(text.Text()); }
std::u16string Utf16(const std::string& text) { return platform::Utf8ToUtf16(text); }

// Notes on the device break lines with "\r\n"; the tool's values use "\n".
std::string FromStoredLines(std::string text) {
    std::erase(text, '\r');
    return text;
}

std::string ToStoredLines(const std::string& text) {
    std::string stored;
    for (char c : text) {
        if (c == '\n') stored += '\r';
        stored += c;
    }
    return stored;
}

// Runs library code, turning its exceptions into std::runtime_error.
template <class Body>
auto Library(Body&& body) {
    try {
        return body();
    } catch (zr_gen::CException* e) {
        const std::string message = platform::Utf16ToUtf8(zr_gen::DescriptionOf(e));
        zr_gen::DeleteException(e);
        throw std::runtime_error(message);
    }
}

void Open(COutlineDB& db, const std::string& path) {
    if (db.Open(Utf16(path).c_str(), CFile::kModeRead | CFile::kShareRead) != 1) {
        throw std::runtime_error("cannot open " + path + " as an outline document");
    }
    db.ReadSharedHeader();
    db.ReadPrivateHeader();
    db.ReadRows();
}

}  // namespace

Outline Load(const std::string& path) {
    return Library([&] {
        COutlineDB db;
        Open(db, path);
        Outline outline;
        zr_gen::_String text;
        db.GetOutlineTitle(text);
        outline.title = Utf8(text);
        db.GetCategoryName(text);
        outline.category = Utf8(text);
        outline.deletedIds = db.GetDeletedIds().Ids();
        for (int32_t i = 0; i < db.GetRecordset()->getSize(); ++i) {
            auto* record = static_cast<COutlineRecord*>(db.getRecord(static_cast<uint32_t>(i)));
            Item item;
            item.id = record->GetId();
            item.indent = record->GetIndent();
            item.checked = record->GetChecked();
            item.expanded = record->GetExpanded();
            bool hasText = false;
            record->getTaggedDataManager().hasStringTag(COutlineRecord::kTextTag, &hasText);
            if (hasText) {  // an item whose text was deleted shows as empty
                record->GetText(text);
                item.text = Utf8(text);
            }
            if (record->HasNote()) {
                record->GetNote(text);
                item.note = FromStoredLines(Utf8(text));
            }
            record->GetDrawingSize(item.drawingWidth, item.drawingHeight);
            outline.items.push_back(std::move(item));
        }
        db.Close();
        return outline;
    });
}

void Save(const Outline& outline, const std::string& path) {
    Library([&] {
        COutlineDB db;
        db.SetOutlineTitle(Utf16(outline.title).c_str());
        if (!outline.category.empty()) db.SetCategoryName(Utf16(outline.category).c_str());
        for (uint32_t id : outline.deletedIds) db.AddDeletedId(id);
        uint32_t nextId = 1;
        for (const Item& item : outline.items) nextId = std::max(nextId, item.id + 1);
        for (const Item& item : outline.items) {
            auto* record = static_cast<COutlineRecord*>(db.GetRecordset()->Append());
            record->SetId(item.id != 0 ? item.id : nextId++);
            record->SetIndent(static_cast<uint8_t>(item.indent));
            record->SetChecked(item.checked);
            record->SetExpanded(item.expanded);
            record->SetText(Utf16(item.text).c_str());
            record->SetNote(Utf16(ToStoredLines(item.note)).c_str());
            record->SetNew(true);
        }
        if (db.Open(Utf16(path).c_str(), CFile::kCreate | CFile::kModeReadWrite) != 1) {
            throw std::runtime_error("cannot create " + path);
        }
        db.InitNewDatabase();
        db.WriteAllHeaders();
        db.WriteRows();
        db.Close();
    });
}

bool SaveDrawing(const std::string& path, uint32_t index, const std::string& bmpPath) {
    return Library([&] {
        COutlineDB db;
        Open(db, path);
        auto* record = static_cast<COutlineRecord*>(db.getRecord(index));
        if (record == nullptr) throw std::runtime_error("no item " + std::to_string(index));
        MemHandle dib = record->GetDrawing();
        if (dib == nullptr) return false;
        CDib picture;
        picture.ReplaceHDIB(dib);
        MemFree(dib);
        if (picture.SaveDIBFile(Utf16(bmpPath).c_str()) != 1) throw std::runtime_error("cannot write " + bmpPath);
        return true;
    });
}

}  // namespace zro
