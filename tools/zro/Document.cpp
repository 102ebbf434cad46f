#include "tools/zro/Document.h"

#include <algorithm>
#include <vector>

#include "notestore/foundation/File.h"
#include "tools/zro/Inspection.h"
#include "tools/zro/LibraryCall.h"

namespace zro {

namespace {

using zr_gen::CFile;
using zr_gen::COutlineRecord;

uint32_t NextFreeId(Document& document) {
    uint32_t largest = 0;
    for (uint32_t i = 0; i < document.Count(); ++i) largest = std::max(largest, document.Item(i).GetId());
    for (uint32_t id : document.Db().GetDeletedIds().Ids()) largest = std::max(largest, id);
    if (largest == UINT32_MAX) throw Failure(document.Path() + ": no item id is left", kExitProblem);
    return largest + 1;
}

// An item may hang at most one level below the item before it; the first
// item stands at level 0.
void RequireLevelFits(Document& document, uint32_t index, uint32_t level) {
    const uint32_t deepest = index == 0 ? 0 : document.Item(index - 1).GetIndent() + 1u;
    if (level > deepest) {
        throw Failure(document.Path() + ": item " + std::to_string(index) + " cannot stand at level " +
                          std::to_string(level) + " (at most " + std::to_string(deepest) + " there)",
                      kExitUsage);
    }
}

// Changes `record` through `edit`, then gives it the changed bits and flag
// a comparison with its earlier state says it has.
template <class Edit>
void Changing(COutlineRecord& record, Edit&& edit) {
    COutlineRecord previous;
    previous = record;
    edit(record);
    record.UpdateChangedFields(&previous);
    record.updateRecordChanged();
}

}  // namespace

Document::Document(std::string path, Access access) : path_(std::move(path)) {
    const uint32_t mode = access == Access::kEdit ? CFile::kModeReadWrite | CFile::kShareRead
                                                  : CFile::kModeRead | CFile::kShareRead;
    CallLibrary(path_, kExitUsage, [&] {
        if (db_.Open(Wide(path_).c_str(), mode) != 1) throw Failure(path_ + ": " + Diagnosis(path_), kExitUsage);
    });
    try {
        CallLibrary(path_, kExitUsage, [&] {
            db_.ReadConduitHeader();
            db_.ReadSharedHeader();
            db_.ReadPrivateHeader();
            db_.ReadRows();
        });
    } catch (const Failure& failure) {
        db_.Close();  // the diagnosis opens the file again, for reading
        throw Failure(std::string(failure.what()) + "; " + Diagnosis(path_) + " (zro check says more)", kExitUsage);
    }
}

uint32_t Document::Count() const { return static_cast<uint32_t>(db_.GetRecordset()->getSize()); }

COutlineRecord& Document::Item(uint32_t index) const {
    auto* record = static_cast<COutlineRecord*>(db_.getRecord(index));
    if (record == nullptr) {
        throw Failure(path_ + ": no item " + std::to_string(index) + " (it has " + std::to_string(Count()) + ")",
                      kExitUsage);
    }
    return *record;
}

uint32_t Document::SubtreeEnd(uint32_t index) const {
    const uint32_t level = Item(index).GetIndent();
    uint32_t end = index + 1;
    while (end < Count() && Item(end).GetIndent() > level) ++end;
    return end;
}

void Document::Save() {
    CallLibrary(path_, kExitProblem, [&] {
        db_.SetOutlineChanged(true);
        db_.WriteAllHeaders();
        db_.WriteRows();
        db_.Close();
    });
}

uint32_t AddItem(Document& document, const NewItem& item, std::optional<uint32_t> at) {
    const uint32_t index = at.value_or(document.Count());
    if (index > document.Count()) document.Item(index);  // names the missing item
    if (item.level > 255) {
        throw Failure(document.Path() + ": level " + std::to_string(item.level) + " is deeper than 255", kExitUsage);
    }
    RequireLevelFits(document, index, item.level);
    if (index < document.Count() && document.Item(index).GetIndent() > item.level + 1) {
        throw Failure(document.Path() + ": an item at level " + std::to_string(item.level) + " before item " +
                          std::to_string(index) + " would leave that one without its parent",
                      kExitUsage);
    }
    const uint32_t id = NextFreeId(document);
    CallLibrary(document.Path(), kExitProblem, [&] {
        auto* recordset = document.Db().GetRecordset();
        auto* record = static_cast<COutlineRecord*>(index == document.Count()
                                                        ? recordset->Append()
                                                        : recordset->InsertBefore(&document.Item(index)));
        record->SetId(id);
        record->SetIndent(static_cast<uint8_t>(item.level));
        record->SetText(Wide(item.text).c_str());
        record->SetNote(StoredNote(item.note).c_str());
        record->SetChecked(item.checked);
        record->SetNew(true);
    });
    return index;
}

void ChangeItem(Document& document, uint32_t index, const ItemChange& change) {
    COutlineRecord& record = document.Item(index);
    CallLibrary(document.Path(), kExitProblem, [&] {
        Changing(record, [&](COutlineRecord& item) {
            if (change.checked) item.SetChecked(*change.checked);
            if (change.expanded) item.SetExpanded(*change.expanded);
            if (change.text) item.SetText(Wide(*change.text).c_str());
            if (change.note) item.SetNote(StoredNote(*change.note).c_str());
        });
    });
}

void MoveItem(Document& document, uint32_t index, uint32_t to, std::optional<uint32_t> level) {
    const uint32_t end = document.SubtreeEnd(index);
    const uint32_t size = end - index;
    if (to > document.Count() - size) {
        throw Failure(document.Path() + ": cannot move to " + std::to_string(to) + " (at most " +
                          std::to_string(document.Count() - size) + " with its " + std::to_string(size - 1) +
                          " sub-items)",
                      kExitUsage);
    }
    std::vector<COutlineRecord*> order;
    for (uint32_t i = 0; i < document.Count(); ++i) {
        if (i < index || i >= end) order.push_back(&document.Item(i));
    }
    std::vector<COutlineRecord*> moved;
    for (uint32_t i = index; i < end; ++i) moved.push_back(&document.Item(i));
    order.insert(order.begin() + to, moved.begin(), moved.end());

    const int32_t oldLevel = moved.front()->GetIndent();
    const int32_t shift = level ? static_cast<int32_t>(*level) - oldLevel : 0;
    uint32_t deepest = 0;
    for (COutlineRecord* record : moved) deepest = std::max<uint32_t>(deepest, record->GetIndent());
    if (static_cast<int32_t>(deepest) + shift > 255) throw Failure("a sub-item would be deeper than 255", kExitUsage);
    const uint32_t newLevel = static_cast<uint32_t>(oldLevel + shift);
    const uint32_t before = to == 0 ? 0 : order[to - 1]->GetIndent() + 1u;
    if (newLevel > before) {
        throw Failure(document.Path() + ": item " + std::to_string(index) + " cannot stand at level " +
                          std::to_string(newLevel) + " at " + std::to_string(to) + " (at most " +
                          std::to_string(before) + " there; give --level)",
                      kExitUsage);
    }

    const uint32_t after = to + size;  // the first item behind the moved ones
    if (after < order.size()) {
        const uint32_t last = static_cast<uint32_t>(static_cast<int32_t>(moved.back()->GetIndent()) + shift);
        if (order[after]->GetIndent() > last + 1) {
            throw Failure(document.Path() + ": moving to " + std::to_string(to) +
                              " would leave the item behind it without its parent",
                          kExitUsage);
        }
    }

    CallLibrary(document.Path(), kExitProblem, [&] {
        COutlineRecord* following = after < order.size() ? order[after] : nullptr;
        for (COutlineRecord* record : moved) {
            document.Db().GetRecordset()->MoveBefore(record, following);
            Changing(*record, [&](COutlineRecord& item) {
                item.SetIndent(static_cast<uint8_t>(static_cast<int32_t>(item.GetIndent()) + shift));
            });
            record->SetSortChanged(true);
        }
    });
}

uint32_t DeleteItem(Document& document, uint32_t index) {
    const uint32_t end = document.SubtreeEnd(index);
    CallLibrary(document.Path(), kExitProblem, [&] {
        for (uint32_t i = index; i < end; ++i) {
            COutlineRecord& record = document.Item(index);
            if (record.GetId() != 0) document.Db().AddDeletedId(record.GetId());
            document.Db().Delete(&record);
        }
    });
    return end - index;
}

void SetTitle(Document& document, const std::string& title) {
    CallLibrary(document.Path(), kExitProblem, [&] { document.Db().SetOutlineTitle(Wide(title).c_str()); });
}

void SetCategory(Document& document, const std::string& category) {
    CallLibrary(document.Path(), kExitProblem, [&] {
        document.Db().SetCategoryName(Wide(category).c_str());
        document.Db().SetCategoryChanged(true);
    });
}

}  // namespace zro
