// libFuzzer target for the deflate encoder. An input is:
//   byte 0     the level: 1 + (byte mod 9)
//   the rest   the file to add (at most 1 MiB is used)
// The file is written to /dev/shm, deflated by deflateFile into another
// file as the add job does, and the member data are inflated back with
// inflateMember into memory. Besides the sanitizers, the checks below abort
// when anything is lost: the inflated (or stored) bytes must be the file,
// the add crc and the extract crc its CRC-32, the sizes and method those the
// encoder reported, and the option flags those of the level.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codec/deflate.h"
#include "codec/inflate.h"
#include "decoder_fuzz.h"

namespace {

#define ROUNDTRIP_CHECK(cond)                                                                      \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "fuzz_deflate_roundtrip: check failed at line %d: %s\n",          \
                         __LINE__, #cond);                                                         \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

std::string g_input_file;

void write_host(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ROUNDTRIP_CHECK(f != nullptr);
    if (size) ROUNDTRIP_CHECK(std::fwrite(data, 1, size, f) == size);
    std::fclose(f);
}

std::vector<std::uint8_t> read_host(const std::string& path) {
    std::vector<std::uint8_t> out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ROUNDTRIP_CHECK(f != nullptr);
    std::uint8_t buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        out.insert(out.end(), buffer, buffer + n);
    std::fclose(f);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The member data go to decoder_fuzz's file, from which they are decoded.
    decoder_fuzz::initialize("deflate-out");
    char path[96];
    std::snprintf(path, sizeof path, "/dev/shm/zarvo-fuzz-deflate-in-%ld.bin",
                  static_cast<long>(getpid()));
    g_input_file = path;
    std::atexit([] { std::remove(g_input_file.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint32_t level = 1 + data[0] % 9;
    const std::uint8_t* file = data + 1;
    const std::size_t file_size = std::min<std::size_t>(size - 1, decoder_fuzz::kMaxSize);
    write_host(g_input_file, file, file_size);

    zip z;
    ROUNDTRIP_CHECK(startDeflateJob(z) == 0);
    z.input_handle = platform::open_read(platform::dos_path_from_host(g_input_file).c_str());
    z.output_handle =
        platform::create_file(platform::dos_path_from_host(decoder_fuzz::host_file()).c_str());
    ROUNDTRIP_CHECK(z.input_handle != platform::kInvalidFile);
    ROUNDTRIP_CHECK(z.output_handle != platform::kInvalidFile);
    zentry entry;
    entry.flags = entry.local_flags = 8;
    entry.internal_attributes = 65535;
    entry.uncompressed_size = static_cast<std::uint32_t>(file_size);
    z.current_entry = &entry;
    z.level = level;
    z.add_crc = updateCrc(z, nullptr, 0);
    z.input_bytes_read = 0;
    std::uint64_t compressed = 0;
    const int result = deflateFile(z, &compressed);
    const std::uint32_t method = z.method, add_crc = z.add_crc;
    const std::uint64_t read = z.input_bytes_read;
    release_job(z);

    const std::uint32_t expected_crc = decoder_fuzz::reference_crc(file, file_size);
    ROUNDTRIP_CHECK(result == 0);
    ROUNDTRIP_CHECK(read == file_size);
    ROUNDTRIP_CHECK(add_crc == expected_crc);
    const std::uint16_t option = level == 1 ? 4 : level == 9 ? 2 : 0;
    ROUNDTRIP_CHECK(entry.flags == (8 | option) && entry.local_flags == (8 | option));
    ROUNDTRIP_CHECK(entry.internal_attributes <= 1);

    const std::vector<std::uint8_t> member = read_host(decoder_fuzz::host_file());
    ROUNDTRIP_CHECK(member.size() == compressed);
    if (method == 0) {
        // Stored whole: only when deflate would not have been shorter.
        ROUNDTRIP_CHECK(compressed == file_size);
        ROUNDTRIP_CHECK(file_size == 0 || std::memcmp(member.data(), file, file_size) == 0);
        return 0;
    }
    ROUNDTRIP_CHECK(method == 8);
    // Never more than stored blocks and the worst of the coded ones would take.
    ROUNDTRIP_CHECK(compressed <= file_size + file_size / 8 + 64);

    decoder_fuzz::Member m{static_cast<std::uint32_t>(file_size), 0,
                           static_cast<std::uint32_t>(compressed)};
    const auto o = decoder_fuzz::decode(member.data(), member.size(), m,
                                        [](zip& zz) { return inflateMember(zz); });
    ROUNDTRIP_CHECK(o.result == 0);
    ROUNDTRIP_CHECK(o.error == 0);
    ROUNDTRIP_CHECK(o.output_count == file_size);
    ROUNDTRIP_CHECK(file_size == 0 || std::memcmp(decoder_fuzz::target(), file, file_size) == 0);
    ROUNDTRIP_CHECK(o.crc_matches);
    return 0;
}
