#include "zip/open_archive.h"

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
        list.clear();
        read_end_record(z, list);
        z.last_disk = list.this_disk;
    }
    if (z.error == 0 &&
        seek_archive(z, list.central_directory_offset, list.central_directory_disk) == ZERR_EOF) {
        list.clear();
        z.error = ZERR_FORMAT;
    }
    if (z.error == 0) {
        while (read_central_header(z, list) == 0) {
        }
        // The loop ends at the first record that is not a central header.
        if (z.error == ZERR_FORMAT && list.count() > 0) {
            z.error = 0;
            if (list.zlist_sort() != 0) z.error = ZERR_GENERAL;
        }
    }

    release_job(z);
    return z.error;
}
