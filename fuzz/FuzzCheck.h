// Expectations a fuzz target holds the code to, beyond memory safety.
#ifndef VIX_FUZZ_CHECK_H
#define VIX_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

// Reports the broken expectation, then aborts so that libFuzzer keeps the input.
[[noreturn]] inline void failCheck(const char* file, int line, const char* expression)
{
    std::fprintf(stderr, "%s:%d: expectation failed: %s\n", file, line, expression);
    std::abort();
}

#define CHECK(condition) ((condition) ? (void)0 : failCheck(__FILE__, __LINE__, #condition))

#endif
