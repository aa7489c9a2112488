#pragma once
#include <cstdio>
#include <cstdlib>

// A broken invariant is a crash, so libFuzzer keeps the input that broke it.
#define CHECK(condition)                                                                      \
    do                                                                                        \
    {                                                                                         \
        if (!(condition))                                                                     \
        {                                                                                     \
            fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            abort();                                                                          \
        }                                                                                     \
    } while (0)
