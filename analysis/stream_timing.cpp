#include "analysis/stream_timing.h"

#include <algorithm>
#include <limits>

namespace analysis {

StreamTiming stream_timing(std::span<const std::vector<double>> runs)
{
    // One slope through all runs, each about its own mean: packet number against arrival time.
    // Scheduling jitter on the host spreads arrivals both ways, so least squares averages it.
    StreamTiming timing;
    double stt = 0, sti = 0;
    for (const std::vector<double>& run : runs) {
        size_t n = run.size();
        timing.packets += n;
        if (n < 2) continue;
        double meanT = 0, meanI = double(n - 1) / 2;
        for (double t : run) meanT += t;
        meanT /= double(n);
        for (size_t i = 0; i < n; ++i) {
            stt += (run[i] - meanT) * (run[i] - meanT);
            sti += (run[i] - meanT) * (double(i) - meanI);
            if (i > 0) timing.longestGapS = std::max(timing.longestGapS, run[i] - run[i - 1]);
        }
    }
    timing.packetsPerSecond = stt > 0 ? sti / stt : std::numeric_limits<double>::quiet_NaN();
    return timing;
}

}  // namespace analysis
