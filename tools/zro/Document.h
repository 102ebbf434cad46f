// A document opened through the library's own objects (COutlineDB), for
// reading or for editing in place. Editing changes records of the document
// the library read, so every stored field the tool does not touch (drawings,
// font, window placement, numbering, private flag, deleted ids, unknown
// headers and tags) is written back as it was; Save goes through the
// library's save path (WriteAllHeaders, then WriteRows).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "notestore/outline/OutlineDB.h"

namespace zro {

class Document {
public:
    enum class Access { kRead, kEdit };

    // Opens and reads headers and rows. A file that cannot be opened, is no
    // outline document or cannot be read: Failure kExitUsage naming the file
    // and the problem; the file is not changed.
    Document(std::string path, Access access);

    const std::string& Path() const { return path_; }
    zr_gen::COutlineDB& Db() { return db_; }
    uint32_t Count() const;
    // The item at `index`; Failure kExitUsage when there is none.
    zr_gen::COutlineRecord& Item(uint32_t index) const;
    // One past the last sub-item of item `index` (its subtree's end).
    uint32_t SubtreeEnd(uint32_t index) const;

    // Marks the document changed and writes it back; Failure kExitProblem
    // when the library cannot save (the save path keeps the old document).
    void Save();

private:
    std::string path_;
    zr_gen::COutlineDB db_;
};

// The edits, each on an open document (the caller saves). Indexes count
// items from 0 in document order; an item's sub-items are the items after
// it with a deeper level.
struct NewItem {
    std::string text;
    std::string note;  // lines separated by "\n"
    uint32_t level = 0;
    bool checked = false;
};
// Inserts before `at` (or appends) with the next free id, marked new; a level
// deeper than one below the item before it is refused (kExitUsage). Returns
// the new item's index.
uint32_t AddItem(Document& document, const NewItem& item, std::optional<uint32_t> at);

// One field change on one item, compared with its earlier state so the item
// carries the changed bits the device looks for.
struct ItemChange {
    std::optional<bool> checked{};
    std::optional<bool> expanded{};
    std::optional<std::string> text{};
    std::optional<std::string> note{};
};
void ChangeItem(Document& document, uint32_t index, const ItemChange& change);

// Moves item `index` with its sub-items so that it stands at `to` (an index
// of the document after the move), optionally at another level (the
// sub-items keep their depth below it). A result whose moved item hangs
// deeper than one level below the item before it is refused (kExitUsage).
void MoveItem(Document& document, uint32_t index, uint32_t to, std::optional<uint32_t> level);

// Deletes item `index` with its sub-items, listing each id in the document's
// deleted ids as the library does for a deleted item. Returns how many went.
uint32_t DeleteItem(Document& document, uint32_t index);

void SetTitle(Document& document, const std::string& title);
// Sets the category name with its changed flag, as a category change on the
// device does.
void SetCategory(Document& document, const std::string& category);

}  // namespace zro
