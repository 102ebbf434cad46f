/*
 * notestore: the flat C interface.
 *
 * Includable from C (C99 and later) and C++. Every function has C linkage
 * and a plain exported name.
 *
 * Handles are opaque pointers to library objects. A database handle comes
 * from OL_CreateCategoryDB and stays valid until OL_DeleteCategoryDB; record
 * and recordset handles borrow from their database and stay valid while it
 * exists and its records are not replaced (OL_deleteAllCategories,
 * OL_CategoryReadRows, OL_CreateCategoryRecordset). Unless a function says
 * otherwise, a database handle must be a live one: null is not checked.
 *
 * Text is zero-terminated UTF-16 (OL_WCHAR). Times are unsigned 32-bit
 * seconds since 1970-01-01 00:00:00 UTC.
 *
 * Failures. No exception ever leaves these functions. When the library
 * meets an error the function returns its zero value (0, null, a zeroed
 * iterator; output buffers it had not written yet stay as they were) and
 * the calling thread's last-exception record tells what happened. Every call
 * of a function below, apart from the three OL_GetLastException readers,
 * first clears that record, so it always describes the thread's latest
 * call. The object stays in the state the failed operation left it in.
 */
#ifndef NOTESTORE_NOTESTORE_H
#define NOTESTORE_NOTESTORE_H

#include <stdint.h>

#if defined(__GNUC__)
#define OL_API __attribute__((visibility("default")))
#else
#define OL_API
#endif

