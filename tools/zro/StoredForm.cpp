#include "tools/zro/StoredForm.h"

#include <set>
#include <stdexcept>

#include "notestore/engine/HeaderManager.h"
#include "notestore/engine/TagWalk.h"
#include "tools/zro/LibraryCall.h"

namespace zro {

namespace {

using zr_gen::CTaggedDataManager;
using zr_gen::StoredTag;

std::vector<StoredTag> TagsOf(const CTaggedDataManager& block, const std::string& what) {
    std::vector<StoredTag> tags;
    if (zr_gen::WalkTags(block, tags) != CTaggedDataManager::kNoError) {
        throw std::runtime_error(what + ": its stored tags cannot be told apart (the block is damaged)");
    }
    return tags;
}

TagOverride Whole(const StoredTag& tag) { return {tag.id, false, tag.version, tag.flags, tag.data}; }

void CheckTags(const std::vector<TagOverride>& tags, const std::string& what) {
    uint32_t previous = 0;
    for (const TagOverride& tag : tags) {
        if (tag.id <= previous) {
            throw std::runtime_error(
                what + ": tag " + std::to_string(tag.id) +
                (tag.id == 0 ? " is no tag id" : " does not follow tag " + std::to_string(previous)));
        }
        if (tag.absent && tag.data) {
            throw std::runtime_error(what + ": tag " + std::to_string(tag.id) + " is absent and has bytes");
        }
        previous = tag.id;
    }
}

std::string HeaderName(uint16_t id) { return "header " + std::to_string(id); }

bool Keeps(zr_gen::COutlineDB& db, uint16_t id) { return db.GetHeaderManager().GetHeaderPtr(id) != nullptr; }

}  // namespace

void CheckStoredForm(const Outline& outline) {
    zr_gen::COutlineDB library = Library([] { return zr_gen::COutlineDB(); });
    std::set<uint16_t> seen;
    uint64_t slots = 0;
    for (const HeaderSlot& slot : outline.headers) {
        const std::string what = HeaderName(slot.id);
        if (!seen.insert(slot.id).second) throw std::runtime_error(what + " is listed twice");
        const bool kept = Keeps(library, slot.id);
        if (kept && slot.bytes) {
            throw std::runtime_error(what + " is the library's own: it is stored from its fields, not as bytes");
        }
        if (!kept && !slot.bytes) throw std::runtime_error(what + " is not the library's: its slot's bytes are needed");
        if (slot.bytes && slot.bytes->size() != slot.size) {
            throw std::runtime_error(what + ": " + std::to_string(slot.bytes->size()) + " bytes for a slot of " +
                                     std::to_string(slot.size));
        }
        if (slot.bytes && !slot.tags.empty()) throw std::runtime_error(what + ": tags for a slot given as bytes");
        if (kept && slot.size > kMaxKnownSlot) {
            throw std::runtime_error(what + ": a slot of " + std::to_string(slot.size) + " bytes (at most " +
                                     std::to_string(kMaxKnownSlot) + ")");
        }
        slots += slot.size;
        if (slots > kMaxSlots) throw std::runtime_error("the header slots are larger than 1 GiB together");
        CheckTags(slot.tags, what);
    }
    for (size_t i = 0; i < outline.items.size(); ++i) {
        // Most items carry no stored form: their name is not even made.
        if (!outline.items[i].tags.empty()) CheckTags(outline.items[i].tags, "item " + std::to_string(i));
    }
}

std::vector<TagOverride> Overrides(const CTaggedDataManager& stored, const CTaggedDataManager& plain,
                                   const std::string& what) {
    const std::vector<StoredTag> have = TagsOf(stored, what);
    const std::vector<StoredTag> made = TagsOf(plain, what);
    std::vector<TagOverride> overrides;
    auto h = have.begin();
    auto m = made.begin();
    while (h != have.end() || m != made.end()) {
        if (m == made.end() || (h != have.end() && h->id < m->id)) {
            overrides.push_back(Whole(*h++));
        } else if (h == have.end() || m->id < h->id) {
            overrides.push_back({m++->id, true, 0, 0, std::nullopt});
        } else {
            if (h->data != m->data) {
                overrides.push_back(Whole(*h));
            } else if (h->version != m->version || h->flags != m->flags) {
                overrides.push_back({h->id, false, h->version, h->flags, std::nullopt});
            }
            ++h;
            ++m;
        }
    }
    return overrides;
}

void Override(CTaggedDataManager& block, const std::vector<TagOverride>& overrides, const std::string& what) {
    if (overrides.empty()) return;
    const std::vector<StoredTag> made = TagsOf(block, what);
    // Both lists ascend: one merge, whatever their lengths.
    std::vector<StoredTag> tags;
    auto m = made.begin();
    for (const TagOverride& tag : overrides) {
        while (m != made.end() && m->id < tag.id) tags.push_back(*m++);
        const auto same = m != made.end() && m->id == tag.id ? m++ : made.end();
        if (tag.absent) continue;
        if (!tag.data && same == made.end()) {
            throw std::runtime_error(what + ": tag " + std::to_string(tag.id) +
                                     " has a version and flags, but the fields make no such tag");
        }
        tags.push_back({tag.id, tag.version, tag.flags, tag.data ? *tag.data : same->data});
    }
    tags.insert(tags.end(), m, made.end());
    if (zr_gen::StoreTags(block, tags) != CTaggedDataManager::kNoError) {
        throw std::runtime_error(what + ": its tags cannot be stored");
    }
}

std::vector<HeaderSlot> HeaderTable(zr_gen::COutlineDB& stored, zr_gen::COutlineDB& plain) {
    const auto& recorded = stored.GetHeaderManager().recorded();
    const auto& made = plain.GetHeaderManager().registered();
    bool asMade = recorded.size() == made.size();
    std::vector<HeaderSlot> table;
    for (size_t i = 0; i < recorded.size(); ++i) {
        const zr_gen::THeaderInfo& entry = recorded[i];
        HeaderSlot& slot = table.emplace_back(HeaderSlot{entry.record.id, entry.record.size, std::nullopt, {}});
        if (entry.header == nullptr) {
            slot.bytes = entry.foreignBytes;
        } else {
            const zr_gen::CTaggedDataHeader* fresh = plain.GetHeaderManager().GetHeaderPtr(slot.id);
            slot.tags =
                Overrides(entry.header->getTaggedDataManager(), fresh->getTaggedDataManager(), HeaderName(slot.id));
        }
        asMade = asMade && !slot.bytes && slot.tags.empty() && made[i].record.id == slot.id &&
                 made[i].record.size == slot.size;
    }
    if (asMade) table.clear();
    return table;
}

void RestoreHeaderTable(zr_gen::COutlineDB& db, const std::vector<HeaderSlot>& table) {
    zr_gen::CHeaderManager& headers = db.GetHeaderManager();
    for (const HeaderSlot& slot : table) {
        if (slot.bytes) {
            if (!headers.AddForeignHeader({slot.id, slot.size}, *slot.bytes)) {
                throw std::runtime_error(HeaderName(slot.id) + " cannot be added");
            }
            continue;
        }
        headers.AddHeader({slot.id, slot.size});
        Override(headers.GetHeaderPtr(slot.id)->getTaggedDataManager(), slot.tags, HeaderName(slot.id));
    }
}

}  // namespace zro
