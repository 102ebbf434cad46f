// Property: any text either is refused with a TextError naming a line, or
// reads into an outline that prints back to a text reading into the same
// outline (what `zro import` stores, `zro show` gives back).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tools/zro/JsonForm.h"
#include "tools/zro/OutlineText.h"

namespace {

bool Same(const zro::Outline& a, const zro::Outline& b) {
    if (a.title != b.title || a.category != b.category || a.items.size() != b.items.size()) return false;
    for (size_t i = 0; i < a.items.size(); ++i) {
        const zro::Item& x = a.items[i];
        const zro::Item& y = b.items[i];
        if (x.indent != y.indent || x.checked != y.checked || x.expanded != y.expanded || x.text != y.text ||
            x.note != y.note) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    zro::Outline outline;
    try {
        outline = zro::FromText(text);
    } catch (const zro::TextError& e) {
        if (e.line == 0) std::abort();
        return 0;
    }
    const zro::Outline again = zro::FromText(zro::ToText(outline));
    if (!Same(outline, again)) std::abort();
    zro::ToJson(outline);
    return 0;
}
