#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "notestore/foundation/MemAPI.h"
#include "notestore/include/notestore.h"
#include "platform/Strings.h"
#include "tools/zro/Commands.h"
#include "tools/zro/Html.h"
#include "tools/zro/JsonForm.h"
#include "tools/zro/Markdown.h"
#include "tools/zro/Opml.h"
#include "tools/zro/Outline.h"
#include "tools/zro/OutlineText.h"
#include "tools/zro/Png.h"
#include "tools/zro/ReplaceFile.h"

namespace zro {

namespace {

namespace fs = std::filesystem;

// Runs `body` on the document at `path`; a failure names the document.
template <class Body>
auto Named(const std::string& path, Body&& body) {
    try {
        return body();
    } catch (const Failure&) {
        throw;
    } catch (const std::exception& e) {
        throw Failure(path + ": " + e.what(), kExitProblem);
    }
}

Outline LoadNamed(const std::string& path, Detail detail = Detail::kFields) {
    return Named(path, [&] { return Load(path, detail); });
}

std::string TextNamed(const std::string& path) {
    return Named(path, [&] { return DocumentText(path); });
}

// Text files larger than this are not outlines anyone wrote.
constexpr uintmax_t kMaxSourceSize = uintmax_t{1} << 30;

std::string ReadAll(const std::string& path) {
    std::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    if (!error && size > kMaxSourceSize) throw Failure(path + " is too large to be an outline", kExitUsage);
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failure("cannot read " + path, kExitUsage);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteOut(const std::string& text, const std::string& path) {
    if (path.empty() || path == "-") {
        std::cout << text;
        return;
    }
    ReplaceFileWith(path, text);
}

std::string Lowercase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The format a file's extension names, or `fallback`.
std::string FormatOf(const std::string& path, const std::string& fallback) {
    const std::string extension = Lowercase(fs::path(path).extension().string());
    if (extension == ".opml" || extension == ".xml") return "opml";
    if (extension == ".md" || extension == ".markdown") return "markdown";
    if (extension == ".html" || extension == ".htm") return "html";
    if (extension == ".json") return "json";
    if (extension == ".txt") return "text";
    return fallback;
}

// Where a Markdown export keeps its drawings: "NAME_files" beside it.
std::string ImageFolderOf(const std::string& output) { return fs::path(output).stem().string() + "_files"; }

void ExportMarkdown(const Outline& outline, const std::string& output) {
    const bool toFile = !output.empty() && output != "-";
    MarkdownExport result = ToMarkdown(outline, toFile ? ImageFolderOf(output) : "drawings");
    if (!result.images.empty()) {
        if (!toFile) throw Failure("the document has drawings: name a Markdown file with -o to write them beside it", kExitUsage);
        const fs::path folder = fs::path(output).parent_path() / ImageFolderOf(output);
        fs::create_directories(folder);
        for (const MarkdownImage& image : result.images) {
            ReplaceFileWith((folder / image.name).string(),
                            std::string_view(reinterpret_cast<const char*>(image.png.data()), image.png.size()));
        }
    }
    WriteOut(result.text, output);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    const std::string text = ReadAll(path);
    return {text.begin(), text.end()};
}

Outline ImportFrom(const std::string& source, const std::string& format) {
    const std::string text = ReadAll(source);
    if (format == "opml") return FromOpml(text);
    if (format == "json") return FromJson(text);
    if (format == "markdown") {
        const fs::path base = fs::path(source).parent_path();
        return FromMarkdown(text, [&](const std::string& link) { return ReadBytes((base / link).string()); });
    }
    return FromText(text);
}

// Writes a drawing (a packed DIB) as PNG or BMP, by the file's extension.
void WriteDrawing(const std::vector<uint8_t>& dib, const std::string& path) {
    const std::string extension = Lowercase(fs::path(path).extension().string());
    if (extension == ".png") {
        const std::vector<uint8_t> png = DibToPng(dib);
        ReplaceFileWith(path, std::string_view(reinterpret_cast<const char*>(png.data()), png.size()));
        return;
    }
    if (extension != ".bmp") throw Failure("write a drawing to a .png or .bmp file, not " + path, kExitUsage);
    SaveBmp(dib, path);
}

// The packed DIB of an image file, through the library's image loader.
std::vector<uint8_t> LoadImageFile(const std::string& path) {
    const std::u16string wide = platform::Utf8ToUtf16(path);
    void* dib = BitmapToDIB(wide.c_str(), nullptr);
    if (dib == nullptr) throw Failure("cannot load " + path + " as an image (PNG, JPEG, GIF or BMP)", kExitUsage);
    return TakeBlock(dib);
}

}  // namespace

void AddFormatCommands(CLI::App& app) {
    struct Options {
        std::string document;
        std::string output;
        std::string format;
        std::string source;
        uint32_t index = 0;
        std::string all;
    };
    auto options = std::make_shared<Options>();
    const auto formats = CLI::IsMember({"text", "json", "opml", "markdown", "html"});

    auto* show = app.add_subcommand("show", "Print a document as an indented outline.");
    show->add_option("document", options->document, "the .zro file")->required()->check(CLI::ExistingFile);
    show->callback([options] { WriteOut(TextNamed(options->document), "-"); });

    auto* exportCommand =
        app.add_subcommand("export", "Convert a document to outline text, JSON, OPML, Markdown or HTML.");
    exportCommand->add_option("document", options->document, "the .zro file")->required()->check(CLI::ExistingFile);
    exportCommand->add_option("-f,--format", options->format, "text, json, opml, markdown or html (default: by the output's extension, else text)")
        ->check(formats);
    exportCommand->add_option("-o,--output", options->output, "where to write (default: standard output)");
    exportCommand->callback([options] {
        const std::string format = options->format.empty() ? FormatOf(options->output, "text") : options->format;
        if (format == "text") return WriteOut(TextNamed(options->document), options->output);
        // JSON and OPML give back the stored document byte for byte.
        const bool whole = format == "json" || format == "opml";
        const Outline outline = LoadNamed(options->document, whole ? Detail::kStoredForm : Detail::kFields);
        if (format == "markdown") return ExportMarkdown(outline, options->output);
        const std::string text = format == "json"   ? ToJson(outline)
                                 : format == "opml" ? ToOpml(outline)
                                                    : ToHtml(outline);
        WriteOut(text, options->output);
    });

    auto* importCommand = app.add_subcommand(
        "import", "Make a document from outline text, OPML, Markdown or JSON; an existing document is replaced only once the new one is complete.");
    importCommand->add_option("source", options->source, "the file to read")->required()->check(CLI::ExistingFile);
    importCommand->add_option("document", options->document, "the .zro file to write")->required();
    importCommand->add_option("-f,--format", options->format, "text, json, opml or markdown (default: by the source's extension, else text)")
        ->check(CLI::IsMember({"text", "json", "opml", "markdown"}));
    importCommand->callback([options] {
        const std::string format = options->format.empty() ? FormatOf(options->source, "text") : options->format;
        if (format == "html") throw Failure("HTML is written, not read: import text, OPML, Markdown or JSON", kExitUsage);
        Outline outline;
        try {
            outline = ImportFrom(options->source, format);
        } catch (const Failure&) {
            throw;
        } catch (const std::exception& e) {
            throw Failure(options->source + ": " + e.what(), kExitUsage);
        }
        // What the source asks for may still be refused when it is stored.
        Named(options->source, [&] { Save(outline, options->document); });
    });

    auto* drawing = app.add_subcommand("drawing", "Save an item's drawing, or every drawing, as PNG or BMP files.");
    drawing->add_option("document", options->document, "the .zro file")->required()->check(CLI::ExistingFile);
    drawing->add_option("index", options->index, "the item, counted from 0");
    drawing->add_option("image", options->output, "the .png or .bmp file to write");
    auto* all = drawing->add_option("--all", options->all, "write every drawing into this folder as item-INDEX.png");
    drawing->add_option("-f,--format", options->format, "png or bmp, with --all (default png)")
        ->check(CLI::IsMember({"png", "bmp"}))
        ->needs(all);
    drawing->callback([options, drawing] {
        const Outline outline = LoadNamed(options->document);
        if (!options->all.empty()) {
            if (drawing->count("index") != 0) throw Failure("give either an item and a file, or --all FOLDER", kExitUsage);
            fs::create_directories(options->all);
            const std::string extension = options->format.empty() ? "png" : options->format;
            for (size_t i = 0; i < outline.items.size(); ++i) {
                if (outline.items[i].drawing.empty()) continue;
                const std::string file = (fs::path(options->all) / ("item-" + std::to_string(i) + "." + extension)).string();
                WriteDrawing(outline.items[i].drawing, file);
                std::cout << file << "\n";
            }
            return;
        }
        if (drawing->count("image") == 0) throw Failure("give an item and a .png or .bmp file, or --all FOLDER", kExitUsage);
        if (options->index >= outline.items.size()) {
            throw Failure("no item " + std::to_string(options->index) + " (the document has " +
                              std::to_string(outline.items.size()) + ")",
                          kExitUsage);
        }
        const Item& item = outline.items[options->index];
        if (item.drawing.empty()) {
            const bool damaged = item.drawingWidth != 0 || item.drawingHeight != 0;
            throw Failure("item " + std::to_string(options->index) + (damaged ? "'s drawing is damaged" : " has no drawing"),
                          kExitProblem);
        }
        WriteDrawing(item.drawing, options->output);
    });

    auto* attach = app.add_subcommand("attach", "Make an image file (PNG, JPEG, GIF or BMP) an item's drawing, in place.");
    attach->add_option("document", options->document, "the .zro file")->required()->check(CLI::ExistingFile);
    attach->add_option("index", options->index, "the item, counted from 0")->required();
    attach->add_option("image", options->source, "the image file")->required()->check(CLI::ExistingFile);
    attach->callback([options] {
        const std::vector<uint8_t> dib = LoadImageFile(options->source);
        Named(options->document, [&] { AttachDrawing(options->document, options->index, dib); });
    });
}

}  // namespace zro
