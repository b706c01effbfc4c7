#include "ops/drives.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "zip/zip.h"

namespace {

// The root "X:\" of a path's drive.
void drive_root(const char* path, char root[4]) {
    root[0] = path && path[0] ? path[0] : '\0';
    root[1] = ':';
    root[2] = '\\';
    root[3] = '\0';
}

} // namespace

std::uint32_t get_drive_type(zip& z, const char* path) {
    char root[4];
    drive_root(path, root);
    std::uint32_t type;
    switch (platform::get_drive_type(root)) {
    case platform::kDriveRemovable: type = kDriveTypeRemovable; break;
    case platform::kDriveFixed: type = kDriveTypeFixed; break;
    case platform::kDriveRemote: type = kDriveTypeNetwork; break;
    case platform::kDriveCdRom: type = kDriveTypeCdRom; break;
    case platform::kDriveRamDisk: type = kDriveTypeRamDisk; break;
    default: type = kDriveTypeUnknown; break;
    }
    z.drive_type = type;
    return type;
}

int read_volume_info(zip& z, const char* path) {
    char root[4];
    drive_root(path, root);
    char label[sizeof z.volume_label] = {};
    std::uint32_t serial = 0;
    if (!platform::get_volume_info(root, label, sizeof label, &serial)) {
        set_error(z, ZERR_GETVOL);
        return 1;
    }
    std::memcpy(z.volume_label, label, sizeof label);
    z.volume_serial = serial;
    return 0;
}

int is_span_label(const zip& z) { return std::strncmp(z.volume_label, "PKBACK#", 7) == 0; }

std::uint32_t disk_from_label(const zip& z) {
    if (!is_span_label(z)) return 0;
    // The number follows the blank in the eighth place; stop at the first non-digit.
    std::uint32_t n = 0;
    for (const char* p = z.volume_label + 8; p < z.volume_label + sizeof z.volume_label && *p >= '0' && *p <= '9'; ++p)
        n = n * 10 + static_cast<std::uint32_t>(*p - '0');
    return n - 1;
}

int open_archive_input(zip& z) {
    platform::close_file(z.input_handle);
    // A block read from another disk (or an earlier open) must never be reused.
    z.bytes_left = 0;
    z.block_length = 0;
    z.read_pointer = 0;
    z.buffer_position = kNoBlock;
    z.input_handle = platform::open_read(z.archive_path);
    if (z.input_handle == platform::kInvalidFile) return ZERR_NOZIP;
    if (!platform::file_size64(z.input_handle, &z.input_size)) {
        platform::close_file(z.input_handle);
        z.input_handle = platform::kInvalidFile;
        return ZERR_NOZIP;
    }
    return 0;
}

void ask_for_disk(zip& z, std::uint32_t disk) {
    platform::close_file(z.input_handle);
    z.input_handle = platform::kInvalidFile;
    while (z.error == 0 && z.current_disk != disk) {
        char text[40];
        std::snprintf(text, sizeof text, "Insert disk # %d ", static_cast<int>(disk + 1));
        int answer = platform::message_box(
            {text, "Paused", platform::kMbOkCancel | platform::kMbIconStop, nullptr});
        if (answer != platform::kIdOk) {
            set_error(z, ZERR_CANCEL);
            break;
        }
        if (read_volume_info(z, z.archive_path) == 0) z.current_disk = disk_from_label(z);
    }
    if (z.error == 0) z.error = open_archive_input(z);
}
