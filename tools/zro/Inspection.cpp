#include "tools/zro/Inspection.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <utility>
#include <iterator>

#include "notestore/engine/Database.h"
#include "notestore/engine/Rowset.h"
#include "notestore/foundation/File.h"
#include "notestore/outline/OutlineDB.h"
#include "tools/zro/LibraryCall.h"

namespace zro {

namespace {

using zr_gen::CDBRecord;
using zr_gen::CFile;
using zr_gen::COutlineDB;
using zr_gen::COutlineRecord;

constexpr uint64_t kDbInfoSize = zr_gen::TDbInfo::kStoredSize;
constexpr uint64_t kHeaderTable = zr_gen::CDatabase::kHeaderInfoPosition;
constexpr uint64_t kFrameSize = CDBRecord::kStartTagLen + 4 + CDBRecord::kEndTagLen;

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        throw Failure(path + ": " + (std::filesystem::exists(path, error) ? "not a regular file" : "no such file"),
                      kExitUsage);
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failure(path + ": " + std::strerror(errno), kExitUsage);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// The walk over one file's bytes.
class Walk {
public:
    Walk(const std::string& path, std::vector<uint8_t> bytes) : path_(path), bytes_(std::move(bytes)) {}

    Inspection Run() {
        if (!DbInfoSound()) {
            result_.verdict = Inspection::Verdict::kNotADocument;
            return result_;
        }
        uint64_t rows = 0;
        const bool tableSound = HeaderArea(rows);
        if (tableSound) result_.headersSound = LibraryReadsHeaders();
        if (!tableSound || !DeletedIds(rows)) rows = NextFrame(kHeaderTable);
        Rows(rows);
        if (!result_.findings.empty()) result_.verdict = Inspection::Verdict::kDamaged;
        return result_;
    }

    std::vector<uint32_t> deletedIds;

private:
    uint64_t Size() const { return bytes_.size(); }
    uint32_t U16(uint64_t at) const { return bytes_[at] | bytes_[at + 1] << 8; }
    uint32_t U32(uint64_t at) const { return U16(at) | U16(at + 2) << 16; }
    bool Fits(uint64_t at, uint64_t count) const { return at <= Size() && count <= Size() - at; }

    void Note(uint64_t offset, int64_t row, std::string problem) {
        result_.findings.push_back(Finding{offset, row, std::move(problem)});
    }

    bool DbInfoSound() {
        if (Size() < kDbInfoSize) {
            Note(0, -1, std::to_string(Size()) + " bytes, too short for a document's 10-byte db info");
            return false;
        }
        if (U32(0) != zr_gen::CDatabase::kCheckCode) {
            Note(0, -1, "check code " + Hex(U32(0)) + " is not a document's (0x12345678)");
            return false;
        }
        if (U16(4) != COutlineDB::kVersion) {
            Note(4, -1, "version " + std::to_string(U16(4)) + " is not an outline document's (0)");
            return false;
        }
        result_.declaredRows = U32(6);
        return true;
    }

    // The header table and its slots; `end` becomes the offset behind them.
    bool HeaderArea(uint64_t& end) {
        if (!Fits(kHeaderTable, 2)) {
            Note(kHeaderTable, -1, "the file ends before the header table");
            return false;
        }
        const uint64_t count = U16(kHeaderTable);
        const uint64_t slots = kHeaderTable + 2 + count * zr_gen::THeaderRecord::kStoredSize;
        if (slots > Size()) {
            Note(kHeaderTable, -1, "the header table of " + std::to_string(count) + " entries runs past the end");
            return false;
        }
        end = slots;
        for (uint64_t i = 0; i < count; ++i) end += U32(kHeaderTable + 2 + i * 6 + 2);
        if (end > Size()) {
            Note(slots, -1, "the header slots end at " + std::to_string(end) + ", past the end of the file (" +
                                std::to_string(Size()) + " bytes)");
            return false;
        }
        return true;
    }

