// The measured loop both transfer benchmarks share: one TransferData of `bytes` per iteration.
#pragma once

#include "usb/end_points.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace bench {

inline void TransferLoop(benchmark::State& state, CBulkEndPoint* endPoint, size_t bytes)
{
    std::vector<BYTE> buffer(bytes);
    for (auto _ : state) {
        LONG length = LONG(bytes);
        if (!endPoint->TransferData(buffer.data(), length) || length != LONG(bytes)) {
            state.SkipWithError("transfer failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace bench
