// Crash-safe saving of a database file: a rollback journal beside it.
//
// Before a save first overwrites or cuts away any byte the file held when the
// save began, that byte goes to the journal (with the original length and
// checksums), and the journal is flushed to the disk (its folder too, when
// the journal file is new). The file is then changed in place. The save
// commits by flushing the file, then clearing the journal's header and
// flushing the journal: from then on nothing in it plays back. The journal
// file stays for the next save of the session, which costs no folder flush,
// and goes when the session ends (Release). A journal with a sound header
// found when the file is opened is "hot": the save did not finish, and
// playing it back restores the file as it was.
//
// Bytes a save appends past the original end are never journaled: playing
// back cuts the file to its original length.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "notestore/foundation/String.h"

namespace zr_gen {

class CFile;

class RollbackJournal {
public:
    // For the database file at `databasePath`; nothing is created yet.
    explicit RollbackJournal(const char16_t* databasePath);
    RollbackJournal(const RollbackJournal&) = delete;
    RollbackJournal& operator=(const RollbackJournal&) = delete;
    // Releases the journal; one of an unfinished save stays on disk, hot.
    ~RollbackJournal();

    // Whether a save is in progress (begun, not yet committed or rolled back).
    bool Active() const { return active_; }
    // Whether the last rollback failed, so that the journal on disk still
    // has to be played back before the file can be written again.
    bool RollbackPending() const { return rollbackPending_; }

    // Before the `count` bytes of `file` at `offset` change: the original
    // bytes among them not kept yet are kept, and the journal made durable.
    // Begins the save if none is in progress. The file's position is kept.
    // Raises the file's and the journal's errors; the file is then unchanged.
    void Protect(CFile& file, uint32_t offset, uint32_t count);
    // Keeps the bytes as Protect does, but leaves making them durable to the
    // next Protect or MakeDurable, so that several ranges cost one flush.
    void Keep(CFile& file, uint32_t offset, uint32_t count);
    void MakeDurable();

    // The file as it now stands becomes the saved document: the file is
    // flushed, then the journal's header cleared and flushed. Raises when
    // either fails (the journal then still restores the old document).
    void Commit(CFile& file);
    // Ends the session: a journal file holding no save in progress is
    // deleted. Never throws: a journal left behind holds nothing to play.
    void Release() noexcept;
    // Puts the original bytes and length back into `file`, flushes it and
    // deletes the journal. On failure the journal stays (RollbackPending)
    // and the error passes.
    void Rollback(CFile& file);

    // Plays back a hot journal beside `databasePath` into the file and
    // deletes it, and removes a sibling left by a save that wrote the file
    // anew (JournaledFile). Nothing happens when there is neither or when
    // another handle still writes the file (its save is not finished but
    // alive). Raises the file errors of playing back (the journal then
    // stays).
    static void RecoverHot(const char16_t* databasePath);

private:
    void Begin(CFile& file);
    void KeepRange(CFile& file, uint32_t start, uint32_t end);
    void Reset();
    // Closes and deletes the journal file.
    void Discard();
    struct Head {
        uint32_t originalLength = 0;
        uint32_t salt = 0;
    };
    // The journal's header; false when it is not sound (cleared, cut, damaged).
    static bool ReadHead(CFile& journal, Head* head);
    // Writes the records made with `head` back into `file`, cuts it to the
    // original length and flushes it.
    static void PlayRecords(CFile& file, CFile& journal, const Head& head);
    // Both; false (nothing changed) when the journal holds no sound header.
    static bool PlayBack(CFile& file, CFile& journal);

    _String journalPath_;
    std::unique_ptr<CFile> journal_;  // open from the first save to Release
    bool active_ = false;             // a save is in progress
    uint32_t originalLength_ = 0;
    uint32_t salt_ = 0;
    uint32_t journalEnd_ = 0;
    bool dirty_ = false;          // written but not yet flushed
    bool folderFlushed_ = false;  // the journal's entry is durable
    bool rollbackPending_ = false;
    std::map<uint32_t, uint32_t> kept_;  // original ranges kept: start -> end
};

}  // namespace zr_gen
