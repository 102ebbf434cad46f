// The device's locale-aware, case-sensitive text comparison ("word sort"),
// as the category code needs it to recognise the unfiled category.
//
// Two texts are compared level by level over their whole length, each level
// deciding only when all earlier ones tie:
//   1. letters, digits and symbols without regard to accent or case:
//      symbols and blanks (by code) < digits < letters a…z < characters
//      beyond Latin-1 (by code). Æ/æ sorts as a letter of its own right
//      after a, Ð/ð after d, ß after s, Þ/þ after t;
//   2. accents: none < grave < acute < circumflex < tilde < diaeresis <
//      ring < cedilla < stroke;
//   3. case: lowercase before uppercase, so "a" < "A" < "b";
//   4. hyphens and apostrophes, ignored until here: a text with fewer of
//      them, or with them further back, sorts first ("coop" < "co-op");
//      at the same place an apostrophe sorts before a hyphen.
// Where a level runs out on one side first, the shorter side sorts first.
// Texts that tie on all four are equal only when their code units are (the
// units decide last), so equality is exact identity. Combining marks and
// ligature expansions are not interpreted.
#pragma once

#include <cstdint>

namespace zr_gen {

// Negative, zero or positive as `a` sorts before, with or after `b`; a null
// text counts as the empty text.
int32_t CompareWords(const char16_t* a, const char16_t* b);

}  // namespace zr_gen
