// Carrying a category's new name (or its removal) into the documents that
// name it: documents keep their category as text in their shared header.
// This unit sits above the outline documents it rewrites.
#pragma once

#include "notestore/foundation/Export.h"

namespace zr_gen {

// Rewrites the category of the document at `path` to `newName` (with the
// category-changed and outline-changed flags set) when it is `oldName`
// (exactly), or always with `force`. Only the shared header is written, in
// place. True when the document was processed, rewritten or not; false when
// anything failed (the failure is logged; the file is as the failure found
// it). Never raises.
ZR_EXPORT bool updateFileCategory(const char16_t* path, bool force, const char16_t* oldName, const char16_t* newName);

// updateFileCategory, without force, on every "*.<extension>" file of
// `directory`; a document that fails is skipped. A null `newName` means the
// unfiled category. Null directory, extension or old name are asserted.
ZR_EXPORT void updateCategory(const char16_t* directory, const char16_t* extension, const char16_t* oldName,
                              const char16_t* newName);

}  // namespace zr_gen
