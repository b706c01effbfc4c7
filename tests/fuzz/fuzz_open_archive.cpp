// libFuzzer target for the archive reader: the input is written to a file,
// opened with open_archive, and the catalog it leaves is walked through every
// operation the list window uses. Besides the sanitizers, the checks below
// abort on a catalog that breaks the invariants the rest of the engine relies
// on (a sorted view that is not a permutation of the entries or not in order,
// a lookup that misses a name that is there, a handle left open).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/platform.h"
#include "zip/list_text.h"
#include "zip/names.h"
#include "zip/open_archive.h"
#include "zip/writer.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "fuzz_open_archive: check failed at line %d: %s\n", __LINE__,     \
                         #cond);                                                                   \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

std::string g_folder;     // per-process folder under /dev/shm
std::string g_host_file;  // the archive file inside it
std::string g_fixed_path; // its DOS path on Z:
int g_ok_budget = 0;      // OK answers left to disk prompts in this open

// Answers OK to OK-only boxes; to disk prompts, OK a few times (a user who
// presses OK without changing the disk), then Cancel so that no open loops.
int respond(const platform::Prompt& p) {
    unsigned buttons = p.style & 0x0F;
    if (buttons == platform::kMbOk) return platform::kIdOk;
    if (buttons == platform::kMbOkCancel && g_ok_budget > 0) {
        --g_ok_budget;
        return platform::kIdOk;
    }
    return buttons == platform::kMbYesNo ? platform::kIdNo : platform::kIdCancel;
}

// The name as the engine compares it: up to its first NUL byte.
const char* cname(const zentry* e) {
    return e->name.c_str();
}

std::uint32_t ratio(const zentry* e) {
    return compression_ratio(e->uncompressed_size, e->compressed_size);
}

// Whether a may stand before b in sort mode m (b is not strictly before a).
bool in_order(std::uint32_t m, const zentry* a, const zentry* b) {
    switch (m) {
    case kSortNameUp:
        return compare_names(cname(a), cname(b)) <= 0;
    case kSortNameDown:
        return compare_names(cname(a), cname(b)) >= 0;
    case kSortDateUp:
        return a->date_time() <= b->date_time();
    case kSortDateDown:
        return a->date_time() >= b->date_time();
    case kSortSizeUp:
        return a->uncompressed_size <= b->uncompressed_size;
    case kSortSizeDown:
        return a->uncompressed_size >= b->uncompressed_size;
    case kSortPackedUp:
        return a->compressed_size <= b->compressed_size;
    case kSortPackedDown:
        return a->compressed_size >= b->compressed_size;
    case kSortRatioUp:
        return ratio(a) <= ratio(b);
    default:
        return ratio(a) >= ratio(b);
    }
}

// The sorted view is in the order of the mode, and (when whole is set) holds
// each entry exactly once.
void check_sorted(const zlist& list, bool whole = true) {
    FUZZ_CHECK(list.sorted.size() == list.entries.size());
    for (std::size_t i = 1; i < list.sorted.size(); ++i)
        FUZZ_CHECK(in_order(list.sort_mode, list.sorted[i - 1], list.sorted[i]));
    if (!whole) return;
    std::vector<const zentry*> a(list.sorted.begin(), list.sorted.end());
    std::vector<const zentry*> b;
    for (const auto& e : list.entries)
        b.push_back(e.get());
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    FUZZ_CHECK(a == b);
}

// Every name present is found, and what is found has that name.
void check_lookup(const zlist& list) {
    for (const auto& e : list.entries) {
        const zentry* f = list.zlist_find(cname(e.get()));
        FUZZ_CHECK(f != nullptr);
        FUZZ_CHECK(compare_names(cname(f), cname(e.get())) == 0);
    }
}

volatile std::uint64_t g_sink;

