// Writes each argument as one log line, narrow and wide alternately, so a
// test can watch what a fresh process does to the log.
#include "notestore/foundation/zr_assert.h"
#include "platform/Strings.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (i % 2 == 1) {
            ZR_Log("%s", argv[i]);
        } else {
            const std::u16string wide = platform::Utf8ToUtf16(argv[i]);
            ZR_Trace(u"%s", wide);
        }
    }
    return 0;
}