    // The library's own reading of the headers and of the fields shown.
    bool LibraryReadsHeaders() {
        try {
            return Library([&] {
                COutlineDB db;
                if (db.Open(Wide(path_).c_str(), CFile::kModeRead | CFile::kShareRead) != 1) {
                    Note(kHeaderTable, -1, "the library refuses the header table");
                    return false;
                }
                db.ReadConduitHeader();
                db.ReadSharedHeader();
                db.ReadPrivateHeader();
                zr_gen::_String text;
                db.GetOutlineTitle(text);
                db.GetCategoryName(text);
                return true;
            });
        } catch (const LibraryError& e) {
            Note(kHeaderTable, -1, std::string("headers: ") + e.what());
            return false;
        }
    }

    // The deleted-id list at `at`; `at` becomes the first row's offset.
    bool DeletedIds(uint64_t& at) {
        if (!Fits(at, 4)) {
            Note(at, -1, "the file ends before the deleted-id list");
            return false;
        }
        const uint64_t count = U32(at);
        if (!Fits(at + 4, count * 4)) {
            Note(at, -1, "the deleted-id list of " + std::to_string(count) + " ids runs past the end");
            return false;
        }
        for (uint64_t i = 0; i < count; ++i) deletedIds.push_back(U32(at + 4 + i * 4));
        at += 4 + count * 4;
        return true;
    }

    // What is wrong with the frame at `at`, or empty when it is complete.
    std::string FrameProblem(uint64_t at) const {
        if (!Fits(at, kFrameSize)) return "the file ends inside the row";
        if (std::memcmp(&bytes_[at], CDBRecord::kStartTag, CDBRecord::kStartTagLen) != 0) {
            return "no row start identifier";
        }
        const uint64_t length = U32(at + 4);
        if (!Fits(at + 8, length + CDBRecord::kEndTagLen)) {
            return "its length " + std::to_string(length) + " runs past the end";
        }
        if (std::memcmp(&bytes_[at + 8 + length], CDBRecord::kEndTag, CDBRecord::kEndTagLen) != 0) {
            return "no row end identifier after its " + std::to_string(length) + " bytes";
        }
        return {};
    }

    // The next complete frame at or after `from`; the file's size when none.
    uint64_t NextFrame(uint64_t from) const {
        for (uint64_t at = from; Fits(at, kFrameSize); ++at) {
            if (bytes_[at] == CDBRecord::kStartTag[0] && FrameProblem(at).empty()) return at;
        }
        return Size();
    }

    // What the library cannot read of the row at `at`, or empty: each field
    // an item offers is read through its accessor.
    std::string ContentProblem(zr_gen::CFileStream& stream, uint64_t at) {
        COutlineRecord item;
        zr_gen::_String text;
        int32_t width = 0;
        int32_t height = 0;
        const std::pair<const char*, std::function<void()>> fields[] = {
            {"the row", [&] {
                 stream.Seek(static_cast<int32_t>(at), 0);
                 item.Read(stream);
             }},
            {"its flags", [&] { item.GetFlag(); }},
            {"its id", [&] { item.GetId(); }},
            {"its level", [&] { item.GetIndent(); }},
            {"its checked state", [&] { item.GetChecked(); }},
            {"its expanded state", [&] { item.GetExpanded(); }},
            {"its text", [&] { ReadStoredText(item.getTaggedDataManager(), COutlineRecord::kTextTag, text); }},
            {"its note", [&] { ReadStoredText(item.getTaggedDataManager(), COutlineRecord::kNoteTag, text); }},
            {"its drawing", [&] {
                 if (item.HasDrawing()) item.GetDrawingSize(width, height);
             }},
        };
        for (const auto& [field, read] : fields) {
            try {
                Library(read);
            } catch (const LibraryError& e) {
                return std::string(field) + " cannot be read (" + e.what() + ")";
            }
        }
        return {};
    }