// Reads every field and the texts the list window shows for each member.
void touch_entries(const zlist& list) {
    std::uint64_t sum = list.count() + list.this_disk + list.central_directory_disk +
                        list.entries_on_this_disk + list.total_entries +
                        list.central_directory_size + list.central_directory_offset;
    FUZZ_CHECK(list.comment.size() == list.comment_length);
    for (const auto& p : list.entries) {
        FUZZ_CHECK(p != nullptr);
        const zentry& e = *p;
        FUZZ_CHECK(e.stored_name.size() == e.name_length);
        FUZZ_CHECK(is_utf8(e.name)); // whatever the header's bytes
        FUZZ_CHECK(e.central_extra.size() == e.central_extra_length);
        FUZZ_CHECK(e.comment.size() == e.comment_length);
        sum += e.version_made_by + e.version_needed + e.flags + e.method + e.crc +
               e.compressed_size + e.uncompressed_size + e.local_name_length +
               e.local_extra_length + e.disk_number_start + e.internal_attributes + e.local_flags +
               e.date_time() + e.external_attributes + e.local_header_offset + e.mark +
               e.is_folder();
        for (std::uint8_t c : e.central_extra)
            sum += c;
        for (char c : e.name)
            sum += static_cast<unsigned char>(c);
        for (char c : e.comment)
            sum += static_cast<unsigned char>(c);
        FUZZ_CHECK(ratio(&e) <= 100);
        sum +=
            member_date_text(e).size() + member_time_text(e).size() + member_ratio_text(e).size();
        platform::DosFields f = platform::split_dos_time({e.date, e.time});
        sum += static_cast<std::uint64_t>(f.year + f.month + f.day + f.hour + f.minute + f.second);
    }
    sum += totals_text(list).size();
    g_sink = sum;
}

// Every sort mode, with a name lookup in each; then marking and removal.
void walk_catalog(zlist& list) {
    touch_entries(list);
    for (std::uint32_t mode = 0; mode <= 9; ++mode) {
        list.sort_mode = mode;
        FUZZ_CHECK(list.zlist_sort() == 0);
        check_sorted(list);

        list.sort_for_lookup();
        FUZZ_CHECK(list.saved_sort_mode == mode);
        FUZZ_CHECK(list.sort_mode == kSortNameUp || list.sort_mode == kSortNameDown);
        check_sorted(list, false);
        check_lookup(list);
        list.restore_sort();
        FUZZ_CHECK(list.sort_mode == mode);
        check_sorted(list, false);
    }

    // Remove every other member by mark: the rest stays findable once sorted.
    std::uint32_t n = list.count(), picked = 0;
    list.mark_all(0);
    FUZZ_CHECK(list.marked == 0);
    for (std::uint32_t i = 0; i < n; i += 2) {
        list.mark(list.entries[i].get());
        list.mark(list.entries[i].get()); // counted once
        ++picked;
    }
    FUZZ_CHECK(list.marked == picked);
    list.remove_marked(1);
    FUZZ_CHECK(list.count() == n - picked);
    FUZZ_CHECK(list.marked == 0);
    for (const auto& e : list.entries)
        FUZZ_CHECK(e->mark == 0);
    list.sort_mode = kSortNameUp;
    FUZZ_CHECK(list.zlist_sort() == 0);
    check_sorted(list);
    check_lookup(list);

    list.mark_all(1);
    FUZZ_CHECK(list.marked == list.count());
    bool folders = false;
    for (const auto& e : list.entries)
        folders = folders || std::strchr(cname(e.get()), '/');
    FUZZ_CHECK(list.test_has_folders() == (folders ? 1u : 0u));
    FUZZ_CHECK(list.has_folders == (folders ? 1u : 0u));
    list.remove_marked(1);
    FUZZ_CHECK(list.count() == 0);
    FUZZ_CHECK(list.marked == 0);
    FUZZ_CHECK(list.sorted.empty());
    FUZZ_CHECK(list.zlist_find("x") == nullptr);
    list.clear();
    FUZZ_CHECK(list.count() == 0 && list.comment.empty() && list.comment_length == 0);
}

