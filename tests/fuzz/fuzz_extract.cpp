// libFuzzer target for whole-archive extraction into memory: the input is
// written to a file, opened as an archive, every member is marked and the
// marked members are extracted into a bounded buffer, then tested. Member
// data of every method goes through its decoder, so damaged headers and
// damaged data meet each other here. Beyond the sanitizers it checks that a
// job leaves no handle open, keeps the NUL behind the output and clears marks.
// Archives whose declared sizes are small are also extracted into a folder,
// where links are made: nothing may appear beside that folder, and every
// link made there that resolves must resolve inside it.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ops/extract.h"
#include "ops/job_ui.h"
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

std::string g_folder;
std::string g_host_file;
std::string g_dos_path;
std::string g_host_out;
std::string g_dos_out;
std::string g_real_out; // the output folder with every link of its path resolved

constexpr std::uint32_t kCapacity = 1u << 20;

// Files extracted at most, by the sizes the members declare (never passed):
// as much as the memory form holds.
constexpr std::uint64_t kFilesLimit = kCapacity;

int check_link(const char* path, const struct stat* st, int, struct FTW*) {
    if (!S_ISLNK(st->st_mode)) return 0;
    char resolved[PATH_MAX];
    if (realpath(path, resolved)) {
        const std::string r = resolved;
        FUZZ_CHECK(r == g_real_out || r.compare(0, g_real_out.size() + 1, g_real_out + "/") == 0);
    }
    return 0;
}

int remove_one(const char* path, const struct stat*, int, struct FTW*) {
    std::remove(path);
    return 0;
}

void extract_to_folder(zip& z, zlist& list) {
    std::uint64_t declared = 0;
    for (const auto& e : list.entries) {
        declared += e->uncompressed_size;
        if (e->uncompressed_size > kFilesLimit || declared > kFilesLimit) return;
    }
    mkdir(g_host_out.c_str(), 0755);
    list.mark_all(1);
    extract_files(z, list, nullptr, g_dos_path.c_str(), g_dos_out.c_str(), 1, kAnswerYesToAll);
    FUZZ_CHECK(z.output_handle == platform::kInvalidFile);
    nftw(g_host_out.c_str(), check_link, 16, FTW_PHYS);
    nftw(g_host_out.c_str(), remove_one, 16, FTW_PHYS | FTW_DEPTH);
    // The folder held the input and the output folder, and holds the input now.
    std::vector<std::string> left;
    if (DIR* d = opendir(g_folder.c_str())) {
        while (dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) left.push_back(e->d_name);
        closedir(d);
    }
    FUZZ_CHECK(left.size() == 1 && left[0] == "input.zip");
}

int respond(const platform::Prompt& p) {
    return (p.style & 0x0F) == platform::kMbOk ? platform::kIdOk : platform::kIdCancel;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_folder = "/dev/shm/zarvo-fuzz-extract-" + std::to_string(getpid());
    std::string cmd = "mkdir -p " + g_folder;
    if (std::system(cmd.c_str()) != 0) std::abort();
    g_host_file = g_folder + "/input.zip";
    g_dos_path = platform::dos_path_from_host(g_host_file);
    g_host_out = g_folder + "/out";
    g_dos_out = platform::dos_path_from_host(g_host_out);
    char real[PATH_MAX];
    if (!realpath(g_folder.c_str(), real)) std::abort();
    g_real_out = std::string(real) + "/out";
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

    extract_to_folder(z, list);
    return 0;
}
