#include "zip/open_archive.h"

#include <cstring>
#include <string>

#include "ops/drives.h"
#include "platform/platform.h"
#include "zip/input.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

// Opens the archive for this listing; a failure here is "Can't open file".
bool open_for_listing(zip& z) {
    if (open_archive_input(z) != 0) {
        set_error(z, ZERR_OPEN);
        return false;
    }
    return true;
}

// Reads the central headers that follow the input's position. The directory
// is read whole or refused: a reader that stopped quietly at a damaged
// header would show, test and rewrite the archive without the members
// behind it. True when the end record's figures deserve a warning, which
// the caller gives once it keeps this reading.
bool read_central_directory(zip& z, zlist& list) {
    // A directory on the end record's disk must end before the end record.
    // Disk numbers count only on removable drives, as everywhere else: a
    // file on any other drive is one disk, whatever its records say.
    // With a ZIP64 end record the directory ends before that record instead.
    const bool same_disk =
        z.drive_type != kDriveTypeRemovable || list.central_directory_disk == list.this_disk;
    const std::uint64_t limit = list.zip64 ? list.zip64_end_offset : list.end_record_offset;
    const bool bounded = same_disk && list.central_directory_offset <= limit;
    std::uint64_t consumed = 0;
    for (;;) {
        std::uint64_t room = ~std::uint64_t(0);
        if (bounded) {
            std::uint64_t at = list.central_directory_offset + consumed;
            room = at < limit ? limit - at : 0;
        }
        if (read_central_header(z, list, room) != 0) break;
        consumed += central_header_size(*list.entries.back());
    }
    // The loop ends at the first record that is not a central header; other
    // errors (end of file, memory, a header running into the end record) stand.
    if (z.error != ZERR_FORMAT || list.count() == 0) {
        if (z.error != ZERR_FORMAT) list.clear();
        return false;
    }

    // ZIP64 archives keep their real count and size elsewhere; their
    // directory must end at one of the records that follow it.
    const auto* s = reinterpret_cast<const std::uint8_t*>(z.signature_buffer);
    const bool at_zip64_record =
        s[0] == 'P' && s[1] == 'K' && s[2] == 6 && (s[3] == 6 || s[3] == 7);
    const bool at_limit =
        bounded && list.central_directory_offset + consumed == limit;
    const bool at_end_record = at_limit && !list.zip64;
    // Markers without a ZIP64 locator: the values may be real ones, or the
    // locator was lost; the directory must still end at a record.
    const bool zip64_marked = !list.zip64 && (list.total_entries == 0xFFFF ||
                                              list.central_directory_size == 0xFFFFFFFFu ||
                                              list.central_directory_offset == 0xFFFFFFFFu);
    bool complete;
    if (list.zip64) {
        // The ZIP64 figures are exact: nothing wraps, and the directory
        // reaches the ZIP64 end record.
        complete = at_limit && list.count() >= list.total_entries &&
                   consumed >= list.central_directory_size;
    } else if (zip64_marked) {
        complete = at_end_record || at_zip64_record;
    } else {
        // More members than counted is an archive whose 16-bit count wrapped;
        // fewer, or fewer bytes than the directory's size, means a header
        // was damaged and the members behind it would be lost.
        complete = list.count() >= list.total_entries && consumed >= list.central_directory_size;
    }
    if (!complete) {
        z.error = ZERR_NOEND;
        list.clear();
        return false;
    }
    z.error = 0;
    // The end record's count is 16 bits wide, the ZIP64 one's is not.
    const std::uint32_t counted = list.zip64 ? list.count() : list.count() & 0xFFFF;
    const std::uint64_t measured = list.zip64 ? consumed : consumed & 0xFFFFFFFFu;
    const bool figures_differ = counted != list.total_entries || measured != list.central_directory_size;
    // Another end record right behind the directory: the one found lies in
    // its comment, where other readers may not look.
    const bool end_record_before =
        bounded && !at_end_record && s[0] == 'P' && s[1] == 'K' && s[2] == 5 && s[3] == 6;
    if (list.zlist_sort() != 0) z.error = ZERR_GENERAL;
    return (figures_differ && (list.zip64 || !at_zip64_record)) || end_record_before;
}

// Whether a signature is at offset on disk; the error field is left clear.
bool signature_at(zip& z, std::uint64_t offset, std::uint32_t disk, const char* signature) {
    char found[4] = {};
    if (seek_archive(z, offset, disk) == 0) read_bytes(z, found, sizeof found);
    const bool match = z.error == 0 && std::memcmp(found, signature, 4) == 0;
    z.error = 0;
    return match;
}

// The bytes in front of the archive its recorded offsets leave out: a stub
// put before it, or another archive, whose length the records do not count.
// The directory then ends right before the record that follows it, not at
// its recorded offset plus its size; 0 unless a central header is where it
// would start. Spanned sets on removable drives are not looked at.
std::uint64_t offsets_left_out(zip& z, const zlist& list) {
    if (z.drive_type == kDriveTypeRemovable &&
        (list.this_disk != 0 || list.central_directory_disk != 0))
        return 0;
    const std::uint64_t limit = list.zip64 ? list.zip64_end_offset : list.end_record_offset;
    const std::uint64_t size = list.central_directory_size;
    if (size == 0 || size > limit) return 0;
    const std::uint64_t start = limit - size;
    if (start <= list.central_directory_offset) return 0;
    if (!signature_at(z, start, list.central_directory_disk, z.central_signature)) return 0;
    return start - list.central_directory_offset;
}

