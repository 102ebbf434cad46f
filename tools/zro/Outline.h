// An outline document as the command-line tool sees it: plain values in
// UTF-8, read from and written to ".zro" files through the library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zro {

struct Item {
    uint32_t id = 0;
    uint32_t indent = 0;
    bool checked = false;
    bool expanded = true;
    std::string text;
    std::string note;  // lines separated by "\n"
    int32_t drawingWidth = 0;  // 0 x 0: no drawing
    int32_t drawingHeight = 0;
};

struct Outline {
    std::string title = "Untitled";
    std::string category;
    std::vector<Item> items;
    std::vector<uint32_t> deletedIds;
};

// Reads a document; the library's error text on failure (std::runtime_error).
Outline Load(const std::string& path);
// Writes `outline` as a new document at `path`, replacing any file there.
// Items without an id get the next free one.
void Save(const Outline& outline, const std::string& path);
// Writes item `index`'s drawing as a BMP file; false when it has none.
bool SaveDrawing(const std::string& path, uint32_t index, const std::string& bmpPath);

}  // namespace zro
