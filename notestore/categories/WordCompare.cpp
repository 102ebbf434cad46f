#include "notestore/categories/WordCompare.h"

#include <string_view>

namespace zr_gen {

namespace {

enum Accent : uint8_t { kNone, kGrave, kAcute, kCircumflex, kTilde, kDiaeresis, kRing, kCedilla, kStroke };

struct Weights {
    uint32_t primary = 0;
    uint8_t accent = kNone;
    uint8_t upper = 0;
    bool special = false;  // hyphen or apostrophe
};

constexpr uint32_t kDigitBase = 0x200;
constexpr uint32_t kLetterBase = 0x300;
constexpr uint32_t kBeyondLatin1Base = 0x10000;

// Each letter a…z owns two primary weights: its own and the one of the
// letter of its own right that follows it (æ after a and so on).
constexpr uint32_t LetterPrimary(char base, bool ownLetter) {
    return kLetterBase + static_cast<uint32_t>(base - 'a') * 2 + (ownLetter ? 1 : 0);
}

struct Latin1Letter {
    char base;  // 0: not a letter
    uint8_t accent;
    bool ownLetter;
};

// U+00C0 to U+00DF; U+00E0 to U+00FE are the same letters in lowercase.
constexpr Latin1Letter kLatin1Letters[32] = {
    {'a', kGrave, false},      {'a', kAcute, false},     {'a', kCircumflex, false}, {'a', kTilde, false},
    {'a', kDiaeresis, false},  {'a', kRing, false},      {'a', kNone, true},        {'c', kCedilla, false},
    {'e', kGrave, false},      {'e', kAcute, false},     {'e', kCircumflex, false}, {'e', kDiaeresis, false},
    {'i', kGrave, false},      {'i', kAcute, false},     {'i', kCircumflex, false}, {'i', kDiaeresis, false},
    {'d', kNone, true},        {'n', kTilde, false},     {'o', kGrave, false},      {'o', kAcute, false},
    {'o', kCircumflex, false}, {'o', kTilde, false},     {'o', kDiaeresis, false},  {0, kNone, false},
    {'o', kStroke, false},     {'u', kGrave, false},     {'u', kAcute, false},      {'u', kCircumflex, false},
    {'u', kDiaeresis, false},  {'y', kAcute, false},     {'t', kNone, true},        {'s', kNone, true},
};

constexpr char16_t kSharpS = 0x00DF;
constexpr char16_t kYDiaeresis = 0x00FF;

Weights WeightsOf(char16_t c) {
    Weights w;
    if (c == u'-' || c == u'\'') {
        w.special = true;
    } else if (c >= u'0' && c <= u'9') {
        w.primary = kDigitBase + (c - u'0');
    } else if (c >= u'a' && c <= u'z') {
        w.primary = LetterPrimary(static_cast<char>(c), false);
    } else if (c >= u'A' && c <= u'Z') {
        w.primary = LetterPrimary(static_cast<char>(c - u'A' + u'a'), false);
        w.upper = 1;
    } else if (c == kYDiaeresis) {
        w.primary = LetterPrimary('y', false);
        w.accent = kDiaeresis;
    } else if (c >= 0x00C0 && c <= 0x00FE && kLatin1Letters[(c - 0x00C0) & 0x1F].base != 0) {
        const Latin1Letter& letter = kLatin1Letters[(c - 0x00C0) & 0x1F];
        w.primary = LetterPrimary(letter.base, letter.ownLetter);
        w.accent = letter.accent;
        w.upper = c < kSharpS ? 1 : 0;
    } else if (c <= 0x00FF) {
        w.primary = c;  // blanks, controls and symbols, which all sort below 0x200
    } else {
        w.primary = kBeyondLatin1Base + c;
    }
    return w;
}

int32_t Sign(int64_t difference) { return difference < 0 ? -1 : difference > 0 ? 1 : 0; }

// When one side has run out: it sorts first, unless both have.
int32_t EndOrder(bool aDone, bool bDone) { return aDone == bDone ? 0 : aDone ? -1 : 1; }

// One level over the characters that are not special: the first difference
// decides, else the side with fewer characters sorts first.
template <class Weight>
int32_t CompareLevel(std::u16string_view a, std::u16string_view b, Weight weight) {
    size_t i = 0;
    size_t j = 0;
    for (;;) {
        while (i < a.size() && WeightsOf(a[i]).special) ++i;
        while (j < b.size() && WeightsOf(b[j]).special) ++j;
        if (i == a.size() || j == b.size()) return EndOrder(i == a.size(), j == b.size());
        const int32_t order = Sign(static_cast<int64_t>(weight(WeightsOf(a[i]))) - weight(WeightsOf(b[j])));
        if (order != 0) return order;
        ++i;
        ++j;
    }
}

// The hyphens and apostrophes: the first one at a different place or of a
// different kind decides; one further back, or none, sorts first.
int32_t CompareSpecials(std::u16string_view a, std::u16string_view b) {
    size_t i = 0;
    size_t j = 0;
    for (;;) {
        while (i < a.size() && !WeightsOf(a[i]).special) ++i;
        while (j < b.size() && !WeightsOf(b[j]).special) ++j;
        if (i == a.size() || j == b.size()) return EndOrder(i == a.size(), j == b.size());
        if (i != j) return i < j ? 1 : -1;
        if (a[i] != b[j]) return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
}

}  // namespace

int32_t CompareWords(const char16_t* a, const char16_t* b) {
    const std::u16string_view left = a != nullptr ? std::u16string_view(a) : std::u16string_view();
    const std::u16string_view right = b != nullptr ? std::u16string_view(b) : std::u16string_view();
    int32_t order = CompareLevel(left, right, [](const Weights& w) { return w.primary; });
    if (order == 0) order = CompareLevel(left, right, [](const Weights& w) { return uint32_t{w.accent}; });
    if (order == 0) order = CompareLevel(left, right, [](const Weights& w) { return uint32_t{w.upper}; });
    if (order == 0) order = CompareSpecials(left, right);
    if (order == 0) order = Sign(left.compare(right));
    return order;
}

}  // namespace zr_gen
