/* The bitmap bridge from C, through notestore.h and the shared library
 * alone: a DIB made with the library's memory blocks becomes a bitmap, and
 * refused input gives null with the process going on. */
#include <stdio.h>
#include <string.h>

#include "notestore.h"

static int failures = 0;

static void check(int condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "failed: %s\n", what);
        ++failures;
    }
}

static void put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = (unsigned char)(v >> (8 * i));
}

/* A 2 x 2 24-bit DIB: a 40-byte header and two rows of 6 bytes padded to 8. */
static void* small_dib(void) {
    void* block = MemAlloc(40 + 16);
    if (block == NULL) return NULL;
    unsigned char* dib = (unsigned char*)MemGetPtr(block);
    memset(dib, 0, 40 + 16);
    put32(dib, 40);
    put32(dib + 4, 2);
    put32(dib + 8, 2);
    dib[12] = 1;  /* planes */
    dib[14] = 24; /* bits per pixel */
    memset(dib + 40, 0x7F, 6);
    return block;
}

int main(void) {
    void* block = small_dib();
    check(block != NULL, "MemAlloc gives a block");
    check(MemGetSize(block) == 56, "the block knows its size");

    OL_Bitmap* direct = DIBToBitmap(MemGetPtr(block), NULL);
    check(direct != NULL, "DIBToBitmap makes a bitmap of a sound DIB");
    check(OL_GetLastExceptionKind() == OL_EXCEPTION_NONE, "no exception recorded");
    check(OL_DeleteGraphicsObject(direct) == 1, "the bitmap is deleted");
    check(OL_DeleteGraphicsObject(direct) == 0, "a deleted bitmap is not deleted twice");

    OL_Bitmap* converted = ConvertDIBtoBitmap(block); /* frees the block */
    check(converted != NULL, "ConvertDIBtoBitmap makes a bitmap");
    check(OL_DeleteGraphicsObject(converted) == 1, "that bitmap is deleted");

    void* damaged = small_dib();
    put32((unsigned char*)MemGetPtr(damaged) + 4, 0x7FFFFFFF); /* rows far beyond the block */
    check(ConvertDIBtoBitmap(damaged) == NULL, "a damaged DIB gives null (and is freed)");

    static const OL_WCHAR missing[] = {'n', 'o', '-', 's', 'u', 'c', 'h', '.', 'p', 'n', 'g', 0};
    check(BitmapToDIB(missing, NULL) == NULL, "a missing image file gives null");
    check(DIBToBitmap(NULL, NULL) == NULL, "a null DIB gives null");

    if (failures == 0) printf("bridge API: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
