// What the shared library shows its callers: everything else stays hidden.
#pragma once

#define ZR_EXPORT __attribute__((visibility("default")))

// Source file names in log lines are the bare names, independent of where
// the tree was built.
#define ZR_FILE __FILE_NAME__
