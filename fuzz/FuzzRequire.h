#pragma once

#include <cstdio>
#include <cstdlib>

// A rule a fuzz target checks beyond crashes: when broken, it names itself on the error output
// before the abort makes libFuzzer keep the input.
#define TELVORA_REQUIRE(condition)                                                                 \
    do                                                                                             \
    {                                                                                              \
        if (!(condition))                                                                          \
        {                                                                                          \
            std::fprintf(stderr, "broken: %s\n", #condition);                                      \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
