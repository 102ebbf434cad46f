/*
 * notestore: the flat C interface.
 *
 * Includable from C (C99 and later) and C++. Every function has C linkage
 * and a plain exported name.
 *
 * Handles are opaque pointers to library objects. A category database
 * handle comes from OL_CreateCategoryDB and stays valid until
 * OL_DeleteCategoryDB (outline documents: see their section); record
 * and recordset handles borrow from their database and stay valid while it
 * exists and its records are not replaced (OL_deleteAllCategories,
 * OL_CategoryReadRows, OL_CreateCategoryRecordset).
 *
 * Null arguments. Every handle, buffer and text argument may be null without
 * harm: the function then does nothing, writes an assertion line to the log,
 * returns its zero value and records a library failure
 * (OL_EXCEPTION_LIBRARY, number 0xFFFFFFFF). The exceptions are parameters
 * named "...OrNull", where null has the meaning the function states, the
 * unused first argument of OL_CopyRecord, and the delete functions
 * (OL_DeleteCategoryDB, OL_DeleteOutlineDB, OL_DeleteCOutlineRecord,
 * MemFree), which ignore null as free() does. A handle that is not null must
 * still be a live one.
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

/* ---- Text limits ---------------------------------------------------------- */

/* The most characters (UTF-16 code units, without the terminator) that
 * OL_GetCategoryName and OL_GetIterCategoryName copy: the category
 * database's name limit. A buffer of OL_CATEGORY_NAME_MAX + 1 units always
 * suffices. */
#define OL_CATEGORY_NAME_MAX 31
/* The most characters OL_GetOutlineTitle copies: the longest file name the
 * device's file systems allow, since a title names its document. A buffer of
 * OL_OUTLINE_TITLE_MAX + 1 units always suffices. */
#define OL_OUTLINE_TITLE_MAX 255
/* A longer text is cut there; a cut never separates the two halves of a
 * surrogate pair (the text then ends one unit earlier). */

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

/* Copies the name in the slot, cut to OL_CATEGORY_NAME_MAX characters, with
 * its terminator into `buffer` (OL_CATEGORY_NAME_MAX + 1 units). A deleted
 * record, or a slot that does not exist, gives the empty string. */
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

/* ---- Outline documents --------------------------------------------------- */

/* A document handle comes from OL_CreateOutlineDB and stays valid until
 * OL_DeleteOutlineDB. Record handles of the document's recordset
 * (OL_GetRecord, OL_AppendRecordSet, OL_DuplicateRecord) belong to the
 * document; records from OL_CreateOutlineRecord and OL_CreateDBRecord belong
 * to the caller until OL_AddtoRS, and are freed with OL_DeleteCOutlineRecord.
 * OL_BOOL results are 0 or 1; any non-zero OL_BOOL argument means true.
 * The results that outlive a call (the font record of OL_GetOutlineFont, the
 * pair of OL_GetDrawingSize, the text of OL_GetRecordString) are held by the
 * library, one of each per process, and replaced by the next such call. */
typedef uint8_t OL_BOOL;
typedef struct OL_OutlineDB OL_OutlineDB;
typedef struct OL_OutlineRecord OL_OutlineRecord;
typedef struct OL_OutlineRecordset OL_OutlineRecordset;
typedef struct OL_OutlineHeader OL_OutlineHeader;

/* The platform's font record: 28 bytes of metrics, then the face name. */
typedef struct OL_LogFont {
    int32_t height, width, escapement, orientation, weight;
    uint8_t italic, underline, strikeOut, charSet;
    uint8_t outPrecision, clipPrecision, quality, pitchAndFamily;
    OL_WCHAR faceName[32];
} OL_LogFont;

/* A window placement: length 44, then flags, showCmd, the minimized and
 * maximized positions (x, y) and the normal rectangle (left, top, right,
 * bottom). */
typedef struct OL_WindowPlacement {
    uint32_t length, flags, showCmd;
    int32_t minX, minY, maxX, maxY;
    int32_t left, top, right, bottom;
} OL_WindowPlacement;

/* A new document object with its default headers; null when memory for it
 * cannot be had. Deleting closes its file and frees it; null is ignored. */
OL_API OL_OutlineDB* OL_CreateOutlineDB(void);
OL_API void OL_DeleteOutlineDB(OL_OutlineDB* db);
OL_API void OL_CheckDbInfo(OL_OutlineDB* db);
/* `mode` takes the library's open flags (read 0x0000, write 0x0001, read and
 * write 0x0002, sharing 0x0010-0x0040, create 0x1000, no truncate 0x2000).
 * 1 when opened (and, without create, its db info and header table read
 * and accepted); 0 when the file cannot be opened or is refused, the
 * document then closed. */
