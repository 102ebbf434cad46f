/* What the C callers of the flat interface share: a check that counts its
 * failures and goes on, and comparing UTF-16 text with ASCII text. */
#ifndef NOTESTORE_TESTS_C_CHECK_H
#define NOTESTORE_TESTS_C_CHECK_H

#include <stddef.h>
#include <stdio.h>

#include "notestore.h"

static int failures = 0;

#define CHECK(condition)                                                                  \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            ++failures;                                                                   \
        }                                                                                 \
    } while (0)

static inline int SameText(const OL_WCHAR* wide, const char* ascii) {
    size_t i = 0;
    for (; ascii[i] != '\0'; ++i) {
        if (wide[i] != (OL_WCHAR)(unsigned char)ascii[i]) return 0;
    }
    return wide[i] == 0;
}

#endif
