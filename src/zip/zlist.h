// The catalog of the open archive: member records in central-directory
// order, a sorted view for the list window, the end record's values and the
// archive comment. It outlives jobs and is rebuilt by open_archive after
// every change to the archive.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Whether a member's ZIP64 values could be taken into its fields. Those
// that could not keep the header's markers and are skipped by jobs.
enum : std::uint8_t {
    kZip64Fits = 0,
    kZip64Damaged = 2, // the extra field lacks a value its header marks, or a disk past 65,535
};

// One archive member, as read from its central header. The fields are
// ordered widest first, so that the many entries of a large archive carry no
// padding.
// The host byte of "version made by" for Unix, and the file types of the
// mode such a member keeps.
constexpr std::uint16_t kMadeByUnix = 3;
constexpr std::uint32_t kUnixTypeMask = 0170000;
constexpr std::uint32_t kUnixFolder = 0040000;
constexpr std::uint32_t kUnixRegular = 0100000;
constexpr std::uint32_t kUnixLink = 0120000;

struct zentry {
    std::uint64_t compressed_size = 0;
    std::uint64_t uncompressed_size = 0;
    std::uint64_t local_header_offset = 0;
    std::uint32_t crc = 0;
    std::uint32_t external_attributes = 0;
    std::vector<std::uint8_t> central_extra;
    std::string comment; // comment_length bytes
    std::string name;    // UTF-8, with '/' separators: what lists, paths and lookups use
    std::string stored_name; // the header's bytes, written back as they are
    std::uint16_t version_made_by = 0;
    std::uint16_t version_needed = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    // The records' 16-bit lengths.
    std::uint16_t local_name_length = 0;
    std::uint16_t local_extra_length = 0;
    std::uint16_t name_length = 0;
    std::uint16_t central_extra_length = 0;
    std::uint16_t comment_length = 0;
    std::uint16_t disk_number_start = 0;
    std::uint16_t internal_attributes = 0;
    std::uint16_t local_flags = 0;
    std::uint16_t date = 0;
    std::uint16_t time = 0;
    std::uint16_t mark = 0;
    std::uint8_t zip64 = kZip64Fits;
    // A member this program writes with its sizes in a local ZIP64 block
    // (decided before its data, from the source's size).
    bool local_zip64 = false;
    // A member this program writes with an extended-timestamp block (its
    // modification time) in both headers, held in central_extra; in the
    // local extra field it follows any ZIP64 block.
    bool time_extra = false;

    // Date in the high half, time in the low half: one comparable value.
    std::uint32_t date_time() const { return (std::uint32_t(date) << 16) | time; }
    bool is_folder() const { return (external_attributes & 0x10) != 0; }
    // A member made on Unix keeps the file's mode in the high half of its
    // external attributes; members of other hosts have none (0).
    bool made_on_unix() const { return (version_made_by >> 8) == kMadeByUnix; }
    std::uint32_t unix_mode() const { return made_on_unix() ? external_attributes >> 16 : 0; }
    bool is_link() const { return (unix_mode() & kUnixTypeMask) == kUnixLink; }
};

// Sort modes of the sorted view.
enum : std::uint32_t {
    kSortNameUp = 0,
    kSortNameDown = 1,
    kSortDateUp = 2,
    kSortDateDown = 3,
    kSortSizeUp = 4,
    kSortSizeDown = 5,
    kSortPackedUp = 6,
    kSortPackedDown = 7,
    kSortRatioUp = 8,
    kSortRatioDown = 9,
};

struct zlist {
    std::vector<std::unique_ptr<zentry>> entries; // central-directory order
    std::vector<zentry*> sorted;                  // display order, rebuilt by zlist_sort
    std::uint32_t marked = 0;
    std::uint32_t has_folders = 0;
    std::uint32_t sort_mode = kSortNameUp;
    std::uint32_t saved_sort_mode = kSortNameUp;
    std::uint32_t this_disk = 0;
    std::uint32_t central_directory_disk = 0;
    std::uint32_t entries_on_this_disk = 0;
    std::uint32_t total_entries = 0;
    std::uint64_t central_directory_size = 0;
    std::uint64_t central_directory_offset = 0;
    std::uint32_t comment_length = 0;
    std::string comment;
    // Where the end record was found (on the last disk): a comment change
    // writes there and nowhere else.
    std::uint64_t end_record_offset = 0;
    // An archive whose end record points to a ZIP64 end record, where the
    // count, size and offset above were taken from; the directory must end there.
    bool zip64 = false;
    std::uint64_t zip64_end_offset = 0;
    // Bytes in front of the archive that its recorded offsets do not count
    // (a stub or another archive put before it). The directory offset and
    // the members' offsets above already include them; the end record on
    // disk keeps the recorded ones. While the archive is read: the bytes a
    // ZIP64 locator's pointer left out.
    std::uint64_t offset_adjust = 0;

    std::uint32_t count() const { return static_cast<std::uint32_t>(entries.size()); }

    // Frees every entry, the comment and the sorted view.
    void clear();
    zentry* append(std::unique_ptr<zentry> entry);
    void mark(zentry* e);   // counted once
    void unmark(zentry* e);
    void mark_all(std::uint16_t value);
    // Unlinks and frees every entry whose mark equals value. The sorted view is
    // stale until the next sort (emptied when no entry is left).
    void remove_marked(std::uint16_t value);
    // Rebuilds the sorted view in the current sort mode; 1 when it cannot be allocated.
    int zlist_sort();
    // Switch to a name order for zlist_find, and back.
    void sort_for_lookup();
    void restore_sort();
    // Binary search of the sorted view, without regard to case; needs mode 0 or 1.
    zentry* zlist_find(const char* name) const;
    // 1 when some marked entry has a folder in its name; also kept in has_folders.
    std::uint32_t test_has_folders();
};

// The percentage saved, rounded; 0 when the member did not shrink.
std::uint32_t compression_ratio(std::uint64_t uncompressed, std::uint64_t compressed);

// Case-insensitive comparison of names, as the catalog orders them.
int compare_names(const char* a, const char* b);
