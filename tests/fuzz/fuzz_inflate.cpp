// libFuzzer target for inflate. An input is:
//   bytes 0-3  little-endian: the uncompressed size in the low 21 bits, taken
//              modulo 1 MiB + 1 (the memory target holds it and 1 KiB more);
//              bit 31 set: the member ends before the data does, bits 21-28
//              say how many of the data's last bytes follow it in the
//              archive file (the decoder reads on into them)
//   the rest   raw deflate data, written to a file and decoded through the
//              engine's buffered input as an extraction to memory does.
// Each input is decoded three times, with inflateMember, with the same
// decoder built without its fast paths, and with the decoder as it was before
// its fast loop was rewritten (reference_inflate.cpp) (fuzz_inflate64 builds
// this target again for Deflate64, with inflate64Member); besides the
// sanitizers, the checks below abort when they differ in anything observable or when the engine's
// promises break (a result outside 0..2, an error other than a full target
// or a stream running on past the archive file, a checksum that does not
// cover exactly the bytes written).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

#include "../unit/inflate_by_rules.h"
#include "reference_inflate.h"
#include "codec/crc32.h"
#include "codec/inflate.h"
#include "ops/drives.h"
#include "platform/platform.h"
#include "zip/input.h"
#include "zip/zip.h"

namespace {

#ifdef ZARVO_FUZZ_DEFLATE64
int (*const kFastDecoder)(zip&) = inflate64Member;
int (*const kRulesDecoder)(zip&) = inflate64MemberByRules;
int (*const kReferenceDecoder)(zip&) = referenceInflate64Member;
#else
int (*const kFastDecoder)(zip&) = inflateMember;
int (*const kRulesDecoder)(zip&) = inflateMemberByRules;
int (*const kReferenceDecoder)(zip&) = referenceInflateMember;
#endif

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "fuzz_inflate: check failed at line %d: %s\n", __LINE__, #cond);  \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

constexpr std::size_t kHeaderSize = 4;
constexpr std::uint32_t kMaxSize = 1u << 20;
constexpr std::uint32_t kSlack = 1024;

std::string g_host_file;

// An independent bytewise CRC-32, so that the engine's sliced one is checked too.
std::uint32_t reference_crc(const std::uint8_t* p, std::size_t n) {
    static std::uint32_t table[256];
    if (table[1] == 0)
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
    std::uint32_t c = 0xFFFFFFFFu;
    while (n--)
        c = table[(c ^ *p++) & 0xFF] ^ (c >> 8);
    return ~c;
}

struct Outcome {
    int result = 0;
    std::int32_t error = 0;
    std::uint32_t output_count = 0;
    std::uint32_t crc = 0;
    std::unique_ptr<std::uint8_t[]> output;
};

// One member decoded in a job of its own, from a zeroed window.
Outcome decode(std::uint32_t compressed_size, std::uint32_t capacity, int (*decoder)(zip&)) {
    zip z;
    FUZZ_CHECK(platform::copy_bounded(z.archive_path, sizeof z.archive_path,
                                      platform::dos_path_from_host(g_host_file).c_str()));
    FUZZ_CHECK(open_archive_input(z) == 0);
    FUZZ_CHECK(makeCrcTable(z) == 0);
    z.input_buffer = allocate_buffer(z, kInputBufferSize);
    z.window = allocate_buffer(z, kDecoderWindowSize);
    FUZZ_CHECK(z.error == 0);
    std::memset(z.window.get(), 0, kDecoderWindowSize);
    // An empty file has no block to position in; the first fetch then finds its end.
    if (z.input_size > 0) FUZZ_CHECK(seek_archive(z, 0, 0) == 0);

    Outcome o;
    o.output.reset(new std::uint8_t[capacity]);
    z.compressed_left = compressed_size;
    z.uncompressed_size = capacity - kSlack;
    z.extract_crc = 0xFFFFFFFFu;
    z.output_count = 0;
    z.to_memory = 1;
    z.memory_target = o.output.get();
    z.memory_capacity = capacity;
    o.result = decoder(z);
    o.error = z.error;
    o.output_count = z.output_count;
    o.crc = ~z.extract_crc;
    FUZZ_CHECK(z.output_count <= capacity);
    release_job(z);
    FUZZ_CHECK(z.input_handle == platform::kInvalidFile);
    FUZZ_CHECK(!z.fixedLitTable && !z.fixedDistTable);
    return o;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char path[96];
    std::snprintf(path, sizeof path, "/dev/shm/zarvo-fuzz-inflate-%ld.bin",
                  static_cast<long>(getpid()));
    g_host_file = path;
    std::atexit([] { std::remove(g_host_file.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderSize) return 0;
    const std::uint32_t raw = std::uint32_t(data[0]) | (std::uint32_t(data[1]) << 8) |
                              (std::uint32_t(data[2]) << 16) | (std::uint32_t(data[3]) << 24);
    const std::uint32_t uncompressed = (raw & 0x1FFFFF) % (kMaxSize + 1);
    const auto stream_size = static_cast<std::uint32_t>(size - kHeaderSize);
    std::uint32_t compressed = stream_size;
    if (raw & 0x80000000u) {
        const std::uint32_t following = (raw >> 21) & 0xFF;
        compressed = following < stream_size ? stream_size - following : 0;
    }

    std::FILE* f = std::fopen(g_host_file.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    if (stream_size) FUZZ_CHECK(std::fwrite(data + kHeaderSize, 1, stream_size, f) == stream_size);
    std::fclose(f);

    const std::uint32_t capacity = uncompressed + kSlack;
    const Outcome fast = decode(compressed, capacity, kFastDecoder);
    const Outcome rules = decode(compressed, capacity, kRulesDecoder);
    const Outcome reference = decode(compressed, capacity, kReferenceDecoder);

    FUZZ_CHECK(fast.result >= 0 && fast.result <= 2);
    // A full target, or a stream that kept fetching past the archive file's end.
    FUZZ_CHECK(fast.error == 0 || fast.error == ZERR_TOOLARGE || fast.error == ZERR_EOF);
    // A full target keeps the first capacity bytes; after an error the
    // checksum covers bytes that were not written.
    if (fast.error == ZERR_TOOLARGE) FUZZ_CHECK(fast.output_count == capacity);
    if (fast.error == 0)
        FUZZ_CHECK(fast.crc == reference_crc(fast.output.get(), fast.output_count));

    FUZZ_CHECK(fast.result == rules.result);
    FUZZ_CHECK(fast.error == rules.error);
    FUZZ_CHECK(fast.output_count == rules.output_count);
    FUZZ_CHECK(fast.crc == rules.crc);
    FUZZ_CHECK(std::memcmp(fast.output.get(), rules.output.get(), fast.output_count) == 0);

    FUZZ_CHECK(fast.result == reference.result);
    FUZZ_CHECK(fast.error == reference.error);
    FUZZ_CHECK(fast.output_count == reference.output_count);
    FUZZ_CHECK(fast.crc == reference.crc);
    FUZZ_CHECK(std::memcmp(fast.output.get(), reference.output.get(), fast.output_count) == 0);
    return 0;
}