// One open, and what the engine promises for every outcome.
void open_checked(zip& z, zlist& list, const char* path, std::uint32_t sort_mode) {
    g_ok_budget = 2;
    list.sort_mode = sort_mode;
    int rc = open_archive(z, list, path);
    FUZZ_CHECK(rc == z.error);
    // The input is closed and the buffers freed on every path.
    FUZZ_CHECK(z.input_handle == platform::kInvalidFile);
    FUZZ_CHECK(!z.input_buffer);
    if (rc == 0) {
        FUZZ_CHECK(list.count() > 0);
        FUZZ_CHECK(list.sort_mode == sort_mode);
        check_sorted(list);
    } else if (list.sorted.size() == list.entries.size()) {
        // A failed open may leave a partial catalog, whose sorted view is then empty.
        check_sorted(list);
    }
}

std::vector<std::uint8_t> read_back() {
    std::vector<std::uint8_t> bytes;
    std::FILE* f = std::fopen(g_host_file.c_str(), "rb");
    if (!f) std::abort();
    int c;
    while ((c = std::fgetc(f)) != EOF)
        bytes.push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
    return bytes;
}

// A comment change writes only the end record's tail, where the record was
// found, whatever the record's figures claim; the archive then opens as before.
void change_comment_checked(zip& z, zlist& list, const std::uint8_t* data, std::size_t size) {
    const std::uint32_t count = list.count(), at = list.end_record_offset;
    FUZZ_CHECK(std::size_t(at) + 22 <= size);
    static const char kComment[] = "fuzz";
    int rc = set_comment(z, list, kComment, 4);
    FUZZ_CHECK(rc == 0);
    std::vector<std::uint8_t> after = read_back();
    FUZZ_CHECK(after.size() == std::size_t(at) + 22 + 4);
    FUZZ_CHECK(std::memcmp(after.data(), data, at) == 0);
    FUZZ_CHECK(std::memcmp(after.data() + at + 22, kComment, 4) == 0);
    zlist again;
    g_ok_budget = 2;
    FUZZ_CHECK(open_archive(z, again, g_fixed_path.c_str()) == 0);
    FUZZ_CHECK(again.count() == count);
    FUZZ_CHECK(again.comment == kComment);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    platform::set_prompt_responder(respond);
    char name[64];
    std::snprintf(name, sizeof name, "/dev/shm/zarvo-fuzz-open-%ld", static_cast<long>(getpid()));
    g_folder = name;
    std::string cmd = "mkdir -p " + g_folder;
    if (std::system(cmd.c_str()) != 0) std::abort();
    g_host_file = g_folder + "/input.zip";
    g_fixed_path = platform::dos_path_from_host(g_host_file);
    std::atexit([] {
        std::remove(g_host_file.c_str());
        rmdir(g_folder.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(g_host_file.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);

    // The sort mode the catalog is in when opened; the walk tries all of them anyway.
    const std::uint32_t mode = size ? data[size - 1] % 10 : 0;

    zip z;
    {
        // Opened twice into the same catalog: the second open replaces what
        // the first left, as the archive manager reopens after every change.
        zlist list;
        open_checked(z, list, g_fixed_path.c_str(), mode);
        touch_entries(list);
        open_checked(z, list, g_fixed_path.c_str(), (mode + 1) % 10);
        const bool opened = z.error == 0;
        walk_catalog(list);
        if (opened) {
            zlist fresh;
            open_checked(z, fresh, g_fixed_path.c_str(), mode);
            change_comment_checked(z, fresh, data, size);
            // The disk rounds below read the input as it came.
            std::FILE* f = std::fopen(g_host_file.c_str(), "wb");
            if (!f) std::abort();
            if (size && std::fwrite(data, 1, size, f) != size) std::abort();
            std::fclose(f);
        }
    }

    // The same file as disk 1, then disk 2, of a set on a removable drive: the
    // disk prompts and the end-record search on another disk.
    platform::DriveMount disk;
    disk.host_folder = g_folder;
    disk.type = platform::kDriveRemovable;
    disk.serial = 0x1234;
    for (const char* label : {"PKBACK# 001", "PKBACK# 002"}) {
        disk.label = label;
        platform::mount_drive('A', disk);
        zlist list;
        open_checked(z, list, "A:\\INPUT.ZIP", mode);
        // The catalog itself is the one walked above; only its fields are read.
        touch_entries(list);
        platform::unmount_drive('A');
    }
    return 0;
}
