// Inflate and CRC-32 throughput against zlib and libdeflate, side by side in
// one process.
//
// Corpora: the C headers under /usr/include (text) and the files under
// /usr/bin (binary), each concatenated up to a cap and deflated at levels 6
// and 9 by zlib itself (raw deflate, 32 KiB window) when the program starts.
// Our decoder reads the compressed data as an archive member through the
// engine's buffered input and writes through flushOutput into memory, which
// also folds every byte into the CRC-32. zlib inflates into a 32 KiB buffer
// that is copied out to the same kind of memory target after every call, once
// with crc32() over each run (the same work as ours) and once without.
// libdeflate decodes the whole member into the target in one call (it has no
// streaming interface), once followed by libdeflate_crc32() over the output
// and once without. The ratio columns are the peer's time over ours (> 1: we
// are faster); "vs ld+crc" is the goal's row.
//
// Then the checksum alone over the text corpus: ours, zlib's crc32() and
// libdeflate_crc32(), interleaved, with the ratio of ours to zlib's time.
//
//   inflate_bench [REPEATS]       best of REPEATS runs per decoder (default 7)
//   INFLATE_BENCH_TEXT_MB, INFLATE_BENCH_BINARY_MB: corpus caps (32 and 16)
//
// Every output is compared with the corpus before anything is timed.
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codec/crc32.h"
#include "codec/inflate.h"
#include "ops/drives.h"
#include "platform/platform.h"
#include "zip/input.h"
#include "zip/zip.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

std::size_t cap_from_env(const char* name, std::size_t megabytes) {
    const char* v = std::getenv(name);
    if (v && *v) megabytes = static_cast<std::size_t>(std::strtoul(v, nullptr, 10));
    return megabytes << 20;
}

// Regular files below root whose names pass the filter, in path order, read
// and concatenated until cap bytes.
template <class Filter> Bytes gather(const char* root, std::size_t cap, Filter keep) {
    std::vector<fs::path> paths;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
         it != end; it.increment(ec)) {
        if (ec) break;
        if (it->is_regular_file(ec) && !it->is_symlink(ec) && keep(it->path())) paths.push_back(it->path());
    }
    std::sort(paths.begin(), paths.end());
    Bytes out;
    for (const fs::path& p : paths) {
        if (out.size() >= cap) break;
        std::ifstream in(p, std::ios::binary);
        Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::size_t take = std::min(file.size(), cap - out.size());
        out.insert(out.end(), file.begin(), file.begin() + static_cast<std::ptrdiff_t>(take));
    }
    return out;
}

