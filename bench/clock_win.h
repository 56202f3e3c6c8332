#pragma once
// The benchmarks' clock: the performance counter in seconds.
#include <windows.h>

inline double benchSeconds() {
    static const double perSecond = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / perSecond;
}
