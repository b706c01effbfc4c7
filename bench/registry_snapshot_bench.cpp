// What the install monitor's pre-scan costs: the four snapshots of a run on
// the real registry (under Wine: a fresh prefix's), their time and what
// they hold, then a comparison against an unchanged registry.
//
//   registry_snapshot_bench.exe
#include <windows.h>

#include <psapi.h>

#include <chrono>
#include <cstdio>

#include "monitor/registry_snapshot.h"
#include "monitor/run_state.h"

namespace {

struct Tally {
    std::size_t keys = 0, values = 0, bytes = 0;
};

void tally(const monitor::KeyNode& node, Tally& t) {
    ++t.keys;
    t.bytes += sizeof node + node.name.capacity() + node.children.capacity() * sizeof(void*) +
               node.values.capacity() * sizeof(void*);
    for (const auto& v : node.values) {
        if (!v) continue;
        ++t.values;
        t.bytes += sizeof *v + v->name.capacity() + v->data.capacity();
    }
    for (const auto& c : node.children)
        if (c) tally(*c, t);
}

std::size_t working_set() {
    PROCESS_MEMORY_COUNTERS pmc = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    return pmc.WorkingSetSize;
}

} // namespace

int main() {
    using clock = std::chrono::steady_clock;
    monitor::regkey snaps[4];
    std::size_t before = working_set();
    for (int i = 0; i < 4; ++i) {
        const monitor::RunSnapshot& s = monitor::kRunSnapshots[i];
        auto t0 = clock::now();
        monitor::takeSnapshot(snaps[i], s.root, s.path, s.mode);
        double ms = std::chrono::duration<double, std::milli>(clock::now() - t0).count();
        Tally t;
        tally(snaps[i].rootNode, t);
        std::printf("snapshot %d (%s): %.1f ms, %zu keys, %zu values, %.1f MB held\n", i + 1,
                    s.status, ms, t.keys, t.values, t.bytes / 1048576.0);
    }
    std::printf("working set grew by %.1f MB\n", (working_set() - before) / 1048576.0);
    auto t0 = clock::now();
    for (monitor::regkey& s : snaps)
        monitor::compareSnapshot(s);
    double ms = std::chrono::duration<double, std::milli>(clock::now() - t0).count();
    std::printf("comparison of all four: %.1f ms, %zu differences, runError %d\n", ms,
                monitor::regchanges.records.size(), monitor::runError);
    return monitor::runError;
}