    void Rows(uint64_t at) {
        zr_gen::CFileStream stream;
        CallLibrary(path_, kExitUsage, [&] { stream.Open(Wide(path_).c_str(), CFile::kModeRead | CFile::kShareRead); });
        int64_t row = 0;
        while (at < Size()) {
            const std::string frame = FrameProblem(at);
            if (frame.empty()) {
                const std::string content = ContentProblem(stream, at);
                if (content.empty()) {
                    result_.soundRows.push_back(at);
                } else {
                    Note(at, row, content);
                }
                at += kFrameSize + U32(at + 4);
            } else {
                const uint64_t next = NextFrame(at + 1);
                Note(at, row,
                     frame + (next < Size() ? "; the next row starts at " + std::to_string(next)
                                            : "; no row follows"));
                at = next;
            }
            ++row;
        }
        if (row != result_.declaredRows) {
            Note(6, -1, "the db info counts " + std::to_string(result_.declaredRows) + " rows, the file holds " +
                            std::to_string(row));
        }
    }

    std::string path_;
    std::vector<uint8_t> bytes_;
    Inspection result_;
};

}  // namespace

Inspection Inspect(const std::string& path) { return Walk(path, ReadBytes(path)).Run(); }

std::string Diagnosis(const std::string& path) {
    const Inspection inspection = Inspect(path);
    if (inspection.verdict == Inspection::Verdict::kNotADocument) {
        return "not an outline document: " + inspection.findings.front().problem;
    }
    if (!inspection.findings.empty()) return "damaged: " + inspection.findings.front().problem;
    return "the library cannot open it";
}

uint32_t Salvage(const std::string& damaged, const std::string& target, bool replace) {
    std::vector<uint8_t> bytes = ReadBytes(damaged);
    Walk walk(damaged, std::move(bytes));
    const Inspection inspection = walk.Run();
    if (inspection.verdict == Inspection::Verdict::kNotADocument) {
        throw Failure(damaged + ": not an outline document: " + inspection.findings.front().problem, kExitUsage);
    }
    std::error_code error;
    if (std::filesystem::exists(target, error)) {
        if (std::filesystem::equivalent(damaged, target, error)) {
            throw Failure(target + ": salvage writes a new document, not over the damaged one", kExitUsage);
        }
        if (!replace) throw Failure(target + ": exists (give --force to replace it)", kExitUsage);
    }

    COutlineDB source;
    COutlineDB salvaged;
    CallLibrary(damaged, kExitProblem, [&] {
        if (inspection.headersSound && source.Open(Wide(damaged).c_str(), CFile::kModeRead | CFile::kShareRead) == 1) {
            source.ReadConduitHeader();
            source.ReadSharedHeader();
            source.ReadPrivateHeader();
            salvaged.copySharedHeader(&source);
            salvaged.copyPrivateHeader(&source);
            *salvaged.GetConduitHeader() = *source.GetConduitHeader();
            source.Close();
        }
        for (uint32_t id : walk.deletedIds) salvaged.AddDeletedId(id);
        zr_gen::CFileStream stream;
        stream.Open(Wide(damaged).c_str(), CFile::kModeRead | CFile::kShareRead);
        for (uint64_t at : inspection.soundRows) {
            COutlineRecord item;
            stream.Seek(static_cast<int32_t>(at), 0);
            item.Read(stream);
            *salvaged.GetRecordset()->Append() = item;
        }
    });
    CallLibrary(target, kExitProblem, [&] {
        if (salvaged.Open(Wide(target).c_str(), CFile::kCreate | CFile::kModeReadWrite) != 1) {
            throw Failure(target + ": cannot create it", kExitProblem);
        }
        salvaged.InitNewDatabase();
        salvaged.WriteAllHeaders();
        salvaged.WriteRows();
        salvaged.Close();
    });
    return static_cast<uint32_t>(inspection.soundRows.size());
}

}  // namespace zro
