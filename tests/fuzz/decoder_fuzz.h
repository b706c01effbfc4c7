// Shared by the decoder fuzz targets. An input is a 5-byte header and then a
// member's compressed data:
//   bytes 0-3  uncompressed size, little-endian, taken modulo 1 MiB + 1
//   byte 4     bits 1 and 2: the member's flags (dictionary size and trees of
//              explode); bit 7: the member claims 200,001 bytes more than
//              there are, so the decoder runs off the end of the archive file
//              and explode picks its wider distance lookup
// The data is written to a file and decoded through the engine's buffered
// input into a memory target of the uncompressed size + 64 KiB, as an
// extraction to memory would. Besides the sanitizers, the checks below abort
// when the engine's promises break.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

#include "codec/crc32.h"
#include "ops/drives.h"
#include "platform/platform.h"
#include "zip/zip.h"
#include "zip/zlist.h"

#define DECODER_FUZZ_CHECK(cond)                                                                   \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "decoder fuzz: check failed at line %d: %s\n", __LINE__, #cond);  \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace decoder_fuzz {

constexpr std::size_t kHeaderSize = 5;
constexpr std::uint32_t kMaxSize = 1u << 20;
constexpr std::uint32_t kSlack = 65536;
constexpr std::uint32_t kPastTheEnd = 200001;

struct Member {
    std::uint32_t uncompressed_size;
    std::uint16_t flags;
    std::uint32_t compressed_size;
};

// What one decode left; the engine is released already.
struct Outcome {
    int result;
    std::int32_t error;
    std::uint32_t output_count;
    std::uint32_t capacity;
    bool window_present;
    bool crc_matches; // the extract crc covers exactly the bytes in the target
};

inline std::string& host_file() {
    static std::string path;
    return path;
}

inline std::uint8_t* target() {
    static std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kMaxSize + kSlack]);
    return buffer.get();
}

// An independent bytewise CRC-32, so the engine's sliced one is checked too.
inline std::uint32_t reference_crc(const std::uint8_t* p, std::size_t n) {
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

inline void initialize(const char* name) {
    char path[96];
    std::snprintf(path, sizeof path, "/dev/shm/zarvo-fuzz-%s-%ld.bin", name,
                  static_cast<long>(getpid()));
    host_file() = path;
    std::atexit([] { std::remove(host_file().c_str()); });
}

// Splits the input; false when it is shorter than the header.
inline bool parse(const std::uint8_t* data, std::size_t size, Member& m) {
    if (size < kHeaderSize) return false;
    const std::uint32_t raw = std::uint32_t(data[0]) | (std::uint32_t(data[1]) << 8) |
                              (std::uint32_t(data[2]) << 16) | (std::uint32_t(data[3]) << 24);
    m.uncompressed_size = raw % (kMaxSize + 1);
    m.flags = data[4] & 0x06;
    m.compressed_size = static_cast<std::uint32_t>(size - kHeaderSize);
    if (data[4] & 0x80) m.compressed_size += kPastTheEnd;
    return true;
}

template <typename Decoder>
Outcome decode(const std::uint8_t* data, std::size_t size, const Member& m, Decoder decoder) {
    std::FILE* f = std::fopen(host_file().c_str(), "wb");
    DECODER_FUZZ_CHECK(f != nullptr);
    if (size) DECODER_FUZZ_CHECK(std::fwrite(data, 1, size, f) == size);
    std::fclose(f);

    zip z;
    DECODER_FUZZ_CHECK(platform::copy_bounded(z.archive_path, sizeof z.archive_path,
                                              platform::dos_path_from_host(host_file()).c_str()));
    DECODER_FUZZ_CHECK(open_archive_input(z) == 0);
    z.input_buffer = allocate_buffer(z, kInputBufferSize);
    DECODER_FUZZ_CHECK(makeCrcTable(z) == 0);
    z.window = allocate_buffer(z, 32768);
    std::memset(z.window.get(), 0, 32768);
    z.decoder_buffer = allocate_buffer(z, 65536);
    DECODER_FUZZ_CHECK(z.error == 0);

    zentry entry;
    entry.flags = m.flags;
    entry.compressed_size = m.compressed_size;
    entry.uncompressed_size = m.uncompressed_size;
    z.current_entry = &entry;
    z.compressed_left = m.compressed_size;
    z.uncompressed_size = m.uncompressed_size;
    z.extract_crc = 0xFFFFFFFFu;
    z.output_count = 0;
    z.to_memory = 1;
    z.memory_target = target();
    z.memory_capacity = m.uncompressed_size + kSlack;

    Outcome o{};
    o.result = decoder(z);
    o.error = z.error;
    o.output_count = z.output_count;
    o.capacity = z.memory_capacity;
    o.window_present = z.window != nullptr;
    o.crc_matches = ~z.extract_crc == reference_crc(target(), z.output_count);
    DECODER_FUZZ_CHECK(z.output_count <= z.memory_capacity);
    release_job(z);
    DECODER_FUZZ_CHECK(z.input_handle == platform::kInvalidFile);
    return o;
}

} // namespace decoder_fuzz
