// Drives one save through every failure it can meet and checks the promise
// of crash-safe saving: whatever happens, the file reopens as exactly the
// old document or exactly the new one, a failed save leaves the old one and
// a retry on the same objects, without faults, writes the new one.
//
// A case says how to make the old file, how to open it and change it in
// memory, how to save and how to close; the loops do the rest.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "notestore/engine/RollbackJournal.h"
#include "platform/Faults.h"
#include "platform/Strings.h"
#include "support/Caught.h"
#include "support/TempDir.h"

namespace testsupport {

class SaveCase {
public:
    virtual ~SaveCase() = default;
    // Writes the old document at `path` (no faults are installed).
    virtual void MakeOld(const std::u16string& path) = 0;
    // Opens the document and changes it in memory (no faults); it may save
    // first, provided that leaves the old document's bytes as they were.
    virtual void Prepare(const std::u16string& path) = 0;
    // The save under test; raises the library's error when it fails.
    virtual void Save() = 0;
    // Closes what Prepare opened; may raise.
    virtual void Close() = 0;
    // Opens the document at `path` as a reader would, which plays back a
    // hot journal, and closes it again.
    virtual void Reopen(const std::u16string& path) = 0;
};

inline std::string FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::filesystem::path Native(const std::u16string& path) { return platform::Utf16ToUtf8(path); }

inline std::u16string JournalOf(const std::u16string& path) { return path + u"-journal"; }

// Where a save that writes the file anew puts the new document first.
inline std::u16string SiblingOf(const std::u16string& path) { return path + u"-new"; }

class SaveFaultLoop {
public:
    explicit SaveFaultLoop(SaveCase& saveCase) : case_(saveCase), path_(dir_.File("doc.zro")) {
        case_.MakeOld(path_);
        old_ = FileBytes(Native(path_));
        case_.Prepare(path_);
        case_.Save();
        case_.Close();
        new_ = FileBytes(Native(path_));
        EXPECT_NE(old_, new_) << "the case must change the file";
    }

    const std::string& OldBytes() const { return old_; }
    const std::string& NewBytes() const { return new_; }
    const std::u16string& Path() const { return path_; }

    // The document as a reader would find it now, on a copy of the file and
    // its journal (the original may still be open).
    std::string AsReaderFinds() {
        const std::filesystem::path copyDir = dir_.path() / "copy";
        std::filesystem::remove_all(copyDir);
        std::filesystem::create_directory(copyDir);
        const std::filesystem::path copy = copyDir / "doc.zro";
        std::filesystem::copy_file(Native(path_), copy);
        if (std::filesystem::exists(Native(JournalOf(path_)))) {
            std::filesystem::copy_file(Native(JournalOf(path_)), copyDir / "doc.zro-journal");
        }
        const std::u16string copyPath = platform::Utf8ToUtf16(copy.string());
        const Caught reopened = Catch([&] { case_.Reopen(copyPath); });
        EXPECT_FALSE(reopened.raised()) << platform::Utf16ToUtf8(reopened.text);
        EXPECT_FALSE(std::filesystem::exists(copyDir / "doc.zro-journal")) << "the hot journal was played back";
        return FileBytes(copy);
    }

    bool IsOldOrNew(const std::string& bytes) const { return bytes == old_ || bytes == new_; }

    // Fails the nth operation of `op` (or every one from the nth) for
    // n = 1, 2, ... until the save no longer meets the fault.
    void FailEveryNth(platform::FaultOp op, DWORD error, bool persistent) {
        for (uint32_t n = 1; n < kMaxRounds; ++n) {
            SCOPED_TRACE("fault at operation " + std::to_string(n) + (persistent ? " on" : ""));
            MakeOld();
            case_.Prepare(path_);
            platform::FaultInjector injector;
            Caught failure;
            {
                platform::ScopedFaultInjector scope(injector);
                injector.FailNth(op, n, error, persistent);
                failure = Catch([&] { case_.Save(); });
            }
            const std::string found = AsReaderFinds();
            if (failure.raised()) {
                EXPECT_EQ(found, old_) << "a failed save leaves the old document: "
                                       << platform::Utf16ToUtf8(failure.text);
                // The retry, with the fault gone, on the same objects.
                const Caught retry = Catch([&] { case_.Save(); });
                EXPECT_FALSE(retry.raised()) << platform::Utf16ToUtf8(retry.text);
            } else {
                EXPECT_TRUE(IsOldOrNew(found));
            }
            const Caught closed = Catch([&] { case_.Close(); });
            EXPECT_FALSE(closed.raised()) << platform::Utf16ToUtf8(closed.text);
            EXPECT_EQ(FileBytes(Native(path_)), new_) << "the retry wrote the new document";
            EXPECT_FALSE(std::filesystem::exists(Native(JournalOf(path_))));
            EXPECT_FALSE(std::filesystem::exists(Native(SiblingOf(path_))));
            if (!injector.Fired(op)) return;
            if (::testing::Test::HasFailure()) return;
        }
        ADD_FAILURE() << "the save never completed";
    }

