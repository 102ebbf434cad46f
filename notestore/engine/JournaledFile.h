// A database file whose every change is crash-safe, in one of two ways.
//
// In place: before a write or a cut reaches the file, the original bytes it
// would destroy are kept and made durable (RollbackJournal::Protect).
//
// Anew: a save that rewrites most of the file writes all of it into a
// sibling ("<document>-new"), which takes the document's place by an
// exchange of names once it is complete and flushed; the old document,
// then under the sibling's name, is removed. Nothing is journaled: the
// document's name leads to a complete file, old or new, at every instant.
//
// Writes can also be held in memory for a while (HoldWrites), so that a
// save's headers wait until it is known which way the save goes.
#pragma once

#include <cstdint>
#include <vector>

#include "notestore/engine/RollbackJournal.h"
#include "notestore/foundation/File.h"

namespace zr_gen {

class JournaledFile : public CFile {
public:
    // The suffix of the sibling a save writes anew.
    static constexpr char16_t kSiblingSuffix[] = u"-new";

    explicit JournaledFile(RollbackJournal& journal) : journal_(journal) {}
    JournaledFile(const JournaledFile&) = delete;
    JournaledFile& operator=(const JournaledFile&) = delete;
    ~JournaledFile() override;

    int32_t Open(const char16_t* path, uint32_t flags) override;
    void Close() override;
    uint32_t Write(const void* buffer, uint32_t count) override;
    uint32_t Read(void* buffer, uint32_t count) override;
    void Flush() override;
    void SetLength(uint32_t length) override;
    // With held writes counted.
    uint32_t GetLength() const override;

    // From now on writes stay in memory, neither journaled nor in the file,
    // until WriteHeld, a replacement taking them, or any operation other
    // than a write, a seek or asking the length or position (which all
    // write them first).
    void HoldWrites();
    bool Holding() const { return holding_; }
    // Passes the held writes to the file, journaled, and stops holding.
    void WriteHeld();
    // Forgets the held writes (a failed save).
    void DropHeld() noexcept;

    // The length of the file on disk, without held writes.
    uint32_t StoredLength() const { return CFile::GetLength(); }

    // Starts writing the file anew: the sibling is created with the file's
    // permissions, gets the file's first `keep` bytes and the held writes,
    // and takes every operation from now on, at the file's position. False,
    // with nothing changed, when the file cannot be replaced by a new one
    // (see platform::CreateReplacementFor) or the sibling cannot be made;
    // raises the file errors of filling it (the sibling is then removed).
    bool BeginReplacement(uint32_t keep);
    bool Replacing() const { return original_ != kNoHandle; }
    // The sibling becomes the document: it is flushed, the names exchanged
    // and the folder flushed, then the old document removed. Raises the
    // file errors; unless Replacing() has ended, the old document is then
    // still the document and AbandonReplacement follows.
    void CommitReplacement();
    // Removes the sibling; the file is the document it was. Never throws.
    void AbandonReplacement() noexcept;

    // Removes a sibling left by a save that did not finish: one that is empty
    // or starts as a database file does (anything else is left alone).
    static void RemoveLeftover(const char16_t* path) noexcept;

private:
    struct HeldWrite {
        uint32_t offset;
        std::vector<uint8_t> bytes;
    };
    // Bytes held at most; beyond them the writes go on to the file.
    static constexpr size_t kHoldLimit = 1024 * 1024;

    size_t HeldBytes() const;
    _String SiblingPath() const;
    // Ends a committed replacement: the old document's handle is closed and
    // the file (now under the sibling's name) removed.
    void FinishReplacement() noexcept;

    RollbackJournal& journal_;
    uint32_t flags_ = 0;  // as the file was opened
    bool holding_ = false;
    std::vector<HeldWrite> held_;  // a save's headers: a few pieces
    uint32_t original_ = kNoHandle;  // the document's handle while replacing
};

}  // namespace zr_gen
