// The drawing compressor against LZ4 and a plain copy, on the same inputs:
// a 240x320 24-bit drawing, two mostly blank 240x320 sketches (a few strokes
// on white, 24-bit and 8-bit), 10 KB of English text and 1 MB of mixed data.
// Every stream of ours is first checked against the plain item-by-item
// encoder of the tests. Throughput counts the uncompressed bytes in both directions; every
// object is warmed by one call first, so no run includes the allocation of
// a work block. A warm object also keeps its encoder's hash table, which it
// need not clear per call; LZ4_compress_default, its usual entry point,
// prepares its own 16 KiB table on every call.
#include <benchmark/benchmark.h>
#include <lz4.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "notestore/drawings/Compression.h"
#include "tests/support/ReferenceEncoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kWidth = 240;
constexpr int kHeight = 320;

// White, with strokes of a few pen colours: random walks three pixels wide,
// the way a finger drawing on the device looks.
Bytes Drawing() {
    Bytes pixels(static_cast<size_t>(kWidth) * kHeight * 3, 0xFF);
    std::mt19937 engine(240320);
    const uint8_t pens[][3] = {{0, 0, 0}, {0, 0, 255}, {255, 0, 0}, {0, 128, 0}, {255, 128, 0}};
    for (int stroke = 0; stroke < 25; ++stroke) {
        const uint8_t* pen = pens[engine() % std::size(pens)];
        int x = static_cast<int>(engine() % kWidth);
        int y = static_cast<int>(engine() % kHeight);
        for (int step = 0; step < 150; ++step) {
            x = std::clamp(x + static_cast<int>(engine() % 5) - 2, 0, kWidth - 3);
            y = std::clamp(y + static_cast<int>(engine() % 5) - 2, 0, kHeight - 3);
            for (int dy = 0; dy < 3; ++dy) {
                for (int dx = 0; dx < 3; ++dx) std::memcpy(&pixels[((y + dy) * kWidth + x + dx) * 3], pen, 3);
            }
        }
    }
    return pixels;
}

// A mostly blank sketch: white, with four short strokes of one pen;
// `depth` bytes a pixel (an 8-bit sketch holds palette indices, white 0xFF).
Bytes Sketch(int depth) {
    Bytes pixels(static_cast<size_t>(kWidth) * kHeight * depth, 0xFF);
    std::mt19937 engine(4 + depth);
    const uint8_t pen[3] = {0x20, 0x40, 0xC0};
    for (int stroke = 0; stroke < 4; ++stroke) {
        int x = static_cast<int>(engine() % kWidth);
        int y = static_cast<int>(engine() % kHeight);
        for (int step = 0; step < 60; ++step) {
            x = std::clamp(x + static_cast<int>(engine() % 5) - 2, 0, kWidth - 3);
            y = std::clamp(y + static_cast<int>(engine() % 5) - 2, 0, kHeight - 3);
            for (int d = 0; d < 9; ++d) std::memcpy(&pixels[((y + d / 3) * kWidth + x + d % 3) * depth], pen, depth);
        }
    }
    return pixels;
}

// Sentences of common English words, capitalised and punctuated.
std::string English(size_t size, uint32_t seed) {
    static const char* const kWords[] = {
        "the",    "of",      "and",    "to",     "in",      "a",      "is",    "that",  "for",     "it",
        "as",     "was",     "with",   "be",     "by",      "on",     "not",   "he",    "this",    "are",
        "or",     "his",     "from",   "at",     "which",   "but",    "have",  "an",    "had",     "they",
        "you",    "were",    "their",  "one",    "all",     "we",     "can",   "her",   "has",     "there",
        "been",   "if",      "more",   "when",   "will",    "would",  "who",   "so",    "no",      "meeting",
        "notes",  "project", "garden", "letter", "morning", "window", "river", "house", "without", "between",
        "people", "always",  "little", "before", "another", "should", "number", "water", "problem", "together"};
    std::mt19937 engine(seed);
    std::string text;
    bool sentenceStart = true;
    while (text.size() < size) {
        std::string word = kWords[engine() % std::size(kWords)];
        if (sentenceStart) word[0] = static_cast<char>(word[0] - 'a' + 'A');
        text += word;
        const uint32_t roll = engine() % 12;
        sentenceStart = roll == 0;
        text += roll == 0 ? ". " : roll == 1 ? ", " : " ";
        if (roll == 0 && engine() % 5 == 0) text += "\n\n";
    }
    text.resize(size);
    return text;
}

Bytes Text() {
    const std::string text = English(10 * 1024, 10);
    return Bytes(text.begin(), text.end());
}

