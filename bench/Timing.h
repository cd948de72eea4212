// The median time of repeated runs, each after its own setup, and the resident memory, for the
// benchmarks that need nothing of the windows.
#pragma once

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <unistd.h>
#include <vector>

namespace bench {

inline double timeMs(const std::function<void()> &setup, const std::function<void()> &run, int repeats)
{
    std::vector<double> t;
    for (int i = 0; i < repeats; ++i) {
        if (setup)
            setup();
        QElapsedTimer e;
        e.start();
        run();
        t.push_back(double(e.nsecsElapsed()) / 1e6);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// This process's resident memory now.
inline double rssMiB()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

} // namespace bench
