// Walking a document's stored bytes to say whether it is sound and, if not,
// what is wrong and where; and salvaging what can still be read from it.
//
// The walk follows the layout (db info, header table and slots, deleted-id
// list, framed rows) by itself, so a damaged part does not hide the parts
// behind it; each row found is then read by the library's own item class,
// whose accessors must all succeed for the row to count as sound. After a
// damaged row frame the walk resynchronises on the next start identifier
// that opens a complete frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zro {

struct Finding {
    uint64_t offset = 0;
    int64_t row = -1;  // -1: not in a row
    std::string problem;
};

struct Inspection {
    enum class Verdict { kSound, kDamaged, kNotADocument };
    Verdict verdict = Verdict::kSound;
    std::vector<Finding> findings;
    uint32_t declaredRows = 0;
    // Offsets of the rows that read soundly, in file order (resynchronised
    // ones included).
    std::vector<uint64_t> soundRows;
    bool headersSound = false;
};

// Failure kExitUsage when the file cannot be read at all.
Inspection Inspect(const std::string& path);

// What keeps the library from reading `path` as a document, in a few words.
std::string Diagnosis(const std::string& path);

// Writes `target` as a new document holding every sound row of `damaged` in
// order, with the damaged document's headers and deleted ids when those
// still read; refuses a target that exists unless `replace`. Returns how
// many items it saved.
uint32_t Salvage(const std::string& damaged, const std::string& target, bool replace);

}  // namespace zro