// Blocks of text, runs and random bytes in random order and sizes.
Bytes Mixed() {
    constexpr size_t kSize = 1024 * 1024;
    std::mt19937 engine(1048576);
    Bytes bytes;
    while (bytes.size() < kSize) {
        const size_t block = 256 + engine() % 8192;
        switch (engine() % 3) {
            case 0: {
                const std::string text = English(block, engine());
                bytes.insert(bytes.end(), text.begin(), text.end());
                break;
            }
            case 1:
                bytes.insert(bytes.end(), block, static_cast<uint8_t>(engine()));
                break;
            default:
                for (size_t i = 0; i < block; ++i) bytes.push_back(static_cast<uint8_t>(engine()));
        }
    }
    bytes.resize(kSize);
    return bytes;
}

const Bytes& Input(int which) {
    static const Bytes inputs[] = {Drawing(), Text(), Mixed(), Sketch(3), Sketch(1)};
    return inputs[which];
}

const char* const kInputNames[] = {"drawing", "text", "mixed", "sketch24", "sketch8"};

void SetThroughput(benchmark::State& state, const Bytes& input) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(input.size()));
}

void CompressOurs(benchmark::State& state, int which) {
    const Bytes& input = Input(which);
    CCompression compression;
    uint8_t* stream = nullptr;
    uint32_t size = 0;
    compression.Compress(input.data(), static_cast<uint32_t>(input.size()), stream, &size);
    if (Bytes(stream, stream + size) != testsupport::ReferenceStream(input)) state.SkipWithError("not the reference stream");
    for (auto _ : state) {
        compression.Compress(input.data(), static_cast<uint32_t>(input.size()), stream, &size);
        benchmark::DoNotOptimize(stream);
        benchmark::ClobberMemory();
    }
    SetThroughput(state, input);
    state.counters["compressed"] = static_cast<double>(size) / static_cast<double>(input.size());
}

void DecompressOurs(benchmark::State& state, int which) {
    const Bytes& input = Input(which);
    CCompression compression;
    uint8_t* result = nullptr;
    uint32_t size = 0;
    compression.Compress(input.data(), static_cast<uint32_t>(input.size()), result, &size);
    const Bytes stream(result, result + size);
    compression.Decompress(stream.data(), size, result, &size);
    if (Bytes(result, result + size) != input) state.SkipWithError("round trip");
    for (auto _ : state) {
        compression.Decompress(stream.data(), static_cast<uint32_t>(stream.size()), result, &size);
        benchmark::DoNotOptimize(result);
        benchmark::ClobberMemory();
    }
    SetThroughput(state, input);
}

void CompressLz4(benchmark::State& state, int which) {
    const Bytes& input = Input(which);
    const int source = static_cast<int>(input.size());
    std::vector<char> stream(static_cast<size_t>(LZ4_compressBound(source)));
    int size = 0;
    for (auto _ : state) {
        size = LZ4_compress_default(reinterpret_cast<const char*>(input.data()), stream.data(), source,
                                    static_cast<int>(stream.size()));
        benchmark::DoNotOptimize(stream.data());
        benchmark::ClobberMemory();
    }
    SetThroughput(state, input);
    state.counters["compressed"] = static_cast<double>(size) / static_cast<double>(input.size());
}

void DecompressLz4(benchmark::State& state, int which) {
    const Bytes& input = Input(which);
    const int source = static_cast<int>(input.size());
    std::vector<char> stream(static_cast<size_t>(LZ4_compressBound(source)));
    const int size = LZ4_compress_default(reinterpret_cast<const char*>(input.data()), stream.data(), source,
                                          static_cast<int>(stream.size()));
    Bytes output(input.size());
    for (auto _ : state) {
        const int produced = LZ4_decompress_safe(stream.data(), reinterpret_cast<char*>(output.data()), size, source);
        benchmark::DoNotOptimize(produced);
        benchmark::ClobberMemory();
    }
    if (output != input) state.SkipWithError("round trip");
    SetThroughput(state, input);
}

void Memcpy(benchmark::State& state, int which) {
    const Bytes& input = Input(which);
    Bytes output(input.size());
    for (auto _ : state) {
        std::memcpy(output.data(), input.data(), input.size());
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    SetThroughput(state, input);
}

void Register() {
    const struct {
        const char* name;
        void (*run)(benchmark::State&, int);
    } kinds[] = {{"Compress/ours", CompressOurs}, {"Compress/lz4", CompressLz4}, {"Decompress/ours", DecompressOurs},
                 {"Decompress/lz4", DecompressLz4}, {"Memcpy", Memcpy}};
    for (int which = 0; which < static_cast<int>(std::size(kInputNames)); ++which) {
        for (const auto& kind : kinds) {
            benchmark::RegisterBenchmark((std::string(kind.name) + "/" + kInputNames[which]).c_str(), kind.run, which)
                ->Unit(benchmark::kMicrosecond);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
