// A database file whose every change first passes its rollback journal:
// before a write or a cut reaches the file, the original bytes it would
// destroy are kept and made durable (RollbackJournal::Protect).
#pragma once

#include <cstdint>

#include "notestore/engine/RollbackJournal.h"
#include "notestore/foundation/File.h"

namespace zr_gen {

class JournaledFile : public CFile {
public:
    explicit JournaledFile(RollbackJournal& journal) : journal_(journal) {}
    JournaledFile(const JournaledFile&) = delete;
    JournaledFile& operator=(const JournaledFile&) = delete;

    uint32_t Write(const void* buffer, uint32_t count) override;
    void SetLength(uint32_t length) override;

private:
    RollbackJournal& journal_;
};

}  // namespace zr_gen