#ifdef __cplusplus
extern "C" {
typedef char16_t OL_WCHAR;
#else
typedef uint16_t OL_WCHAR;
#endif

/* ---- Last exception ------------------------------------------------------ */

/* Kinds of the last-exception record. */
enum {
    OL_EXCEPTION_NONE = 0,      /* the latest call completed */
    OL_EXCEPTION_LIBRARY = 1,   /* a library error (also: no memory for its description) */
    OL_EXCEPTION_DATABASE = 2,  /* a damaged or foreign database file */
    OL_EXCEPTION_FILE = 3,      /* a file operation failed */
    OL_EXCEPTION_UNKNOWN = 4    /* anything else; no number, no text */
};

/* The kind of the record (OL_EXCEPTION_...). */
OL_API int32_t OL_GetLastExceptionKind(void);
/* The error number; 0xFFFFFFFF when there is none. */
OL_API uint32_t OL_GetLastExceptionNumber(void);
/* The description's length in characters, without the terminator (0 when
 * there is none). With a non-null buffer, also copies the description and
 * its terminator into it: call with null first to size the buffer. */
OL_API int32_t OL_GetLastExceptionText(OL_WCHAR* bufferOrNull);

/* ---- Memory blocks ------------------------------------------------------- */

/* Drawings and DIBs cross as memory block handles: heap blocks that know
 * their data size. A handle is not the data's address: MemGetPtr gives it.
 * The block functions are the library's own, so a block the library hands
 * out is freed with MemFree and a block handed in is made with MemAlloc. */
OL_API void* MemAlloc(uint32_t size);  /* null when no memory (size above 0) */
OL_API void MemFree(void* handle);     /* null is ignored */
OL_API void* MemGetPtr(void* handle);
OL_API void MemReleasePtr(void* handle);
OL_API void* MemRealloc(void* handle, uint32_t size);  /* null: the old block stays */
OL_API void* MemDuplicate(void* handle);
OL_API uint32_t MemGetSize(void* handle);

/* ---- Category database --------------------------------------------------- */

typedef struct OL_CategoryDB OL_CategoryDB;
typedef struct OL_CategoryRecord OL_CategoryRecord;
typedef struct OL_CategoryRecordset OL_CategoryRecordset;
/* The library's text object; only C++ callers of the library's classes can
 * make one (a zr_gen::_String). */
typedef struct OL_String OL_String;

/* A walk over the live categories, returned by value. It mirrors the
 * library's iterator exactly: the database it walks and its slot index,
 * which equals OL_GetCategoryRecordSize at the end. */
typedef struct OL_CategoryIterator {
    OL_CategoryDB* database;
    uint32_t position;
} OL_CategoryIterator;

/* A new, empty database object; null when memory for it cannot be had. */
OL_API OL_CategoryDB* OL_CreateCategoryDB(void);
/* Closes its file and destroys it with all its records; null is ignored. */
OL_API void OL_DeleteCategoryDB(OL_CategoryDB* db);

/* Mode 1: read (others may read); 2: create and write; 3: read and write.
 * 1 when opened; 0 when the file cannot be opened, for any other mode
 * (nothing opened), or when reading the db info fails (recorded; the file
 * may then be open: OL_CategoryClose closes it). */
OL_API int32_t OL_OpenCategoryFile(OL_CategoryDB* db, const OL_WCHAR* path, int32_t mode);
OL_API void OL_CheckCategoryDbInfo(OL_CategoryDB* db);
/* Replaces the records with an empty collection. */
OL_API void OL_CreateCategoryRecordset(OL_CategoryDB* db);
/* Makes the database new: the unfiled category in slot 0. */
OL_API void OL_CategoryInitNewDataBase(OL_CategoryDB* db);
OL_API void OL_CategoryReadExtraRows(OL_CategoryDB* db);
OL_API void OL_CategoryWriteExtraRows(OL_CategoryDB* db);
/* Reads the extra rows, then every record. */
OL_API void OL_CategoryReadRows(OL_CategoryDB* db);
/* Writes the extra rows and every record, and cuts the file after them. */
OL_API void OL_CategoryWriteRows(OL_CategoryDB* db);
OL_API void OL_WriteAllCategoryHeaders(OL_CategoryDB* db);
/* Closes the file; the records stay in memory. */
OL_API void OL_CategoryClose(OL_CategoryDB* db);

/* 16, with or without a database. */
OL_API uint8_t OL_GetMaxCategoryAmount(void);
OL_API OL_CategoryRecordset* OL_GetCatRecordset(OL_CategoryDB* db);
/* Record slots, holes included. */
OL_API int32_t OL_GetCategoryRecordSize(OL_CategoryDB* db);
/* Nonzero when 16 or more live categories exist. */
OL_API int32_t OL_isFull(OL_CategoryDB* db);
/* The first slot that holds no live category; with none, a slot is
 * appended and its index returned. */
OL_API uint32_t OL_FindFirstHole(OL_CategoryDB* db);
/* Appends empty slots until slot `slot` exists. */
OL_API void OL_ResizeDB(OL_CategoryDB* db, uint32_t slot);
/* Destroys every record: all record handles become invalid. */
OL_API void OL_deleteAllCategories(OL_CategoryDB* db);
/* Marks the record deleted (its slot becomes a hole) with the time. */
OL_API void OL_DeleteCategory(OL_CategoryDB* db, OL_CategoryRecord* record, uint32_t time);
/* Revives a deleted record, with the time and a newly allocated id. */
OL_API void OL_UndeleteCategory(OL_CategoryDB* db, OL_CategoryRecord* record, uint32_t time);
OL_API uint32_t OL_GetCategoryID(OL_CategoryDB* db, OL_CategoryRecord* record);
/* Also marks the record changed. */
OL_API void OL_SetCategoryID(OL_CategoryDB* db, OL_CategoryRecord* record, uint32_t id);
OL_API void OL_GetCatCategoryName(OL_CategoryDB* db, OL_CategoryRecord* record, OL_String* name);

/* Copies the name in the slot, with its terminator, into `buffer`, which
 * must hold the longest name and a terminator. A deleted record, or a slot
 * that does not exist, gives the empty string. */
OL_API void OL_GetIterCategoryName(OL_CategoryDB* db, OL_WCHAR* buffer, uint32_t slot);

/* The name functions below look at every record not marked deleted, in slot
 * order (empty slots that were never deleted included, their name being the
 * empty string), and compare names exactly, character by character. */

/* A new category with a newly allocated id in the first hole (its time left
 * as the slot had it). Null, and the database unchanged, when 16 live
 * categories exist already. */
OL_API OL_CategoryRecord* OL_AddNewCategorybyName(OL_CategoryDB* db, const OL_WCHAR* name);
/* The first record named `oldName` gets `newName` and is marked changed;
 * its id and time stay. Nothing changes when no record has the name, and
 * documents that use the old name are not touched. */
OL_API void OL_RenameCategory(OL_CategoryDB* db, const OL_WCHAR* oldName, const OL_WCHAR* newName);
/* The first record with the name, or null. */
OL_API OL_CategoryRecord* OL_FindCategorybyName(OL_CategoryDB* db, const OL_WCHAR* name);
/* The first record with the name is marked empty and deleted; its time and
 * changed flag stay. Nothing changes when no record has the name. */
OL_API void OL_DeleteCategorybyName(OL_CategoryDB* db, const OL_WCHAR* name);

/* On the first live category (at the end when there is none). */
OL_API OL_CategoryIterator OL_GetIterator(OL_CategoryDB* db);
/* On the second live category, or at the end; the same value on every call
 * while the database does not change. */
OL_API OL_CategoryIterator OL_GetNext(OL_CategoryDB* db);

/* ---- Bitmap bridge ------------------------------------------------------- */

/* Drawings cross as memory block handles (void*: the library's MemAlloc
 * blocks, whose data is a packed DIB: a 40-byte BITMAPINFOHEADER, the colour
 * table, the rows padded to 4 bytes). Bitmaps and palettes are objects of
 * the platform's graphics interface, pointer-sized, deleted by their owner
 * with OL_DeleteGraphicsObject.
 *
 * A DIB handed to these functions must have a width above 0, a height
 * other than 0 (negative: top-down rows), 1, 4, 8, 16, 24 or 32 bits per
 * pixel without compression, no more colours used than its depth has (none
 * above 8 bits), and an image size of 0 or at least its padded rows; any
 * other gives null. A null argument where an object is required is
 * reported on the trace log as an assertion and gives null. */
typedef struct OL_Bitmap OL_Bitmap;
typedef struct OL_Palette OL_Palette;

/* A new DIB block of the image file at `path` (PNG, JPEG, GIF or BMP),
 * loaded by the shell's image loader at the screen's depth: 1, 4 and 8 bits
 * stay so, more become 24 bits. A 1-bit DIB's table is black and white; a
 * 4- or 8-bit DIB's table is the first 16 or 256 entries of `palette` (the
 * default palette when null; missing entries black), and every pixel takes
 * the nearest of them. Null when the file does not load or memory runs out.
 * The caller owns the block. */
OL_API void* BitmapToDIB(const OL_WCHAR* path, OL_Palette* paletteOrNull);
/* A new DIB section holding the packed DIB at `dib`, through `palette` when
 * one is given; null on failure. The DIB stays with the caller; an image
 * size field of 0 is filled in. The caller owns the bitmap. */
OL_API OL_Bitmap* DIBToBitmap(void* dib, OL_Palette* paletteOrNull);
/* The same for the DIB in block `dib`, through a palette of its own colour
 * table (a halftone palette when it has none), which is deleted afterwards.
 * The block is checked against its size first and freed whenever it is not
 * null, also when the result is null. */
OL_API OL_Bitmap* ConvertDIBtoBitmap(void* dib);
/* Deletes a bitmap or palette of these functions: 1 done, 0 for a handle
 * that is not one (or still selected somewhere). The device's callers use
 * the system's DeleteObject; this is its counterpart here. */
OL_API int32_t OL_DeleteGraphicsObject(void* bitmapOrPalette);

#ifdef __cplusplus
}  /* extern "C" */
#endif

#endif /* NOTESTORE_NOTESTORE_H */
