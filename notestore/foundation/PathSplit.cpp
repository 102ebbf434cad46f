#include "notestore/foundation/PathSplit.h"

#include <string_view>

namespace zr_gen {

namespace {

void Store(_String* part, std::u16string_view text) {
    if (part != nullptr) part->assign(text);
}

}  // namespace

void SplitPath(const char16_t* path, _String* drive, _String* dir, _String* fname, _String* ext) {
    const std::u16string_view whole = path != nullptr ? std::u16string_view(path) : std::u16string_view();
    const size_t separator = whole.find_last_of(u"\\/");
    const size_t nameStart = separator == std::u16string_view::npos ? 0 : separator + 1;
    const std::u16string_view name = whole.substr(nameStart);
    const size_t dot = name.rfind(u'.');
    const size_t extStart = dot == std::u16string_view::npos ? name.size() : dot;

    Store(drive, {});
    Store(dir, whole.substr(0, nameStart));
    Store(fname, name.substr(0, extStart));
    Store(ext, name.substr(extStart));
}

}  // namespace zr_gen
