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
