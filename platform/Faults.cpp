#include "platform/Faults.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

namespace platform {

namespace detail {
FaultInjector* activeInjector = nullptr;
}

void FaultInjector::FailNth(FaultOp op, uint32_t n, DWORD error, bool persistent) {
    Slot& s = slot(op);
    s.failAt = s.seen + n;
    s.error = error;
    s.persistent = persistent;
}

void FaultInjector::Heal(FaultOp op) { slot(op).failAt = 0; }

void FaultInjector::KillAtNth(FaultOp op, uint32_t n) { slot(op).killAt = slot(op).seen + n; }

void FaultInjector::CutPowerAtNth(FaultOp op, uint32_t n) { slot(op).powerOffAt = slot(op).seen + n; }

bool FaultInjector::Hit(FaultOp op, DWORD* error) {
    Slot& s = slot(op);
    ++s.seen;
    if (s.seen == s.killAt) kill(getpid(), SIGKILL);
    if (s.seen == s.powerOffAt) poweredOff_ = true;
    if (poweredOff_ && op != FaultOp::Alloc && op != FaultOp::Read && op != FaultOp::Seek) {
        s.fired = true;
        *error = ERROR_WRITE_FAULT;
        return true;
    }
    if (s.failAt == 0 || s.seen < s.failAt || (s.seen > s.failAt && !s.persistent)) return false;
    s.fired = true;
    *error = s.error;
    return true;
}

namespace {

std::optional<std::string> ContentOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void DurableState::BeforeChange(const std::string& path) {
    if (files_.count(path) != 0) return;
    Entry entry;
    entry.content = ContentOf(path);
    entry.latest = entry.content;
    entry.existsDurably = entry.content.has_value();
    entry.existedBefore = entry.existsDurably;
    files_.emplace(path, std::move(entry));
}

void DurableState::Synced(const std::string& path) {
    auto it = files_.find(path);
    if (it == files_.end()) return;
    it->second.latest = ContentOf(path);
    // Data flushed into a file whose entry is durable is durable at once.
    if (it->second.existsDurably) it->second.content = it->second.latest;
}

void DurableState::FolderSynced(const std::string& folder) {
    for (auto& [path, entry] : files_) {
        if (FolderOf(path) != folder) continue;
        struct stat st {};
        entry.existsDurably = stat(path.c_str(), &st) == 0;
        // A new file's flushed data becomes reachable with its entry; what
        // was never flushed is lost with the power all the same.
        entry.content = entry.existsDurably ? entry.latest.value_or(std::string()) : std::optional<std::string>();
    }
}

void DurableState::Exchanged(const std::string& first, const std::string& second) {
    Entry& a = files_[first];
    Entry& b = files_[second];
    std::swap(a.latest, b.latest);
}

void DurableState::DropUnsynced(bool keepOldFileWrites) {
    for (const auto& [path, entry] : files_) {
        struct stat st {};
        if (keepOldFileWrites && entry.existedBefore && stat(path.c_str(), &st) == 0) continue;
        if (!entry.existsDurably) {
            unlink(path.c_str());
            continue;
        }
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(entry.content->data(), static_cast<std::streamsize>(entry.content->size()));
    }
    files_.clear();
}

ScopedFaultInjector::ScopedFaultInjector(FaultInjector& injector) { detail::activeInjector = &injector; }

ScopedFaultInjector::~ScopedFaultInjector() { detail::activeInjector = nullptr; }

}  // namespace platform
