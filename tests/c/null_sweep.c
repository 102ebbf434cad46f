/* Every function of notestore.h called with null handles and buffers, each
 * call in a child process of its own: none may end the process, and each
 * must record a library failure, with an assertion line in the log, exactly
 * when an argument that must not be null is null. The cases are written
 * from the header by null_sweep_cases.py. Runs in a folder of its own: the
 * children write the library's log there. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include "notestore.h"

typedef struct Live {
    OL_OutlineDB* outlineDb;
    OL_OutlineRecord* outlineRecord;
    OL_CategoryDB* categoryDb;
    OL_CategoryRecord* categoryRecord;
    const OL_WCHAR* text;
    OL_WCHAR wide[1024];
    uint8_t bytes[64];
    OL_WindowPlacement placement;
    void* block;
} Live;

typedef struct SweepCase {
    void (*call)(Live* live);
    int fails; /* a required argument is null */
    const char* label;
} SweepCase;

#include "null_sweep_cases.c"

enum { kFailed = 10, kCompleted = 11, kFailedSilently = 12, kNoSetUp = 13 };

static const OL_WCHAR kText[] = {'s', 'w', 'e', 'e', 'p', 0};

static int SetUp(Live* live) {
    memset(live, 0, sizeof *live);
    live->text = kText;
    live->outlineDb = OL_CreateOutlineDB();
    live->outlineRecord = live->outlineDb != NULL ? OL_AppendRecordSet(live->outlineDb) : NULL;
    live->categoryDb = OL_CreateCategoryDB();
    if (live->categoryDb != NULL) {
        OL_CategoryInitNewDataBase(live->categoryDb);
        live->categoryRecord = OL_AddNewCategorybyName(live->categoryDb, kText);
    }
    live->block = MemAlloc(4096);
    if (live->block != NULL) memset(MemGetPtr(live->block), 0, 4096);
    return live->outlineRecord != NULL && live->categoryRecord != NULL && live->block != NULL;
}

/* Whether the log the child wrote holds an assertion line. */
static int LogHasAssertion(void) {
    FILE* log = fopen("FileIO.txt", "r");
    if (log == NULL) return 0;
    char line[4096];
    int found = 0;
    while (!found && fgets(line, sizeof line, log) != NULL) found = strstr(line, "Assertion Failed!") != NULL;
    fclose(log);
    return found;
}

static int RunChild(const SweepCase* sweepCase) {
    Live live;
    if (!SetUp(&live)) return kNoSetUp;
    /* The set-up's own lines go; the case's first line empties the log. */
    remove("FileIO.txt");
    sweepCase->call(&live);
    if (OL_GetLastExceptionKind() == OL_EXCEPTION_NONE) return kCompleted;
    return LogHasAssertion() ? kFailed : kFailedSilently;
}

int main(void) {
    int failures = 0;
    const int count = (int)(sizeof kCases / sizeof kCases[0]);
    for (int i = 0; i < count; ++i) {
        fflush(NULL);
        const pid_t child = fork();
        if (child < 0) {
            perror("fork");
            return 2;
        }
        if (child == 0) _exit(RunChild(&kCases[i]));
        int status = 0;
        if (waitpid(child, &status, 0) != child) {
            perror("waitpid");
            return 2;
        }
        const int expected = kCases[i].fails ? kFailed : kCompleted;
        if (WIFSIGNALED(status)) {
            fprintf(stderr, "%s: ended by signal %d\n", kCases[i].label, WTERMSIG(status));
            ++failures;
        } else if (WEXITSTATUS(status) != expected) {
            static const char* const kWhat[] = {"recorded a failure", "recorded nothing",
                                                "recorded a failure without an assertion line",
                                                "could not set up its objects"};
            const int code = WEXITSTATUS(status);
            fprintf(stderr, "%s: %s (exit %d)\n", kCases[i].label,
                    code >= kFailed && code <= kNoSetUp ? kWhat[code - kFailed] : "ended abnormally", code);
            ++failures;
        }
    }
    printf("%d cases over %d functions, %d wrong\n", count, kDeclaredFunctions, failures);
    return failures == 0 ? 0 : 1;
}
