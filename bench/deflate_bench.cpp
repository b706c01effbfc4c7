// Deflate throughput and compressed size against zlib and libdeflate, side by
// side in one process, at levels 1, 6 and 9.
//
// Corpora: the C headers under /usr/include (text) and the files under
// /usr/bin (binary), each concatenated up to a cap. Our encoder runs as the
// add job runs it: deflateFile reads the corpus from a file (in /dev/shm
// when there is one) through readInputFile, which also folds every byte into
// the CRC-32, and writes the member data to another file. zlib deflates the
// corpus from memory into memory as raw deflate (deflateInit2 with -15 window
// bits, memLevel 8, the default strategy), once with crc32() over the input
// (the same work as ours) and once without. libdeflate compresses the same
// memory at the same level as raw deflate, with libdeflate_crc32() over the
// input.
//
//   deflate_bench [REPEATS]       best of REPEATS runs per encoder (default 5)
//   DEFLATE_BENCH_TEXT_MB, DEFLATE_BENCH_BINARY_MB: corpus caps (8 and 8)
//   DEFLATE_BENCH_LEVELS: levels to run, e.g. "1 6 9" (the default)
//
// Times are processor time, the best of the repeats, taken in turns so that
// a busy moment of the machine hits all four encoders alike. The last two
// columns are time ratios, ours over the peer's with the CRC (< 1: ours is
// faster).
//
// Before anything is timed, our output is inflated by zlib and compared with
// the corpus, and our CRC-32 with zlib's.
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "codec/crc32.h"
#include "codec/deflate.h"
#include "platform/platform.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

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
    for (fs::recursive_directory_iterator
             it(root, fs::directory_options::skip_permission_denied, ec),
         end;
         it != end; it.increment(ec)) {
        if (ec) break;
        if (it->is_regular_file(ec) && !it->is_symlink(ec) && keep(it->path()))
            paths.push_back(it->path());
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

void write_file(const std::string& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
}

Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// zlib raw deflate of the whole buffer; with_crc adds crc32() over the input.
std::size_t zlib_deflate(z_stream& s, const Bytes& data, Bytes& out, bool with_crc,
                         std::uint32_t* crc) {
    deflateReset(&s);
    s.next_in = const_cast<Bytef*>(data.data());
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    if (deflate(&s, Z_FINISH) != Z_STREAM_END) std::abort();
    if (with_crc)
        *crc = static_cast<std::uint32_t>(
            crc32(crc32(0L, Z_NULL, 0), data.data(), static_cast<uInt>(data.size())));
    return s.total_out;
}

std::size_t libdeflate_run(libdeflate_compressor* c, const Bytes& data, Bytes& out,
                           std::uint32_t* crc) {
    const std::size_t n =
        libdeflate_deflate_compress(c, data.data(), data.size(), out.data(), out.size());
    if (n == 0) std::abort();
    *crc = libdeflate_crc32(0, data.data(), data.size());
    return n;
}

Bytes zlib_inflate(const Bytes& compressed, std::size_t size) {
    Bytes out(size + 1);
    z_stream s{};
    inflateInit2(&s, -15);
    s.next_in = const_cast<Bytef*>(compressed.data());
    s.avail_in = static_cast<uInt>(compressed.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&s, Z_FINISH);
    out.resize(s.total_out);
    inflateEnd(&s);
    if (rc != Z_STREAM_END) out.clear();
    return out;
}

// Our encoder, set up once per corpus as an adding job is.
class OurEncoder {
  public:
    OurEncoder(const std::string& input, const std::string& output, std::uint32_t level,
               std::uint32_t size)
        : input_(platform::dos_path_from_host(input)),
          output_(platform::dos_path_from_host(output)) {
        z_.level = level;
        entry_.uncompressed_size = size;
        if (startDeflateJob(z_) != 0) {
            std::fprintf(stderr, "startDeflateJob failed\n");
            std::exit(1);
        }
    }
    ~OurEncoder() { release_job(z_); }

    // One file deflated; its compressed size, or 0 with a message.
    std::uint32_t run() {
        z_.error = 0;
        z_.input_handle = platform::open_read(input_.c_str());
        z_.output_handle = platform::create_file(output_.c_str());
        if (z_.input_handle == platform::kInvalidFile ||
            z_.output_handle == platform::kInvalidFile) {
            std::fprintf(stderr, "cannot open the bench files\n");
            std::exit(1);
        }
        entry_.flags = entry_.local_flags = 8;
        z_.current_entry = &entry_;
        updateCrc(z_, nullptr, 0);
        z_.input_bytes_read = 0;
        std::uint64_t size = 0;
        int result = deflateFile(z_, &size);
        platform::close_file(z_.input_handle);
        platform::close_file(z_.output_handle);
        z_.input_handle = z_.output_handle = platform::kInvalidFile;
        if (result != 0) {
            std::fprintf(stderr, "deflateFile: error %d\n", result);
            return 0;
        }
        return static_cast<std::uint32_t>(size);
    }
    std::uint32_t crc() const { return z_.add_crc; }
    std::uint32_t method() const { return z_.method; }

  private:
    zip z_;
    zentry entry_;
    std::string input_, output_;
};

double mb_per_s(std::size_t bytes, double seconds) {
    return bytes / seconds / 1e6;
}

// Processor time (user and system) of the run: on a machine shared with
// other work it varies far less than the wall clock, and it counts our file
// reads and writes as well as the computation.
template <class Run> double seconds_of(Run run) {
    const std::clock_t t0 = std::clock();
    run();
    return double(std::clock() - t0) / CLOCKS_PER_SEC;
}

} // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const fs::path scratch =
        fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::vector<int> levels = {1, 6, 9};
    if (const char* v = std::getenv("DEFLATE_BENCH_LEVELS")) {
        levels.clear();
        std::istringstream in(v);
        for (int l; in >> l;)
            if (l >= 1 && l <= 9) levels.push_back(l);
    }

    struct Corpus {
        const char* name;
        Bytes data;
    };
    Corpus corpora[] = {
        {"headers", gather("/usr/include", cap_from_env("DEFLATE_BENCH_TEXT_MB", 8),
                           [](const fs::path& p) { return p.extension() == ".h"; })},
        {"binaries", gather("/usr/bin", cap_from_env("DEFLATE_BENCH_BINARY_MB", 8),
                            [](const fs::path&) { return true; })},
    };

    std::printf("%-12s %5s %9s %9s %9s %8s %7s %8s %7s %8s %9s %9s\n", "corpus", "MiB", "zarvo",
                "zlib", "libdefl", "size", "zarvo", "zlib+crc", "zlib", "ldef+crc", "time", "time");
    std::printf("%-12s %5s %9s %9s %9s %8s %7s %8s %7s %8s %9s %9s\n", "", "", "bytes", "bytes",
                "bytes", "vs zlib", "MB/s", "MB/s", "MB/s", "MB/s", "ours/z+c", "ours/ld+c");
    for (Corpus& corpus : corpora) {
        if (corpus.data.empty()) continue;
        const std::size_t n = corpus.data.size();
        const std::string input = (scratch / "zarvo-deflate-bench-in.bin").string();
        const std::string output = (scratch / "zarvo-deflate-bench-out.bin").string();
        write_file(input, corpus.data);
        const std::uint32_t expected_crc = static_cast<std::uint32_t>(
            crc32(crc32(0L, Z_NULL, 0), corpus.data.data(), static_cast<uInt>(n)));

        for (int level : levels) {
            OurEncoder ours(input, output, static_cast<std::uint32_t>(level),
                            static_cast<std::uint32_t>(n));
            z_stream s{};
            if (deflateInit2(&s, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 1;
            Bytes zout(deflateBound(&s, static_cast<uLong>(n)));

            // Our output must inflate back to the corpus before it is timed.
            const std::uint32_t our_size = ours.run();
            Bytes ours_out = read_file(output);
            if (ours.crc() != expected_crc || ours_out.size() != our_size ||
                (ours.method() == 8 ? zlib_inflate(ours_out, n) : ours_out) != corpus.data) {
                std::fprintf(stderr, "%s -%d: our output does not give the corpus back\n",
                             corpus.name, level);
                return 1;
            }
            std::uint32_t zcrc = 0;
            const std::size_t zlib_size = zlib_deflate(s, corpus.data, zout, true, &zcrc);
            libdeflate_compressor* ld = libdeflate_alloc_compressor(level);
            if (!ld) return 1;
            Bytes ldout(libdeflate_deflate_compress_bound(ld, n));
            std::uint32_t ldcrc = 0;
            const std::size_t ld_size = libdeflate_run(ld, corpus.data, ldout, &ldcrc);

            double t_ours = 1e30, t_zlib_crc = 1e30, t_zlib = 1e30, t_ld = 1e30;
            for (int i = 0; i < repeats; ++i) {
                t_ours = std::min(t_ours, seconds_of([&] { ours.run(); }));
                t_zlib_crc =
                    std::min(t_zlib_crc,
                             seconds_of([&] { zlib_deflate(s, corpus.data, zout, true, &zcrc); }));
                t_zlib = std::min(
                    t_zlib, seconds_of([&] { zlib_deflate(s, corpus.data, zout, false, &zcrc); }));
                t_ld = std::min(
                    t_ld, seconds_of([&] { libdeflate_run(ld, corpus.data, ldout, &ldcrc); }));
            }
            deflateEnd(&s);
            libdeflate_free_compressor(ld);

            char label[32];
            std::snprintf(label, sizeof label, "%s -%d", corpus.name, level);
            std::printf("%-12s %5.1f %9u %9zu %9zu %7.2f%% %7.1f %8.1f %7.1f %8.1f %9.2f %9.2f\n",
                        label, n / 1048576.0, our_size, zlib_size, ld_size,
                        100.0 * (double(our_size) / double(zlib_size) - 1.0), mb_per_s(n, t_ours),
                        mb_per_s(n, t_zlib_crc), mb_per_s(n, t_zlib), mb_per_s(n, t_ld),
                        t_ours / t_zlib_crc, t_ours / t_ld);
            std::fflush(stdout);
        }
        fs::remove(input);
        fs::remove(output);
    }
    return 0;
}