OL_API int32_t OL_Open(OL_OutlineDB* db, const OL_WCHAR* path, uint32_t mode);
OL_API void OL_CreateRecordset(OL_OutlineDB* db);
OL_API void OL_ReadExtraRows(OL_OutlineDB* db);
OL_API void OL_WriteExtraRows(OL_OutlineDB* db);
OL_API void OL_InitNewDataBase(OL_OutlineDB* db);
/* 1 when the file has the header and it was read. */
OL_API OL_BOOL OL_ReadSharedHeader(OL_OutlineDB* db);
OL_API void OL_WriteSharedHeader(OL_OutlineDB* db);
OL_API OL_BOOL OL_ReadPrivateHeader(OL_OutlineDB* db);
OL_API void OL_WritePrivateHeader(OL_OutlineDB* db);
/* The deleted-id list, then every row. */
OL_API void OL_ReadRows(OL_OutlineDB* db);
/* The deleted-id list and every row; the file ends after the last row. */
OL_API void OL_WriteRows(OL_OutlineDB* db);
OL_API void OL_WriteAllHeaders(OL_OutlineDB* db);
OL_API void OL_Close(OL_OutlineDB* db);
/* Empties the deleted-id list, then deletes every record; with keepIds the
 * non-zero ids of those records become the list. */
OL_API void OL_DeleteAll(OL_OutlineDB* db, OL_BOOL keepIds);
/* Removes the record from the recordset; its id is not listed. */
OL_API void OL_Delete(OL_OutlineDB* db, OL_OutlineRecord* rec);
OL_API OL_BOOL OL_IsDeletedId(OL_OutlineDB* db, uint32_t id);
OL_API OL_BOOL OL_IsDeletedRec(OL_OutlineDB* db, OL_OutlineRecord* rec);
OL_API void OL_AddDeletedId(OL_OutlineDB* db, uint32_t id);
/* Removes the first occurrence. */
OL_API void OL_removeDeletedId(OL_OutlineDB* db, uint32_t id);
/* Category name, private flag, numbering and divider. */
OL_API OL_BOOL OL_compareSharedHeader(OL_OutlineDB* db, OL_OutlineDB* other);
/* Show-checked-items value and title. */
OL_API OL_BOOL OL_comparePrivateHeader(OL_OutlineDB* db, OL_OutlineDB* other);
/* db's header becomes a copy of other's; returns db's header object. */
OL_API OL_OutlineHeader* OL_copySharedHeader(OL_OutlineDB* db, OL_OutlineDB* other);
OL_API OL_OutlineHeader* OL_copyPrivateHeader(OL_OutlineDB* db, OL_OutlineDB* other);

/* Header fields. The two text getters return the length in characters
 * (without the terminator) of what they copy: the text cut to
 * OL_CATEGORY_NAME_MAX or OL_OUTLINE_TITLE_MAX characters. With a buffer
 * (of that maximum + 1 units) they copy it and a terminator; with null they
 * copy nothing, so the length can be asked first. */
