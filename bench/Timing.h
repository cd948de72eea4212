// The median time of repeated runs, each after its own setup, for the benchmarks that need
// nothing of the windows.
#pragma once

#include <QElapsedTimer>
#include <algorithm>
#include <functional>
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

} // namespace bench
