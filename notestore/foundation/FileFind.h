// Walking the entries of a folder that match a pattern ("*" and "?" in its
// last component):
//
//   CFileFind find;
//   for (int32_t more = find.FindFile(u"\\Notes\\*.zro"); more;) {
//       more = find.FindNextFileW();
//       ... find.GetFilePath() ...
//   }
//
// FindFile reads the first entry ahead; each FindNextFileW makes the entry
// read ahead the current one and reads the following one, returning whether
// there is one.
#pragma once

#include <cstdint>

#include "notestore/foundation/Export.h"
#include "notestore/foundation/String.h"
#include "platform/Files.h"

namespace zr_gen {

class ZR_EXPORT CFileFind {
public:
    CFileFind() = default;
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;
    virtual ~CFileFind();

    // The current entry's name, title (without extension) and full path
    // (the root, a separator unless the root ends in one, the name); empty
    // without a current entry. Each asserts that a search is open.
    virtual _String GetFileName();
    virtual _String GetFilePath();
    virtual _String GetFileTitle();
    // The pattern's folder: the text before its last separator, or the whole
    // pattern when it has none.
    virtual _String GetRoot();
    // Copy the entry's time into `time`: 1, or 0 without an entry or target.
    virtual int32_t GetLastWriteTime(FILETIME* time) const;
    virtual int32_t GetLastAccessTime(FILETIME* time) const;
    virtual int32_t GetCreationTime(FILETIME* time) const;
    // Non-zero when the entry has any attribute bit of `mask`.
    virtual int32_t MatchesMask(uint32_t mask) const;
    // A directory named "." or "..".
    virtual int32_t IsDots() const;
    // Starts a search (a null pattern is "*.*"; `flags` are not used): 1
    // when an entry matches; else 0, with the platform's error kept as the
    // last error.
    virtual int32_t FindFile(const char16_t* pattern = nullptr, uint32_t flags = 0);
    // See above; asserts that a search is open (0 without one).
    virtual int32_t FindNextFileW();

    void Close();
    // The low 32 bits of the entry's size; 0 without an entry.
    uint32_t GetLength() const;
    int32_t IsReadOnly() const { return MatchesMask(FILE_ATTRIBUTE_READONLY); }
    int32_t IsHidden() const { return MatchesMask(FILE_ATTRIBUTE_HIDDEN); }
    int32_t IsSystem() const { return MatchesMask(0x0004); }
    int32_t IsDirectory() const { return MatchesMask(FILE_ATTRIBUTE_DIRECTORY); }
    int32_t IsArchived() const { return MatchesMask(FILE_ATTRIBUTE_ARCHIVE); }
    int32_t IsNormal() const { return MatchesMask(FILE_ATTRIBUTE_NORMAL); }
    int32_t IsTemporary() const { return MatchesMask(0x0100); }
    int32_t IsCompressed() const { return MatchesMask(0x0800); }

protected:
    virtual void CloseContext();

private:
    int32_t CopyTime(FILETIME WIN32_FIND_DATAW::*field, FILETIME* time) const;

    WIN32_FIND_DATAW* found_ = nullptr;
    WIN32_FIND_DATAW* next_ = nullptr;
    HANDLE search_ = nullptr;
    _String root_;
    char16_t separator_ = u'\\';
};

}  // namespace zr_gen
