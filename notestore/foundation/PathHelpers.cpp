#include "notestore/foundation/PathHelpers.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

#include "notestore/foundation/FileFind.h"
#include "notestore/foundation/PathSplit.h"
#include "notestore/foundation/zr_assert.h"
#include "platform/Memory.h"
#include "platform/Strings.h"

namespace zr_gen {

namespace {

struct Parts {
    _String drive, dir, title, ext;
};

Parts Split(const char16_t* path) {
    Parts parts;
    SplitPath(path, &parts.drive, &parts.dir, &parts.title, &parts.ext);
    return parts;
}

// Copies `text` cut to `room` - 1 characters (CutText) and terminated.
void CopyCut(std::u16string_view text, char16_t* into, uint32_t room) {
    const std::u16string_view cut = CutText(text, room - 1);
    into[cut.copy(into, cut.size())] = u'\0';
}

_String Join(const Parts& parts, std::u16string_view title) {
    _String path = parts.drive;
    path += parts.dir;
    path += std::u16string(title);
    path += parts.ext;
    return path;
}

char16_t Folded(char16_t c) { return c < 0x80 ? static_cast<char16_t>(std::tolower(c)) : c; }

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return Folded(x) == Folded(y); });
}

// The title to number: without a "-digits" numbering of its own.
std::u16string NumberingBase(std::u16string_view title) {
    size_t end = title.size();
    while (end > 0 && title[end - 1] >= u'0' && title[end - 1] <= u'9') --end;
    if (end < title.size() && end > 0 && title[end - 1] == u'-') return std::u16string(title.substr(0, end - 1));
    return std::u16string(title);
}

_String Numbered(const Parts& parts, const std::u16string& base, uint32_t n) {
    std::u16string suffix(1, u'-');
    suffix.append(platform::Utf8ToUtf16(std::to_string(n)));
    const size_t room = kMaxFileTitle > suffix.size() ? kMaxFileTitle - suffix.size() : 0;
    std::u16string title(CutText(base, room));
    title.append(suffix);
    return Join(parts, title);
}

}  // namespace

void _tsplitpath(const char16_t* path, char16_t* drive, char16_t* dir, char16_t* fname, char16_t* ext) {
    const Parts parts = Split(path);
    if (drive != nullptr) CopyCut(parts.drive, drive, kMaxDrive);
    if (dir != nullptr) CopyCut(parts.dir, dir, kMaxDir);
    if (fname != nullptr) CopyCut(parts.title, fname, kMaxFileName);
    if (ext != nullptr) CopyCut(parts.ext, ext, kMaxExt);
}

char16_t* _tfullpath(char16_t* buffer, const char16_t* path, uint32_t size) {
    ZR_ASSERT(path != nullptr);
    const std::u16string_view text(path != nullptr ? path : u"");
    if (size == 0 || text.size() >= size) return nullptr;
    if (buffer == nullptr) {
        buffer = static_cast<char16_t*>(platform::AllocateBytes(size_t{size} * sizeof(char16_t)));
        if (buffer == nullptr) return nullptr;
        std::fill(buffer, buffer + size, u'\0');
    }
    CopyCut(text, buffer, size);
    return buffer;
}

int32_t FullPath(char16_t* buffer, const char16_t* path) {
    ZR_ASSERT(buffer != nullptr && path != nullptr);
    if (buffer != nullptr) CopyCut(path != nullptr ? path : u"", buffer, kPathBuffer);
    return 1;
}

void GetRoot(const char16_t* path, char16_t* buffer) {
    ZR_ASSERT(path != nullptr && buffer != nullptr);
    if (buffer == nullptr) return;
    char16_t copy[kPathBuffer];
    CopyCut(path != nullptr ? path : u"", copy, kPathBuffer);
    const std::u16string_view text(copy);
    size_t end = 0;
    const bool network = text.size() >= 2 && IsPathSeparator(text[0]) && IsPathSeparator(text[1]);
    if (network) {
        // \\server\share\: the separator after the share name.
        size_t separators = 0;
        for (end = 2; end < text.size() && separators < 2; ++end) {
            if (IsPathSeparator(text[end])) ++separators;
        }
    } else {
        const size_t first = text.find_first_of(u"\\/");
        end = first == std::u16string_view::npos ? 0 : first + 1;
    }
    CopyCut(text.substr(0, end), buffer, kPathBuffer);
}

int32_t IsFileExist(const char16_t* path) {
    CFileFind find;
    return find.FindFile(path) != 0 ? 1 : 0;
}

bool ValidateFilePath(const char16_t* path) {
    const Parts parts = Split(path);
    return !parts.dir.empty() && !parts.title.empty() && !parts.ext.empty();
}

bool ValidateFileTitle(_String& title) {
    title.TrimLeft();
    title.TrimRight();
    std::erase_if(title,
                  [](char16_t c) { return std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos; });
    title = std::u16string(CutText(title.Text(), kMaxFileTitle));
    if (title.empty()) title = _String(u"Unfilled");
    return true;
}

namespace {

_String CheckedPart(const char16_t* path, _String Parts::*part) {
    ZR_ASSERT(ValidateFilePath(path));
    return Split(path).*part;
}

}  // namespace

_String GetFileDrive(const char16_t* path) { return CheckedPart(path, &Parts::drive); }
_String GetFileDir(const char16_t* path) { return CheckedPart(path, &Parts::dir); }
_String GetFileTitle(const char16_t* path) { return CheckedPart(path, &Parts::title); }
_String GetFileExt(const char16_t* path) { return CheckedPart(path, &Parts::ext); }

_String GetNextValidNumberedName(const char16_t* path, const char16_t* accepted) {
    ZR_ASSERT(path != nullptr);
    const Parts parts = Split(path);
    const std::u16string base = NumberingBase(parts.title);
    const std::u16string_view wanted(accepted != nullptr ? accepted : u"");
    for (uint32_t n = 1;; ++n) {
        _String candidate = Numbered(parts, base, n);
        if ((accepted != nullptr && std::u16string_view(candidate) == wanted) || !IsFileExist(candidate.c_str())) {
            ZR_ASSERT(ValidateFilePath(candidate.c_str()));
            return candidate;
        }
    }
}

_String GetValidFileName(const char16_t* path, const char16_t* secondFolder, const char16_t* accepted) {
    ZR_ASSERT(ValidateFilePath(path));
    Parts parts = Split(path);
    parts.title = std::u16string(CutText(parts.title.Text(), kMaxFileTitle));
    const std::u16string base = NumberingBase(parts.title);
    const auto isFree = [&](const _String& candidate) {
        if (accepted != nullptr && SameIgnoringCase(candidate, accepted)) return true;
        if (IsFileExist(candidate.c_str())) return false;
        if (secondFolder == nullptr) return true;
        Parts twin = Split(candidate.c_str());
        twin.dir = _String(secondFolder);
        AppendSeparator(twin.dir);
        return IsFileExist(Join(twin, twin.title).c_str()) == 0;
    };
    _String candidate = Join(parts, parts.title);
    for (uint32_t n = 1; !isFree(candidate); ++n) candidate = Numbered(parts, base, n);
    return candidate;
}

}  // namespace zr_gen
