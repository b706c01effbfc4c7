// Microbenchmarks of reading a large catalog: open_archive on the archive
// named by ZARVO_BENCH_ARCHIVE (bench/open_many.sh makes one of 100,000
// members), the name sort of its catalog, and the list texts of every member.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "zip/list_text.h"
#include "zip/open_archive.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

// The archive's DOS path, or empty (and the benchmark skipped) without one.
std::string archive_path() {
    const char* host = std::getenv("ZARVO_BENCH_ARCHIVE");
    return host && *host ? platform::dos_path_from_host(host) : std::string();
}

// Opens the archive once for the benchmarks that start from its catalog.
bool open_once(benchmark::State& state, zip& z, zlist& list) {
    std::string path = archive_path();
    if (path.empty()) {
        state.SkipWithError("set ZARVO_BENCH_ARCHIVE to a ZIP archive");
        return false;
    }
    if (open_archive(z, list, path.c_str()) != 0) {
        state.SkipWithError("open_archive failed");
        return false;
    }
    return true;
}

void BM_OpenArchive(benchmark::State& state) {
    std::string path = archive_path();
    if (path.empty()) {
        state.SkipWithError("set ZARVO_BENCH_ARCHIVE to a ZIP archive");
        return;
    }
    zip z;
    std::size_t members = 0;
    for (auto _ : state) {
        zlist list;
        if (open_archive(z, list, path.c_str()) != 0) {
            state.SkipWithError("open_archive failed");
            return;
        }
        members = list.count();
        benchmark::DoNotOptimize(list.sorted.data());
    }
    state.counters["members"] = static_cast<double>(members);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * members));
}
BENCHMARK(BM_OpenArchive)->Unit(benchmark::kMillisecond);

// Sorts from the central-directory order each time, as every open does.
void BM_SortByName(benchmark::State& state) {
    zip z;
    zlist list;
    if (!open_once(state, z, list)) return;
    list.sort_mode = static_cast<std::uint32_t>(state.range(0));
    for (auto _ : state) {
        if (list.zlist_sort() != 0) state.SkipWithError("zlist_sort failed");
        benchmark::DoNotOptimize(list.sorted.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * list.count()));
}
BENCHMARK(BM_SortByName)->Arg(kSortNameUp)->Arg(kSortNameDown)->Unit(benchmark::kMillisecond);

// The date, time and ratio texts of every member, as the list prints them.
void BM_ListTexts(benchmark::State& state) {
    zip z;
    zlist list;
    if (!open_once(state, z, list)) return;
    for (auto _ : state) {
        std::size_t n = 0;
        for (const zentry* e : list.sorted)
            n += member_date_text(*e).size() + member_time_text(*e).size() +
                 member_ratio_text(*e).size();
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * list.count()));
}
BENCHMARK(BM_ListTexts)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
