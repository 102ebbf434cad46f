// Memory block handles: heap blocks that carry their data size.
//
// A handle is the address of a block of (size + 4) bytes whose first 4 bytes
// hold the data size (little-endian); the data follows. The handle is not the
// data address: MemGetPtr turns it into one. Drawings, DIBs and the buffers
// of SharedFile travel as such handles, also across the flat exports.
//
// These are flat exports too: a null handle (anywhere but MemFree, which
// ignores it) is asserted, gives the zero value and, when the caller called
// the function itself, sets the last-exception record (ExportBoundary.h).
#pragma once

#include <cstdint>

#include "notestore/foundation/Export.h"

using MemHandle = void*;

extern "C" {

// A new block of `size` data bytes (asserts a non-zero size); null when the
// heap is exhausted.
ZR_EXPORT MemHandle MemAlloc(uint32_t size);
ZR_EXPORT void MemFree(MemHandle handle);
// The data address (asserts a non-null handle).
ZR_EXPORT void* MemGetPtr(MemHandle handle);
// Nominal unlock (asserts a non-null handle); pointers stay valid until the
// block is freed or resized.
ZR_EXPORT void MemReleasePtr(MemHandle handle);
// Resizes to `size` data bytes, keeping the data up to the smaller size; the
// block may move. Null on failure, the old block then stays valid. A null
// handle is no block to resize (it does not allocate).
ZR_EXPORT MemHandle MemRealloc(MemHandle handle, uint32_t size);
// A new block with the same size and bytes; null on failure.
ZR_EXPORT MemHandle MemDuplicate(MemHandle handle);
ZR_EXPORT uint32_t MemGetSize(MemHandle handle);

}  // extern "C"