OL_API int32_t OL_GetCategoryName(OL_OutlineDB* db, OL_WCHAR* bufferOrNull);
/* A different name also sets the outline-changed flag. */
OL_API void OL_SetCategoryName(OL_OutlineDB* db, const OL_WCHAR* name);
OL_API OL_BOOL OL_GetCategoryChanged(OL_OutlineDB* db);
OL_API void OL_SetCategoryChanged(OL_OutlineDB* db, OL_BOOL changed);
OL_API int32_t OL_GetOutlineTitle(OL_OutlineDB* db, OL_WCHAR* bufferOrNull);
OL_API void OL_SetOutlineTitle(OL_OutlineDB* db, const OL_WCHAR* title);
OL_API OL_BOOL OL_GetPrivate(OL_OutlineDB* db);
OL_API void OL_SetPrivate(OL_OutlineDB* db, OL_BOOL isPrivate);
OL_API OL_BOOL OL_GetPrivateTagChanged(OL_OutlineDB* db);
OL_API void OL_SetPrivateTagChanged(OL_OutlineDB* db, OL_BOOL changed);
OL_API OL_BOOL OL_GetOutlineChanged(OL_OutlineDB* db);
OL_API void OL_SetOutlineChanged(OL_OutlineDB* db, OL_BOOL changed);
OL_API OL_BOOL OL_GetSynchronized(OL_OutlineDB* db);
OL_API void OL_SetSynchronized(OL_OutlineDB* db, OL_BOOL synchronized);
/* Exactly 10 bytes. */
OL_API void OL_getNumbering(OL_OutlineDB* db, uint8_t* numbering);
OL_API void OL_setNumbering(OL_OutlineDB* db, const uint8_t* numbering);
OL_API OL_BOOL OL_getNumberingChanged(OL_OutlineDB* db);
OL_API void OL_setNumberingChanged(OL_OutlineDB* db, OL_BOOL changed);
OL_API uint16_t OL_getNumberingDivider(OL_OutlineDB* db);
OL_API void OL_setNumberingDivider(OL_OutlineDB* db, uint16_t divider);
OL_API OL_BOOL OL_getNumberingDividerChanged(OL_OutlineDB* db);
OL_API void OL_setNumberingDividerChanged(OL_OutlineDB* db, OL_BOOL changed);
OL_API uint8_t OL_GetShowCheckedItems(OL_OutlineDB* db);
OL_API void OL_SetShowCheckedItems(OL_OutlineDB* db, uint8_t mode);
OL_API OL_BOOL OL_ShowCheckedItemsChanged(OL_OutlineDB* db);
OL_API void OL_setCheckedItemsChanged(OL_OutlineDB* db, OL_BOOL changed);
OL_API uint32_t OL_GetSelectedIndex(OL_OutlineDB* db);
OL_API void OL_SetSelectedIndex(OL_OutlineDB* db, uint32_t index);
OL_API uint32_t OL_GetTopIndex(OL_OutlineDB* db);
OL_API void OL_SetTopIndex(OL_OutlineDB* db, uint32_t index);
OL_API uint8_t OL_GetShowHeadingsMode(OL_OutlineDB* db);
OL_API void OL_SetShowHeadingsMode(OL_OutlineDB* db, uint8_t mode);
/* Stores a font of the face, height (not 0), weight and the three flags,
 * given in this order; every other field 0, and the font colour reset to 0.
 * A face name of more than 31 characters is cut to 31. */
OL_API void OL_SetOutlineFont(OL_OutlineDB* db, const OL_WCHAR* faceName, int32_t height, int32_t weight,
                              uint8_t strikeOut, uint8_t underline, uint8_t italic);
/* The stored font, in the library-held record. */
OL_API const OL_LogFont* OL_GetOutlineFont(OL_OutlineDB* db);
/* The window placement goes through the caller's record (its length field
 * is not stored; on reading it becomes 44). */
OL_API void OL_SetOultineWindowPos(OL_OutlineDB* db, const OL_WindowPlacement* placement);
OL_API void OL_GetOutlineWindowPos(OL_OutlineDB* db, OL_WindowPlacement* placement);

/* Records of the document, by index 0 to OL_GetSize - 1. An index beyond
 * the end gives null (or 0, the empty text) after an assertion line. */
OL_API int32_t OL_GetSize(OL_OutlineDB* db);
OL_API OL_OutlineRecordset* OL_GetRecordSet(OL_OutlineDB* db);
OL_API OL_OutlineRecord* OL_GetRecord(OL_OutlineDB* db, uint32_t index);
/* A new record with the default fields at the end. */
OL_API OL_OutlineRecord* OL_AppendRecordSet(OL_OutlineDB* db);
/* A new record with the default fields, not in the recordset: the caller's. */
OL_API OL_OutlineRecord* OL_CreateDBRecord(OL_OutlineDB* db);
/* Appends a record of the caller's, which the document then owns. */
OL_API void OL_AddtoRS(OL_OutlineDB* db, OL_OutlineRecord* rec);
/* Destroys the record without touching the recordset's list. */
OL_API void OL_DeleteDBRecord(OL_OutlineDB* db, OL_OutlineRecord* rec);
/* Forgets every record without destroying it. */
OL_API void OL_EmptyRS(OL_OutlineDB* db);
/* Reads the row at the file position into the record. */
OL_API void OL_ReadRow(OL_OutlineDB* db, uint32_t filePos, OL_OutlineRecord* rec);
/* dst becomes a copy of src's fields (it keeps its index and is no file
 * record); returns dst. The first argument is not used. */
