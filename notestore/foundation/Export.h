// What the shared library shows its callers: everything else stays hidden.
#pragma once

#define ZR_EXPORT __attribute__((visibility("default")))
// A member of an exported class kept out of the shared library: for the
// programs built from the library's objects (the tools), not for its callers.
#define ZR_INTERNAL __attribute__((visibility("hidden")))

// Source file names in log lines are the bare names, independent of where
// the tree was built.
#define ZR_FILE __FILE_NAME__
