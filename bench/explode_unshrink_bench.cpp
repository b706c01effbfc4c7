// Explode and unshrink throughput, in process, on real imploded and shrunk
// archives (the test fixtures and the larger archives bench/explode_unshrink.sh
// repeats them into).
//
// Each archive is opened once; every member of method 1 or 6 is then decoded
// as an extraction to memory would (seek, local header, decoder, flushOutput
// with its CRC-32), and the CRC and size are checked against the catalog
// before anything is timed. A pass decodes all such members once; the figure
// is the best pass of several, each repeated until it lasts 50 ms, as
// uncompressed MB/s (10^6 bytes) and per method.
//
//   explode_unshrink_bench ARCHIVE...      ZARVO_BENCH_SECONDS: time per archive (default 1)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "codec/crc32.h"
#include "codec/explode.h"
#include "codec/unshrink.h"
#include "ops/drives.h"
#include "platform/platform.h"
#include "zip/input.h"
#include "zip/open_archive.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Job {
    zip z;
    zlist list;
    std::vector<std::uint8_t> target;

    bool open(const std::string& host_path) {
        if (open_archive(z, list, platform::dos_path_from_host(host_path).c_str()) != 0)
            return false;
        if (open_archive_input(z) != 0) return false;
        z.input_buffer = allocate_buffer(z, kInputBufferSize);
        makeCrcTable(z);
        z.window = allocate_buffer(z, 32768);
        z.decoder_buffer = allocate_buffer(z, 65536);
        std::uint32_t largest = 0;
        for (auto& e : list.entries)
            largest = std::max(largest, e->uncompressed_size);
        target.resize(largest + 65536);
        return z.error == 0;
    }
    ~Job() { release_job(z); }

    // Decodes one member; false (with a message) when it does not check out.
    bool decode(zentry& e) {
        z.error = 0;
        z.current_entry = &e;
        if (seek_archive(z, e.local_header_offset, e.disk_number_start) != 0 ||
            read_local_header(z) != 0)
            return false;
        z.compressed_left = e.compressed_size;
        z.uncompressed_size = e.uncompressed_size;
        z.extract_crc = 0xFFFFFFFFu;
        z.output_count = 0;
        z.to_memory = 1;
        z.memory_target = target.data();
        z.memory_capacity = static_cast<std::uint32_t>(target.size());
        const int result = e.method == 1 ? unshrinkMember(z) : explodeMember(z);
        if (result != 0 || z.error != 0 || z.output_count != e.uncompressed_size ||
            ~z.extract_crc != e.crc) {
            std::fprintf(stderr, "%s: result %d, error %d, %u bytes, crc %08x (want %08x)\n",
                         e.name.c_str(), result, z.error, z.output_count, ~z.extract_crc, e.crc);
            return false;
        }
        return true;
    }
};

struct Tally {
    std::uint64_t packed = 0, unpacked = 0;
    int members = 0;
};

} // namespace

int main(int argc, char** argv) {
    const char* seconds_env = std::getenv("ZARVO_BENCH_SECONDS");
    const double budget = seconds_env ? std::atof(seconds_env) : 1.0;
    std::printf("%-28s %-8s %7s %10s %10s %10s\n", "archive", "method", "members", "packed",
                "unpacked", "MB/s");
    for (int a = 1; a < argc; ++a) {
        const std::string path = argv[a];
        std::string name = path.substr(path.find_last_of('/') + 1);
        for (std::uint16_t method : {std::uint16_t(6), std::uint16_t(1)}) {
            Job job;
            if (!job.open(path)) {
                std::fprintf(stderr, "cannot open %s\n", path.c_str());
                return 1;
            }
            std::vector<zentry*> members;
            Tally t;
            for (auto& e : job.list.entries)
                if (e->method == method) {
                    members.push_back(e.get());
                    t.packed += e->compressed_size;
                    t.unpacked += e->uncompressed_size;
                    ++t.members;
                }
            if (members.empty()) continue;
            for (zentry* e : members)
                if (!job.decode(*e)) return 1;

            auto pass = [&] {
                for (zentry* e : members)
                    job.decode(*e);
            };
            // Passes per measurement, so that each lasts about 50 ms.
            auto t0 = Clock::now();
            pass();
            double once = std::chrono::duration<double>(Clock::now() - t0).count();
            const int per = std::max(1, static_cast<int>(0.05 / std::max(once, 1e-6)));
            double best = 1e30;
            const auto end = Clock::now() + std::chrono::duration<double>(budget);
            int measurements = 0;
            while (measurements < 3 || Clock::now() < end) {
                auto s = Clock::now();
                for (int i = 0; i < per; ++i)
                    pass();
                best =
                    std::min(best, std::chrono::duration<double>(Clock::now() - s).count() / per);
                ++measurements;
            }
            std::printf("%-28s %-8s %7d %10llu %10llu %10.1f\n", name.c_str(),
                        method == 6 ? "explode" : "unshrink", t.members,
                        static_cast<unsigned long long>(t.packed),
                        static_cast<unsigned long long>(t.unpacked), t.unpacked / best / 1e6);
        }
    }
    return 0;
}
