#pragma once

#include <sys/resource.h>

#include <cstdio>

// CPU time of this process, in microseconds: what a budget of CPU time is measured in.
inline double CpuMicroseconds()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec * 1e6 + usage.ru_utime.tv_usec + usage.ru_stime.tv_sec * 1e6
           + usage.ru_stime.tv_usec;
}

// One line per figure, with its budget beside it.
inline void Report(const char* what, double value, const char* unit, double budget)
{
    std::printf("%-58s %10.2f %-6s budget < %g %s  %s\n", what, value, unit, budget, unit,
                value < budget ? "ok" : "OVER BUDGET");
}
