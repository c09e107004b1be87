#pragma once

#include <sys/resource.h>

// Processor time of this process and of its reaped children, in seconds:
// the cost of a piece that runs child processes or other threads, beside its
// floor.
inline double ProcessorSeconds() {
    double total = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        total += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return total;
}
