// Property: any UTF-16 text (the input's bytes as little-endian units, a
// zero unit ending one text and starting the next) set as an item's text and
// note, the document's title and category name comes back equal after the
// document is written and read again: the item texts whole, the header texts
// cut to their limits without parting a surrogate pair.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "notestore/categories/CategoryRecord.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/File.h"
#include "notestore/outline/OutlineDB.h"
#include "notestore/outline/PrivateOutlineHeader.h"

namespace {

using zr_gen::_String;
using zr_gen::COutlineDB;
using zr_gen::COutlineRecord;

std::vector<std::u16string> Texts(const uint8_t* data, size_t size) {
    std::vector<std::u16string> texts(1);
    for (size_t i = 0; i + 1 < size; i += 2) {
        const auto unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (unit == 0) {
            texts.emplace_back();
        } else {
            texts.back() += unit;
        }
    }
    return texts;
}

void Expect(bool condition) {
    if (!condition) std::abort();
}

std::u16string Str(const _String& text) { return std::u16string(text.Text()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::u16string> texts = Texts(data, size);
    const std::u16string& title = texts.front();
    zr_gen::MemFile file;
    try {
        COutlineDB written;
        written.SetOutlineTitle(title.c_str());
        written.SetCategoryName(texts.back().c_str());
        for (const std::u16string& text : texts) {
            auto* item = static_cast<COutlineRecord*>(written.GetRecordset()->Append());
            item->SetText(text.c_str());
            item->SetNote((text + u"\r\n" + title).c_str());
        }
        written.Attach(&file);
        written.InitNewDatabase();
        written.WriteAllHeaders();
        written.WriteRows();
        written.Detach();

        COutlineDB read;
        read.Attach(&file);
        read.ReadDbInfo();
        read.ReadHeaderInfo();
        read.ReadSharedHeader();
        read.ReadPrivateHeader();
        read.ReadRows();
        _String text;
        read.GetOutlineTitle(text);
        Expect(Str(text) == zr_gen::CutText(title, zr_gen::CPrivateOutlineHeader::kMaxTitleLength));
        read.GetCategoryName(text);
        Expect(Str(text) == zr_gen::CutText(texts.back(), zr_gen::CCategoryRecord::kMaxNameLength));
        Expect(read.GetRecordset()->getSize() == static_cast<int32_t>(texts.size()));
        for (size_t i = 0; i < texts.size(); ++i) {
            auto* item = static_cast<COutlineRecord*>(read.getRecord(static_cast<uint32_t>(i)));
            item->GetText(text);
            Expect(Str(text) == texts[i]);
            item->GetNote(text);
            Expect(Str(text) == texts[i] + u"\r\n" + title);
        }
        read.Detach();
    } catch (zr_gen::CException* e) {
        // Nothing here may fail: every text fits wherever it is stored.
        zr_gen::DeleteException(e);
        std::abort();
    }
    return 0;
}
