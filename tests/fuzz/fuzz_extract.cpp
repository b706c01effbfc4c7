// libFuzzer target for whole-archive extraction into memory: the input is
// written to a file, opened as an archive, every member is marked and the
// marked members are extracted into a bounded buffer, then tested. Member
// data of every method goes through its decoder, so damaged headers and
// damaged data meet each other here. Beyond the sanitizers it checks that a
// job leaves no handle open, keeps the NUL behind the output and clears marks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "ops/extract.h"
#include "platform/platform.h"
#include "zip/open_archive.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "fuzz_extract: check failed at line %d: %s\n", __LINE__, #cond);  \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

std::string g_host_file;
std::string g_dos_path;

int respond(const platform::Prompt& p) {
    return (p.style & 0x0F) == platform::kMbOk ? platform::kIdOk : platform::kIdCancel;
}

constexpr std::uint32_t kCapacity = 1u << 20;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string folder = "/dev/shm/zarvo-fuzz-extract-" + std::to_string(getpid());
    std::string cmd = "mkdir -p " + folder;
    if (std::system(cmd.c_str()) != 0) std::abort();
    g_host_file = folder + "/input.zip";
    g_dos_path = platform::dos_path_from_host(g_host_file);
    platform::set_prompt_responder(respond);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FILE* f = std::fopen(g_host_file.c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);

    zip z;
    zlist list;
    if (open_archive(z, list, g_dos_path.c_str()) != 0) return 0;

    static std::vector<std::uint8_t> buffer(kCapacity + 1);
    list.mark_all(1);
    buffer[kCapacity] = 0x5A;
    extract_to_memory(z, list, nullptr, g_dos_path.c_str(), buffer.data(), kCapacity);
    FUZZ_CHECK(z.input_handle == platform::kInvalidFile);
    FUZZ_CHECK(z.output_count <= kCapacity);
    FUZZ_CHECK(buffer[z.output_count] == 0);
    FUZZ_CHECK(list.marked == 0);
    FUZZ_CHECK(z.to_memory == 0);

    list.mark_all(1);
    test_files(z, list, nullptr, g_dos_path.c_str());
    FUZZ_CHECK(z.input_handle == platform::kInvalidFile);
    FUZZ_CHECK(z.discard_output == 0);
    return 0;
}