    // Cuts the power at the nth operation of `op` and drops every byte not
    // flushed, for every n until the save completes before the cut.
    void CutPowerAtEveryNth(platform::FaultOp op, bool keepOldFileWrites) {
        for (uint32_t n = 1; n < kMaxRounds; ++n) {
            SCOPED_TRACE("power cut at operation " + std::to_string(n));
            MakeOld();
            case_.Prepare(path_);
            platform::FaultInjector injector;
            platform::DurableState durable;
            injector.durability = &durable;
            {
                platform::ScopedFaultInjector scope(injector);
                injector.CutPowerAtNth(op, n);
                Catch([&] { case_.Save(); });
                Catch([&] { case_.Close(); });  // everything it tries fails now
            }
            const bool cut = injector.PoweredOff();
            durable.DropUnsynced(keepOldFileWrites);
            const std::string found = AsReaderFinds();
            EXPECT_TRUE(IsOldOrNew(found)) << (found.size() == old_.size() ? "old size" : "other size");
            if (!cut) {
                EXPECT_EQ(found, new_) << "a save that met no cut is durable";
                return;
            }
            if (::testing::Test::HasFailure()) return;
        }
        ADD_FAILURE() << "the save never completed";
    }

    // Kills a child process at the nth operation of `op` during the save,
    // for every n until the child completes the save.
    void KillAtEveryNth(platform::FaultOp op) {
        for (uint32_t n = 1; n < kMaxRounds; ++n) {
            SCOPED_TRACE("kill at operation " + std::to_string(n));
            MakeOld();
            const pid_t child = fork();
            ASSERT_NE(child, -1);
            if (child == 0) {
                int status = 1;
                try {
                    case_.Prepare(path_);
                    platform::FaultInjector injector;
                    platform::ScopedFaultInjector scope(injector);
                    injector.KillAtNth(op, n);
                    case_.Save();
                    case_.Close();
                    status = 0;
                } catch (...) {
                }
                _exit(status);
            }
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
            ASSERT_TRUE(killed || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << "status " << status;
            const std::string found = AsReaderFinds();
            EXPECT_TRUE(IsOldOrNew(found));
            if (!killed) {
                EXPECT_EQ(found, new_);
                return;
            }
            if (::testing::Test::HasFailure()) return;
        }
        ADD_FAILURE() << "the save never completed";
    }

private:
    static constexpr uint32_t kMaxRounds = 5000;

    // The same old bytes every round (a document made afresh would carry
    // new time stamps).
    void MakeOld() {
        std::filesystem::remove(Native(JournalOf(path_)));
        std::ofstream(Native(path_), std::ios::binary | std::ios::trunc) << old_;
    }

    SaveCase& case_;
    TempDir dir_;
    std::u16string path_;
    std::string old_;
    std::string new_;
};

// The fault kinds every save path is looped over.
struct FaultKind {
    const char* name;
    platform::FaultOp op;
    DWORD error;
};

inline constexpr FaultKind kSaveFaults[] = {
    {"write", platform::FaultOp::Write, ERROR_DISK_FULL},
    {"flush", platform::FaultOp::Flush, ERROR_WRITE_FAULT},
    {"truncate", platform::FaultOp::Truncate, ERROR_DISK_FULL},
    {"allocation", platform::FaultOp::Alloc, ERROR_NOT_ENOUGH_MEMORY},
    {"rename", platform::FaultOp::Rename, ERROR_ACCESS_DENIED},
};

// Every fault kind, once and persistently, then power cuts and kills at
// every write, flush, cut and rename.
inline void CheckCrashSafe(SaveCase& saveCase) {
    SaveFaultLoop loop(saveCase);
    for (const FaultKind& kind : kSaveFaults) {
        for (const bool persistent : {false, true}) {
            SCOPED_TRACE(std::string(kind.name) + (persistent ? " failing persistently" : " failing once"));
            loop.FailEveryNth(kind.op, kind.error, persistent);
        }
    }
    for (const platform::FaultOp op :
         {platform::FaultOp::Write, platform::FaultOp::Flush, platform::FaultOp::Truncate, platform::FaultOp::Rename}) {
        SCOPED_TRACE("power cut, operation kind " + std::to_string(static_cast<int>(op)));
        loop.CutPowerAtEveryNth(op, false);
        loop.CutPowerAtEveryNth(op, true);
        loop.KillAtEveryNth(op);
    }
}

}  // namespace testsupport
