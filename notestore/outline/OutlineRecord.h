// One item of an outline document, and the recordsets that make them.
//
// An item is a row (see Rowset.h) whose fields are tags of its block:
//   tag 5        item id, 32-bit; 0 while none is assigned
//   tag 6        indent (outline level), 1 byte
//   string 7     text   (stored under 0x10007)
//   string 8     note   (stored under 0x10008)
//   tag 9        expanded, 1 byte, 1 or 0
//   tag 10       checked, 1 byte, 1 or 0
//   tag 12       drawing: the internal drawing block (see ZRBitmap.h);
//                absent when the item has none
//   tag 17, 18   internal id and parent id, 32-bit (linked items only)
// Boolean getters take any non-zero byte as true.
//
// A missing or damaged tag, or a block that cannot grow, raises through
// CTaggedDataManager::ProcessError; only the drawing accessors catch.
#pragma once

#include <cstdint>

#include "notestore/engine/RowsCollection.h"
#include "notestore/engine/Rowset.h"
#include "notestore/foundation/Export.h"
#include "notestore/foundation/MemAPI.h"
#include "notestore/foundation/String.h"

namespace zr_gen {

class ZR_EXPORT COutlineRecord : public CDBRecord {
public:
    static constexpr uint32_t kIdTag = 5;
    static constexpr uint32_t kIndentTag = 6;
    static constexpr uint8_t kTextTag = 7;
    static constexpr uint8_t kNoteTag = 8;
    static constexpr uint32_t kExpandedTag = 9;
    static constexpr uint32_t kCheckedTag = 10;
    static constexpr uint32_t kDrawingTag = 12;

    // Only the flag and sort-changed tags until Init is called.
    COutlineRecord() = default;
    ~COutlineRecord() override;

    // Id 0, indent 0, empty text and note, expanded, not checked, no
    // drawing; every tag it makes has its changed bit set.
    void Init() override;

    void SetId(uint32_t id);
    uint32_t GetId();
    void SetIndent(uint8_t indent);
    uint8_t GetIndent();
    // A null text is asserted and stored as the empty text.
    void SetText(const char16_t* text);
    void GetText(_String& text);
    // Deleting removes the tag (an absent one is no error) and trims the
    // buffer; GetText then raises the not-found error.
    void DeleteText();
    void SetNote(const char16_t* note);
    void GetNote(_String& note);
    void DeleteNote();
    // Whether the tag exists, empty or not.
    bool HasNote();
    void SetExpanded(bool expanded);
    bool GetExpanded();
    void SetChecked(bool checked);
    bool GetChecked();

    // Stores the DIB in `dib` as the item's drawing, replacing any earlier
    // one. The handle is consumed when it converts (the caller must neither
    // use nor free it then) and stays the caller's when it does not; the
    // result says which (true: consumed), so that a caller need not guess
    // whose the handle is after a failure. Never raises: a failure is
    // written to the trace log and the item keeps its previous drawing.
    bool SetDrawing(MemHandle dib);
    // A new DIB block the caller owns, or null: no drawing, one that does
    // not convert, no memory. Never raises; a failure is written to the
    // trace log (so is asking an item without a drawing).
    MemHandle GetDrawing();
    void DeleteBitmap();
    bool HasDrawing();
    // 0 and 0 without a drawing; else the width and height the drawing block
    // records. A block too short to hold them raises the not-found error.
    void GetDrawingSize(int32_t& width, int32_t& height);

    // Sets the changed bits of indent, text, note, expanded and checked from
    // a comparison with `previous`, the item's earlier state. A note absent
    // from both is created empty here; id and drawing are not compared.
    void UpdateChangedFields(COutlineRecord* previous);
    // The record's changed flag: set when the changed bit of the indent,
    // text, note, checked or (present) drawing tag is. Expansion alone never
    // marks an item changed.
    void updateRecordChanged();

private:
    // Init's stores, one field at a time.
    void StoreDefaults();
};

// An item of a linked outline: it also knows its own and its parent's id.
class ZR_EXPORT CLinkedOutlRec : public COutlineRecord {
public:
    static constexpr uint32_t kInternalIdTag = 17;
    static constexpr uint32_t kParentIdTag = 18;

    CLinkedOutlRec() = default;
    ~CLinkedOutlRec() override;

    // The item's defaults, then internal id 0 and parent id 0.
    void Init() override;

    void setInternalId(uint32_t id);
    uint32_t getInternalId();
    void setParentId(uint32_t id);
    uint32_t getParentId();
};

class ZR_EXPORT COutlineRecordset : public CDBRecordset {
public:
    COutlineRecordset() = default;
    ~COutlineRecordset() override;

    // A new COutlineRecord with Init called on it; no memory: CException
    // "Out of memory" (message 11).
    CDBRecord* CreateDBRecord() override;
};

class ZR_EXPORT CLinkedOutlRS : public CDBRecordset {
public:
    CLinkedOutlRS() = default;
    ~CLinkedOutlRS() override;

    // A new CLinkedOutlRec with Init called on it.
    CDBRecord* CreateDBRecord() override;
};

}  // namespace zr_gen
