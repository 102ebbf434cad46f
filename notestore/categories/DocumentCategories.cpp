#include "notestore/categories/DocumentCategories.h"

#include "notestore/categories/CategoryDB.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/File.h"
#include "notestore/foundation/FileFind.h"
#include "notestore/foundation/zr_assert.h"
#include "notestore/outline/OutlineDB.h"

namespace zr_gen {

bool updateFileCategory(const char16_t* path, bool force, const char16_t* oldName, const char16_t* newName) {
    try {
        COutlineDB db;
        // A document that does not open is not processed.
        if (db.Open(path, CFile::kModeReadWrite) != 1 || !db.ReadSharedHeader()) return false;
        if (!force) {
            _String current;
            db.GetCategoryName(current);
            // The old name cut as a stored name is, as the category database
            // and the document keep it.
            if (current.Text() != CutText(oldName != nullptr ? oldName : u"", CCategoryRecord::kMaxNameLength)) {
                db.Close();
                return true;
            }
        }
        CSharedHeader* header = db.GetSharedHeaderPtr();
        header->SetCategoryName(newName);
        header->SetCategoryChanged(true);
        db.SetOutlineChanged(true);
        db.WriteSharedHeader();
        db.Close();
        return true;
    } catch (CException* e) {
        LogAndDeleteException(e, ZR_FILE, __LINE__);
    } catch (...) {
        ZR_Trace(u"Unknown exception in file %s line %d", ZR_FILE, __LINE__);
    }
    return false;
}

void updateCategory(const char16_t* directory, const char16_t* extension, const char16_t* oldName,
                    const char16_t* newName) {
    ZR_ASSERT(directory != nullptr);
    ZR_ASSERT(extension != nullptr);
    ZR_ASSERT(oldName != nullptr);
    if (directory == nullptr || extension == nullptr || oldName == nullptr) return;
    if (newName == nullptr) newName = CCategoryDB::getUnfiledCategoryName();
    // Joined, not formatted: the formatter cuts at 1,023 characters, and a
    // cut pattern would find none of a deep folder's documents.
    _String pattern(directory);
    if (pattern.empty() || pattern.back() != u'\\') pattern += u'\\';
    pattern += u"*.";
    pattern += extension;
    CFileFind find;
    for (int32_t more = find.FindFile(pattern.c_str()); more != 0;) {
        more = find.FindNextFileW();
        updateFileCategory(find.GetFilePath().c_str(), false, oldName, newName);
    }
}

}  // namespace zr_gen
