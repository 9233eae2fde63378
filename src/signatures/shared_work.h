#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <thread>
#include <vector>

#include "catalog_hasher.h"

namespace pelmar::signatures {

// Calls `work(hasher, index)` for each index below `count`, on one thread
// per hasher, this one among them, but on no more threads than indexes.
// Each thread takes the next index nobody took yet, so that one large file
// holds up one thread only. Verification is mostly the processor's work and
// the files are independent. `work` must not throw; each index is worked
// on by one thread, and the results may be read once this returns.
template <typename work_type>
void share_work(const std::vector<catalog_hasher>& hashers, std::size_t count,
                const work_type& work) {
    std::atomic<std::size_t> next{0};
    const auto take = [&](const catalog_hasher& hasher) {
        for (std::size_t index = next++; index < count; index = next++) {
            work(hasher, index);
        }
    };
    // A std::jthread joins when it is destroyed: also when starting the next
    // one throws, so no thread outlives what it works on.
    std::vector<std::jthread> workers;
    const std::size_t threads = std::min(hashers.size(), count);
    workers.reserve(threads);
    for (std::size_t worker = 1; worker < threads; ++worker) {
        workers.emplace_back(take, std::cref(hashers[worker]));
    }
    if (threads > 0) {
        take(hashers.front());
    }
}

}  // namespace pelmar::signatures
