#pragma once

#include <cstdio>

// A fuzz target's invariant: a broken one names itself on stderr before trapping, so a finding
// explains itself.
#define require(condition) fuzzRequireAt ((condition), #condition, __LINE__)

inline void fuzzRequireAt (bool condition, const char* text, int line)
{
    if (condition)
        return;
    std::fprintf (stderr, "fuzz check failed at line %d: %s\n", line, text);
    __builtin_trap();
}