Bytes deflate_raw(const Bytes& data, int level) {
    z_stream s{};
    if (deflateInit2(&s, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) std::abort();
    Bytes out(deflateBound(&s, static_cast<uLong>(data.size())));
    s.next_in = const_cast<Bytef*>(data.data());
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    if (deflate(&s, Z_FINISH) != Z_STREAM_END) std::abort();
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

// Our decoder, set up once per corpus as an extracting job would be.
class OurDecoder {
  public:
    OurDecoder(const std::string& host_file, std::uint32_t compressed, Bytes& target)
        : compressed_(compressed), target_(target) {
        makeCrcTable(z_);
        platform::copy_bounded(z_.archive_path, sizeof z_.archive_path,
                               platform::dos_path_from_host(host_file).c_str());
        if (open_archive_input(z_) != 0) {
            std::fprintf(stderr, "cannot open %s\n", host_file.c_str());
            std::exit(1);
        }
        z_.input_buffer = allocate_buffer(z_, kInputBufferSize);
        z_.window = allocate_buffer(z_, 32768);
    }
    ~OurDecoder() { release_job(z_); }

    // One member decoded; its CRC-32, or 0 with a message on failure.
    std::uint32_t run() {
        z_.error = 0;
        seek_archive(z_, 0, 0);
        z_.compressed_left = compressed_;
        z_.uncompressed_size = static_cast<std::uint32_t>(target_.size());
        z_.extract_crc = 0xFFFFFFFFu;
        z_.output_count = 0;
        z_.to_memory = 1;
        z_.memory_target = target_.data();
        z_.memory_capacity = static_cast<std::uint32_t>(target_.size());
        int result = inflateMember(z_);
        if (result != 0 || z_.error != 0 || z_.output_count != target_.size()) {
            std::fprintf(stderr, "inflateMember: result %d, error %d, %u bytes\n", result, z_.error,
                         z_.output_count);
            return 0;
        }
        return ~z_.extract_crc;
    }

  private:
    zip z_;
    std::uint32_t compressed_;
    Bytes& target_;
};

// zlib with the same output handling: 32 KiB at a time, copied out, and
// (with_crc) checksummed.
std::uint32_t zlib_run(z_stream& s, const Bytes& compressed, Bytes& target, bool with_crc) {
    static unsigned char window[32768];
    inflateReset(&s);
    s.next_in = const_cast<Bytef*>(compressed.data());
    s.avail_in = static_cast<uInt>(compressed.size());
    std::size_t done = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    for (;;) {
        s.next_out = window;
        s.avail_out = sizeof window;
        int rc = inflate(&s, Z_NO_FLUSH);
        std::size_t got = sizeof window - s.avail_out;
        if (done + got > target.size()) std::abort();
        std::memcpy(target.data() + done, window, got);
        done += got;
        if (with_crc) crc = crc32(crc, window, static_cast<uInt>(got));
        if (rc == Z_STREAM_END) break;
        if (rc != Z_OK) {
            std::fprintf(stderr, "zlib inflate: %d\n", rc);
            std::exit(1);
        }
    }
    return static_cast<std::uint32_t>(crc);
}

// libdeflate: the whole member in one call, (with_crc) then checksummed.
std::uint32_t libdeflate_run(libdeflate_decompressor* d, const Bytes& compressed, Bytes& target,
                             bool with_crc) {
    std::size_t got = 0;
    if (libdeflate_deflate_decompress(d, compressed.data(), compressed.size(), target.data(), target.size(),
                                      &got) != LIBDEFLATE_SUCCESS ||
        got != target.size()) {
        std::fprintf(stderr, "libdeflate: failed\n");
        std::exit(1);
    }
    return with_crc ? libdeflate_crc32(0, target.data(), target.size()) : 0;
}

template <class Run> double best_seconds(int repeats, Run run) {
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        auto t0 = Clock::now();
        run();
        std::chrono::duration<double> d = Clock::now() - t0;
        best = std::min(best, d.count());
    }
    return best;
}

double mb_per_s(std::size_t bytes, double seconds) { return bytes / seconds / 1e6; }

} // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const fs::path scratch = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();

    struct Corpus {
        const char* name;
        Bytes data;
    };
    Corpus corpora[] = {
        {"headers", gather("/usr/include", cap_from_env("INFLATE_BENCH_TEXT_MB", 32),
                           [](const fs::path& p) { return p.extension() == ".h"; })},
        {"binaries", gather("/usr/bin", cap_from_env("INFLATE_BENCH_BINARY_MB", 16),
                            [](const fs::path&) { return true; })},
    };

    std::printf("%-12s %6s %7s %7s %10s %7s %7s %7s %11s %9s %9s %9s\n", "corpus", "MiB", "ratio", "zarvo",
                "zlib+crc32", "zlib", "ld+crc", "ld", "vs zlib+crc", "vs zlib", "vs ld+crc", "vs ld");
    std::printf("%-12s %6s %7s %7s %10s %7s %7s %7s\n", "", "", "", "MB/s", "MB/s", "MB/s", "MB/s", "MB/s");
    for (Corpus& corpus : corpora) {
        if (corpus.data.empty()) continue;
        const std::uint32_t expected_crc = static_cast<std::uint32_t>(
            crc32(crc32(0L, Z_NULL, 0), corpus.data.data(), static_cast<uInt>(corpus.data.size())));
        for (int level : {6, 9}) {
            Bytes compressed = deflate_raw(corpus.data, level);
            std::string file = (scratch / ("zarvo-inflate-bench-" + std::to_string(level) + ".raw")).string();
            {
                std::ofstream out(file, std::ios::binary);
                out.write(reinterpret_cast<const char*>(compressed.data()),
                          static_cast<std::streamsize>(compressed.size()));
            }
            Bytes target(corpus.data.size());
            OurDecoder ours(file, static_cast<std::uint32_t>(compressed.size()), target);
            z_stream s{};
            inflateInit2(&s, -15);
            libdeflate_decompressor* ld = libdeflate_alloc_decompressor();

            // Both decoders must give the corpus back before they are timed.
            std::fill(target.begin(), target.end(), 0);
            if (ours.run() != expected_crc || target != corpus.data) {
                std::fprintf(stderr, "%s -%d: our output differs\n", corpus.name, level);
                return 1;
            }
            std::fill(target.begin(), target.end(), 0);
            if (zlib_run(s, compressed, target, true) != expected_crc || target != corpus.data) {
                std::fprintf(stderr, "%s -%d: zlib output differs\n", corpus.name, level);
                return 1;
            }
            std::fill(target.begin(), target.end(), 0);
            if (libdeflate_run(ld, compressed, target, true) != expected_crc || target != corpus.data) {
                std::fprintf(stderr, "%s -%d: libdeflate output differs\n", corpus.name, level);
                return 1;
            }

            // Interleaved, so that a busy moment of the machine hits them all.
            double t_ours = 1e30, t_zlib_crc = 1e30, t_zlib = 1e30, t_ld_crc = 1e30, t_ld = 1e30;
            for (int i = 0; i < repeats; ++i) {
                t_ours = std::min(t_ours, best_seconds(1, [&] { ours.run(); }));
                t_zlib_crc = std::min(t_zlib_crc, best_seconds(1, [&] { zlib_run(s, compressed, target, true); }));
                t_zlib = std::min(t_zlib, best_seconds(1, [&] { zlib_run(s, compressed, target, false); }));
                t_ld_crc = std::min(t_ld_crc, best_seconds(1, [&] { libdeflate_run(ld, compressed, target, true); }));
                t_ld = std::min(t_ld, best_seconds(1, [&] { libdeflate_run(ld, compressed, target, false); }));
            }
            inflateEnd(&s);
            libdeflate_free_decompressor(ld);
            fs::remove(file);

            const std::size_t n = corpus.data.size();
            char label[32];
            std::snprintf(label, sizeof label, "%s -%d", corpus.name, level);
            std::printf("%-12s %6.1f %6.1f%% %7.0f %10.0f %7.0f %7.0f %7.0f %10.2fx %8.2fx %8.2fx %8.2fx\n", label,
                        n / 1048576.0, 100.0 * compressed.size() / n, mb_per_s(n, t_ours),
                        mb_per_s(n, t_zlib_crc), mb_per_s(n, t_zlib), mb_per_s(n, t_ld_crc), mb_per_s(n, t_ld),
                        t_zlib_crc / t_ours, t_zlib / t_ours, t_ld_crc / t_ours, t_ld / t_ours);
        }
    }

    // The checksum alone, interleaved like the decoders: ours is in every flush.
    Bytes& text = corpora[0].data;
    if (!text.empty()) {
        zip z;
        makeCrcTable(z);
        const std::uint32_t expected = static_cast<std::uint32_t>(crc32(0L, text.data(), static_cast<uInt>(text.size())));
        if (~foldCrc(z.crc_table.get(), 0xFFFFFFFFu, text.data(), text.size()) != expected ||
            libdeflate_crc32(0, text.data(), text.size()) != expected) {
            std::fprintf(stderr, "CRC-32 differs\n");
            return 1;
        }
        double t_fold = 1e30, t_zcrc = 1e30, t_ldcrc = 1e30;
        for (int i = 0; i < repeats; ++i) {
            t_fold = std::min(t_fold, best_seconds(1, [&] {
                volatile std::uint32_t c = foldCrc(z.crc_table.get(), 0xFFFFFFFFu, text.data(), text.size());
                (void)c;
            }));
            t_zcrc = std::min(t_zcrc, best_seconds(1, [&] {
                volatile uLong c = crc32(0L, text.data(), static_cast<uInt>(text.size()));
                (void)c;
            }));
            t_ldcrc = std::min(t_ldcrc, best_seconds(1, [&] {
                volatile std::uint32_t c = libdeflate_crc32(0, text.data(), text.size());
                (void)c;
            }));
        }
        std::printf("\nCRC-32 alone: ours %.0f MB/s, zlib crc32() %.0f MB/s, libdeflate_crc32() %.0f MB/s; "
                    "ours/zlib time %.2f, ours/libdeflate time %.2f\n",
                    mb_per_s(text.size(), t_fold), mb_per_s(text.size(), t_zcrc), mb_per_s(text.size(), t_ldcrc),
                    t_fold / t_zcrc, t_fold / t_ldcrc);
    }
    return 0;
}