OL_API OL_OutlineRecord* OL_CopyRecord(void* unused, OL_OutlineRecord* dst, OL_OutlineRecord* src);
/* A copy of src with id 0 appended to the recordset, or null. */
OL_API OL_OutlineRecord* OL_DuplicateRecord(OL_OutlineDB* db, OL_OutlineRecord* src);
/* The record's text in the library-held buffer. */
OL_API const OL_WCHAR* OL_GetRecordString(OL_OutlineDB* db, uint32_t index);
OL_API OL_BOOL OL_GetRecordChecked(OL_OutlineDB* db, uint32_t index);
OL_API uint8_t OL_GetRecordLevel(OL_OutlineDB* db, uint32_t index);
OL_API uint32_t OL_GetRecordId(OL_OutlineDB* db, uint32_t index);

/* Outline items. */
/* A record without any field yet (OL_Init gives it the defaults); null when
 * memory cannot be had. Deleting a null record is ignored. */
OL_API OL_OutlineRecord* OL_CreateOutlineRecord(void);
OL_API void OL_DeleteCOutlineRecord(OL_OutlineRecord* rec);
OL_API void OL_Init(OL_OutlineRecord* rec);
OL_API uint32_t OL_GetId(OL_OutlineRecord* rec);
OL_API void OL_SetId(OL_OutlineRecord* rec, uint32_t id);
OL_API uint8_t OL_GetIndent(OL_OutlineRecord* rec);
/* Stores the low 8 bits. */
OL_API void OL_SetIndent(OL_OutlineRecord* rec, uint32_t indent);
/* The text's length in characters; with a buffer, also copies the text and
 * its terminator into it (call with null first to size it). */
OL_API int32_t OL_GetText(OL_OutlineRecord* rec, OL_WCHAR* bufferOrNull);
OL_API void OL_SetText(OL_OutlineRecord* rec, const OL_WCHAR* text);
OL_API void OL_DeleteText(OL_OutlineRecord* rec);
OL_API int32_t OL_GetNote(OL_OutlineRecord* rec, OL_WCHAR* bufferOrNull);
OL_API void OL_SetNote(OL_OutlineRecord* rec, const OL_WCHAR* note);
OL_API void OL_DeleteNote(OL_OutlineRecord* rec);
OL_API OL_BOOL OL_HasNote(OL_OutlineRecord* rec);
OL_API OL_BOOL OL_GetExpanded(OL_OutlineRecord* rec);
OL_API void OL_SetExpanded(OL_OutlineRecord* rec, OL_BOOL expanded);
OL_API OL_BOOL OL_GetChecked(OL_OutlineRecord* rec);
OL_API void OL_SetChecked(OL_OutlineRecord* rec, OL_BOOL checked);
OL_API OL_BOOL OL_HasDrawing(OL_OutlineRecord* rec);
/* A new DIB block the caller owns; null without a drawing or on failure. */
OL_API void* OL_GetDrawing(OL_OutlineRecord* rec);
/* Stores the DIB in block `dib` as the drawing. 1: the block was taken
 * (converted and freed by the library); 0: it is still the caller's (it
 * did not convert) and the drawing is unchanged. */
OL_API OL_BOOL OL_SetDrawing(OL_OutlineRecord* rec, void* dib);
OL_API void OL_DeleteBitmap(OL_OutlineRecord* rec);
/* Stores the drawing's width and height (0 and 0 without one) in the
 * library-held pair that OL_GetSizeX and OL_GetSizeY read. */
OL_API void OL_GetDrawingSize(OL_OutlineRecord* rec);
OL_API int32_t OL_GetSizeX(void);
OL_API int32_t OL_GetSizeY(void);
/* Sets the changed bits of the fields from a comparison with prev. */
OL_API void OL_UpdateChangedFields(OL_OutlineRecord* rec, OL_OutlineRecord* prev);
/* Sets the changed flag from the changed bits (expansion does not count). */
OL_API void OL_updateRecordChanged(OL_OutlineRecord* rec);
OL_API OL_BOOL OL_IsChanged(OL_OutlineRecord* rec);
OL_API void OL_SetNew(OL_OutlineRecord* rec, OL_BOOL value);
OL_API void OL_SetSortChanged(OL_OutlineRecord* rec, OL_BOOL value);
OL_API uint32_t OL_GetIndex(OL_OutlineRecord* rec);
/* The row's file position; 0xFFFFFFFF for a record never in a file. */
OL_API uint32_t OL_GetPos(OL_OutlineRecord* rec);
OL_API OL_BOOL OL_IsFileRecord(OL_OutlineRecord* rec);

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
 * other gives null. So does a picture larger than a bitmap may be (a side
 * above 16384 pixels, or more than 64 Mi pixels), or an image size of
 * padding a row or more beyond its rows. */
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
