#pragma once

#include <cstdio>
#include <cstdlib>

// A property of the code under test; a violation aborts, so the fuzzer keeps
// the input that broke it and the run fails.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__,             \
                         #condition);                                                              \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace fuzzing {

// Single-byte code pages have no lead bytes.
inline bool NoLeadBytes(unsigned char) {
    return false;
}

// The lead bytes of Shift-JIS (code page 932), a double-byte code page.
inline bool ShiftJisLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

} // namespace fuzzing
