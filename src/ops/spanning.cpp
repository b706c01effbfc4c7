#include "ops/spanning.h"

#include <cstdio>
#include <memory>
#include <new>

#include "ops/add.h"
#include "ops/add_member.h"
#include "ops/drives.h"
#include "ops/flist.h"
#include "ops/paths.h"
#include "platform/platform.h"
#include "zip/progress.h"
#include "zip/writer.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

void drive_root(const zip& z, char root[4]) {
    root[0] = z.archive_path[0];
    root[1] = ':';
    root[2] = '\\';
    root[3] = '\0';
}

constexpr std::uint32_t kPiece = 8192;

} // namespace

bool spanning_active(const zip& z) { return z.span_options != 0 && z.drive_type == kDriveTypeRemovable; }

void set_label(zip& z, const char* label) {
    if (z.error) return;
    char root[4];
    drive_root(z, root);
    if (!platform::set_volume_label(root, label)) {
        set_error(z, ZERR_SETVOL);
        return;
    }
    platform::copy_bounded(z.volume_label, sizeof z.volume_label, label);
}

void write_span_label(zip& z) {
    char label[16];
    std::snprintf(label, sizeof label, "PKBACK# %03u", static_cast<unsigned>(z.current_disk + 1) % 1000u);
    set_label(z, label);
}

std::uint32_t disk_free_space(zip& z) {
    char root[4];
    drive_root(z, root);
    std::uint64_t free_bytes = 0;
    if (!platform::get_free_space(root, &free_bytes, nullptr)) {
        set_error(z, ZERR_FREESPACE);
        return 0;
    }
    return free_bytes > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(free_bytes);
}

void next_output_disk(zip& z) {
    if (z.error) return;
    platform::close_file(z.output_handle);
    z.output_handle = platform::kInvalidFile;
    if (read_volume_info(z, z.archive_path) != 0) return;
    const std::uint32_t full_disk = z.volume_serial;
    // Only a disk with another serial number counts as a new one.
    while (z.error == 0 && z.volume_serial == full_disk) {
        int answer = platform::message_box(
            {"Insert next disk", "Paused", platform::kMbOkCancel | platform::kMbIconStop, nullptr});
        if (answer != platform::kIdOk) {
            set_error(z, ZERR_CANCEL);
            break;
        }
        read_volume_info(z, z.archive_path);
    }
    if (z.error) return;
    if (z.span_options & 4) erase_disk(z);
    createDirPath(z.archive_path);
    z.output_handle = platform::create_file(z.archive_path);
    if (z.output_handle == platform::kInvalidFile) {
        set_error(z, ZERR_CREATE);
        return;
    }
    z.current_disk += 1;
    z.last_disk = z.current_disk;
    z.output_position = 0;
    write_span_label(z);
}

void erase_disk(zip& z) {
    if (z.error) return;
    char root[4];
    drive_root(z, root);
    flist files;
    files.recurse = 1;
    if (collectFiles(files, root, "*.*")) deleteSourceFiles(files, z.ui);
    set_label(z, "none");
}

void span_room_check(zip& z, std::uint32_t bytes) {
    for (;;) {
        std::uint32_t free_bytes = disk_free_space(z);
        if (z.error || free_bytes >= bytes) return;
        next_output_disk(z);
        if (z.error) return;
    }
}

namespace {

// Copies a member's compressed data from the temporary member file to the
// archive, filling each disk and going on on the next.
void copy_across_disks(zip& z, platform::FileHandle from, std::uint32_t total) {
    std::unique_ptr<std::uint8_t[]> buf(new (std::nothrow) std::uint8_t[kPiece]);
    if (!buf) {
        set_error(z, ZERR_MEMORY);
        return;
    }
    std::uint32_t done = 0;
    while (done < total && z.error == 0) {
        std::uint32_t got = 0;
        std::uint32_t want = total - done < kPiece ? total - done : kPiece;
        if (!platform::read_file(from, buf.get(), want, &got) || got != want) {
            set_error(z, ZERR_TEMP);
            break;
        }
        std::uint32_t at = 0;
        while (at < got && z.error == 0) {
            std::uint32_t room = disk_free_space(z);
            if (z.error) break;
            if (room == 0) {
                next_output_disk(z);
                continue;
            }
            std::uint32_t n = got - at < room ? got - at : room;
            std::uint32_t written = 0;
            if (!platform::write_file(z.output_handle, buf.get() + at, n, &written)) {
                map_write_error(z, platform::last_error());
                break;
            }
            at += n;
            z.output_position += n;
        }
        done += got;
        if (z.progress) z.progress->FileProgress(total, done);
    }
}

} // namespace

std::uint32_t add_files_spanned(zip& z, zlist& list, flist& files, std::uint32_t level) {
    z.room_check = span_room_check;
    // Each member is compressed into a temporary file of its own before it is
    // cut across disks.
    const std::string member_folder = temporary_folder(z, platform::temp_folder());

    write_span_label(z);
    const std::uint8_t marker[4] = {0x50, 0x4B, 0x07, 0x08};
    std::uint32_t written = 0;
    if (z.error == 0) {
        if (!platform::write_file(z.output_handle, marker, 4, &written))
            map_write_error(z, platform::last_error());
        else
            z.output_position = 4;
    }

    std::uint32_t added = 0;
    for (const fentry& f : files.entries) {
        if (z.error) break;
        if (z.progress) z.progress->SetFile(f.path.c_str());
        std::string name = stored_name(f.path, files.prefix_length, files.full_paths);
        if (name.empty()) continue;
        SourceFile src;
        if (!open_source(z, f.path, src, files.store_links != 0)) {
            if (z.progress) z.progress->Step();
            continue;
        }
        std::unique_ptr<zentry> e = new_member(z, src, name, level);
        std::uint64_t compressed = 0;
        if (!src.folder) {
            platform::FileHandle archive = z.output_handle;
            z.output_handle = create_unique_file(member_folder, z.temporary_path);
            if (z.output_handle == platform::kInvalidFile) set_error(z, ZERR_TEMP);
            const std::uint64_t position = z.output_position;
            compressed = compress_member(z, *e, src, level);
            z.output_position = position;
            platform::close_file(z.output_handle);
            z.output_handle = archive;
        } else {
            compress_member(z, *e, src, level);
        }
        src.handle.reset();
        write_local_header(z, *e);
        if (z.error == 0) {
            // Where the header really landed, after any change of disk.
            e->disk_number_start = static_cast<std::uint16_t>(z.current_disk);
            e->local_header_offset = z.output_position - 30 - e->name_length - e->local_extra_length;
        }
        if (z.error == 0 && !src.folder) {
            platform::ScopedFile member(platform::open_read(z.temporary_path));
            if (!member.valid())
                set_error(z, ZERR_TEMP);
            else
                copy_across_disks(z, member.get(), static_cast<std::uint32_t>(compressed));
        }
        if (!src.folder && z.temporary_path[0]) platform::delete_file(z.temporary_path);
        z.temporary_path[0] = '\0';
        bool ok = z.error == 0;
        finish_member(z, list, std::move(e), src, f.path, true);
        if (ok) ++added;
    }
    return added;
}