// Moves every member on the end record's disk by adjust, and checks that the
// first of them then starts with a local header: a directory found by its
// size alone could still belong to nothing. False leaves offsets half moved;
// the caller then reads the directory again.
bool move_members(zip& z, zlist& list, std::uint64_t adjust) {
    zentry* checked = nullptr;
    for (auto& owned : list.entries) {
        zentry& e = *owned;
        // Damaged ZIP64 values keep their markers, and are skipped by jobs.
        if (e.zip64 == kZip64Damaged) continue;
        if (z.drive_type == kDriveTypeRemovable && e.disk_number_start != list.this_disk) continue;
        e.local_header_offset = e.local_header_offset > ~std::uint64_t(0) - adjust
                                    ? ~std::uint64_t(0)
                                    : e.local_header_offset + adjust;
        if (!checked) checked = &e;
    }
    return checked && signature_at(z, checked->local_header_offset, checked->disk_number_start,
                                   z.local_signature);
}

// Reads the directory, moved by the bytes its offsets leave out when there
// are such bytes. A moved reading that does not give a whole directory whose
// first member is there is dropped for the reading at the recorded offset,
// so that such archives are refused or read just as when nothing was moved.
void read_directory(zip& z, zlist& list) {
    // A ZIP64 end record found behind where its locator points.
    const bool located_behind = list.offset_adjust != 0;
    list.offset_adjust = 0;
    const std::uint64_t recorded = list.central_directory_offset;
    const std::uint64_t adjust = offsets_left_out(z, list);
    if (adjust) {
        const std::string comment = list.comment;
        const std::uint32_t comment_length = list.comment_length;
        list.central_directory_offset = recorded + adjust;
        bool figures_lie = false;
        if (seek_archive(z, list.central_directory_offset, list.central_directory_disk) == 0)
            figures_lie = read_central_directory(z, list);
        if (z.error == 0 && move_members(z, list, adjust)) {
            list.offset_adjust = adjust;
            zip_warning(z, ZWARN_OFFSET_DATA, z.archive_path);
            if (figures_lie) zip_warning(z, ZWARN_DIRECTORY, z.archive_path);
            return;
        }
        z.error = 0;
        list.clear();
        list.comment = comment;
        list.comment_length = comment_length;
        list.central_directory_offset = recorded;
    }
    if (seek_archive(z, recorded, list.central_directory_disk) == ZERR_EOF) {
        list.clear();
        z.error = ZERR_FORMAT;
        return;
    }
    if (z.error) return;
    const bool figures_lie = read_central_directory(z, list);
    if (z.error == 0 && located_behind) zip_warning(z, ZWARN_OFFSET_DATA, z.archive_path);
    if (figures_lie) zip_warning(z, ZWARN_DIRECTORY, z.archive_path);
}

} // namespace

int open_archive(zip& z, zlist& list, const char* path) {
    z.error = 0;
    z.warnings = 0;
    z.current_disk = 0;
    if (!platform::copy_bounded(z.archive_path, sizeof z.archive_path, path)) {
        // A path that does not fit names no file we could open.
        z.error = ZERR_OPEN;
        return z.error;
    }

    if (get_drive_type(z, z.archive_path) == kDriveTypeRemovable &&
        read_volume_info(z, z.archive_path) == 0)
        z.current_disk = disk_from_label(z);

    if (z.error == 0 && open_for_listing(z)) z.input_buffer = allocate_buffer(z, kInputBufferSize);
    if (z.error) {
        release_job(z);
        return z.error;
    }

    find_end_record(z);
    // On a disk of a set, the end record is on the last disk: ask for it.
    while (z.error != 0 && z.drive_type == kDriveTypeRemovable && is_span_label(z)) {
        platform::close_file(z.input_handle);
        z.input_handle = platform::kInvalidFile;
        z.error = 0;
        int answer = platform::message_box({"Insert the last disk of the set", "Paused",
                                            platform::kMbOkCancel | platform::kMbIconStop,
                                            nullptr});
        if (answer != platform::kIdOk) {
            z.error = ZERR_CANCEL;
            break;
        }
        if (read_volume_info(z, z.archive_path) != 0) break;
        z.current_disk = disk_from_label(z);
        if (!open_for_listing(z)) break;
        find_end_record(z);
    }

    if (z.error == 0) {
        const std::uint64_t end_record_offset = z.buffer_position + z.read_pointer;
        list.clear();
        read_end_record(z, list);
        list.end_record_offset = end_record_offset;
        list.zip64 = false;
        const bool marked = list.this_disk == 0xFFFF || list.central_directory_disk == 0xFFFF ||
                            list.entries_on_this_disk == 0xFFFF || list.total_entries == 0xFFFF ||
                            list.central_directory_size == 0xFFFFFFFFu ||
                            list.central_directory_offset == 0xFFFFFFFFu;
        if (marked && read_zip64_end_record(z, list) != 0) list.clear();
        z.last_disk = list.this_disk;
    }
    if (z.error == 0) read_directory(z, list);

    release_job(z);
    return z.error;
}
