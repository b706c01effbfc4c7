// The buffered input and the readers of the end record, central headers and
// local headers. Every read goes through the single block buffer, so a seek
// into the block already held costs no read.
#include "zip/input.h"

#include <cstring>
#include <new>
#include <vector>

#include "ops/drives.h"
#include "zip/names.h"
#include "zip/zip.h"
#include "zip/zlist.h"

int fill_input(zip& z) {
    for (;;) {
        std::uint64_t position = 0;
        std::uint32_t got = 0;
        bool ok = platform::tell_file(z.input_handle, &position) &&
                  platform::read_file(z.input_handle, z.input_buffer.get(), kBlockSize, &got);
        if (ok && got > 0) {
            z.buffer_position = position;
            z.block_length = got;
            z.bytes_left = static_cast<std::int32_t>(got);
            z.read_pointer = 0;
            return static_cast<int>(got);
        }
        z.bytes_left = 0;
        z.block_length = 0;
        z.buffer_position = kNoBlock;
        if (z.drive_type != kDriveTypeRemovable || z.current_disk >= z.last_disk) return -1;
        // The member goes on at the start of the next disk's file.
        ask_for_disk(z, z.current_disk + 1);
        if (z.error) return -1;
    }
}

int seek_archive(zip& z, std::uint64_t offset, std::uint32_t disk) {
    if (z.error) return z.error;
    if (z.drive_type == kDriveTypeRemovable && disk != z.current_disk) {
        ask_for_disk(z, disk);
        if (z.error) return z.error;
    }
    const std::uint64_t block_start = offset - offset % kBlockSize;
    const std::uint32_t in_block = static_cast<std::uint32_t>(offset - block_start);
    if (block_start == z.buffer_position && z.bytes_left > 0) {
        z.read_pointer = in_block;
        z.bytes_left = static_cast<std::int32_t>(z.block_length) - static_cast<std::int32_t>(in_block);
        return 0;
    }
    std::uint32_t got = 0;
    if (!platform::seek_file(z.input_handle, block_start) ||
        !platform::read_file(z.input_handle, z.input_buffer.get(), kBlockSize, &got) || got == 0) {
        z.bytes_left = 0;
        z.block_length = 0;
        z.buffer_position = kNoBlock;
        set_error(z, ZERR_EOF);
        return ZERR_EOF;
    }
    z.buffer_position = block_start;
    z.block_length = got;
    z.read_pointer = in_block;
    z.bytes_left = static_cast<std::int32_t>(got) - static_cast<std::int32_t>(in_block);
    return 0;
}

void read_bytes(zip& z, void* destination, std::uint32_t n) {
    auto* out = static_cast<std::uint8_t*>(destination);
    while (n > 0 && z.error == 0) {
        if (z.bytes_left <= 0) {
            if (fill_input(z) < 0) set_error(z, ZERR_EOF);
            continue;
        }
        std::uint32_t k = static_cast<std::uint32_t>(z.bytes_left);
        if (k > n) k = n;
        std::memcpy(out, z.input_buffer.get() + z.read_pointer, k);
        out += k;
        n -= k;
        z.read_pointer += k;
        z.bytes_left -= static_cast<std::int32_t>(k);
    }
}

int read_local_header(zip& z) {
    if (z.error) return z.error;
    std::uint8_t header[26];
    read_bytes(z, z.signature_buffer, 4);
    if (z.error) return z.error;
    if (std::memcmp(z.signature_buffer, z.local_signature, 4) != 0) {
        set_error(z, ZERR_FORMAT);
        return z.error;
    }
    read_bytes(z, header, sizeof header);
    if (z.error) return z.error;
    zentry* e = z.current_entry;
    std::uint32_t name_length = get16(header + 22);
    std::uint32_t extra_length = get16(header + 24);
    if (e) {
        e->local_flags = get16(header + 2);
        e->local_name_length = name_length;
        e->local_extra_length = extra_length;
    }
    z.local.flags = get16(header + 2);
    z.local.method = get16(header + 4);
    z.local.crc = get32(header + 10);
    z.local.compressed_size = get32(header + 14);
    z.local.uncompressed_size = get32(header + 18);
    try {
        z.local.name.resize(name_length);
    } catch (const std::bad_alloc&) {
        set_error(z, ZERR_MEMORY);
        return z.error;
    }
    if (name_length) read_bytes(z, &z.local.name[0], name_length);
    // The extra field is at most 65535 bytes; only its ZIP64 sizes and
    // modification time are kept.
    std::vector<std::uint8_t> extra(extra_length);
    if (extra_length) read_bytes(z, extra.data(), extra_length);
    z.local.has_mtime =
        z.error == 0 && find_unix_mtime(extra.data(), extra_length, &z.local.mtime, true);
    z.local.has_zip64 = false;
    z.local.zip64_sizes = false;
    z.local.zip64_uncompressed = z.local.uncompressed_size;
    z.local.zip64_compressed = z.local.compressed_size;
    std::uint32_t size = 0;
    const std::uint8_t* p = z.error ? nullptr : find_zip64_block(extra.data(), extra_length, &size);
    if (p) {
        z.local.has_zip64 = true;
        // A local ZIP64 block holds both sizes in this order, but only the
        // marked ones are needed to compare with the central header.
        std::uint32_t at = 0;
        bool fits = true;
        for (std::uint64_t* value : {&z.local.zip64_uncompressed, &z.local.zip64_compressed}) {
            if (*value != 0xFFFFFFFFu) continue;
            if (at + 8 > size) {
                fits = false;
                break;
            }
            *value = get64(p + at);
            at += 8;
        }
        z.local.zip64_sizes = fits;
    }
    return z.error;
}

const std::uint8_t* find_zip64_block(const std::uint8_t* extra, std::uint32_t length,
                                     std::uint32_t* size) {
    std::uint32_t at = 0;
    while (length - at >= 4) {
        const std::uint32_t id = get16(extra + at);
        const std::uint32_t declared = get16(extra + at + 2);
        at += 4;
        const std::uint32_t left = length - at;
        if (id == 0x0001) {
            *size = declared < left ? declared : left;
            return extra + at;
        }
        if (declared >= left) break;
        at += declared;
    }
    return nullptr;
}

namespace {

// The data of the block with this id and its declared size; nullptr without
// one, or when it or a block before it runs past the field.
const std::uint8_t* find_whole_block(const std::uint8_t* extra, std::uint32_t length,
                                     std::uint32_t wanted, std::uint32_t* size) {
    std::uint32_t at = 0;
    while (length - at >= 4) {
        const std::uint32_t id = get16(extra + at);
        const std::uint32_t declared = get16(extra + at + 2);
        at += 4;
        if (declared > length - at) return nullptr;
        if (id == wanted) {
            *size = declared;
            return extra + at;
        }
        at += declared;
    }
    return nullptr;
}

} // namespace

bool find_unix_mtime(const std::uint8_t* extra, std::uint32_t length, std::int64_t* mtime,
                     bool local) {
    std::uint32_t declared = 0;
    const std::uint8_t* p = find_whole_block(extra, length, 0x5455, &declared);
    // Flags first; the modification time, when bit 0 says so, comes right
    // after them, then the access and creation times bits 1 and 2 name.
    if (!p || declared < 1 || !(p[0] & 1)) return false;
    const std::uint32_t flags = p[0];
    const std::uint32_t times = local ? (flags & 1) + ((flags >> 1) & 1) + ((flags >> 2) & 1) : 1;
    if (declared < 1 + 4 * times) return false;
    *mtime = get32(p + 1);
    return true;
}

bool find_ntfs_mtime(const std::uint8_t* extra, std::uint32_t length, std::int64_t* mtime) {
    std::uint32_t declared = 0;
    const std::uint8_t* block = find_whole_block(extra, length, 0x000A, &declared);
    if (!block || declared < 4) return false;
    // Four reserved bytes, then attributes as tag, size, data; tag 1 holds
    // the modification, access and creation FILETIMEs.
    const std::uint8_t* p = block + 4;
    const std::uint8_t* end = block + declared;
    while (end - p >= 4) {
        const std::uint32_t tag = get16(p), size = get16(p + 2);
        p += 4;
        if (size > static_cast<std::uint32_t>(end - p)) return false;
        if (tag == 1) {
            if (size < 24) return false;
            const std::uint64_t ticks =
                std::uint64_t(get32(p)) | (std::uint64_t(get32(p + 4)) << 32);
            if (ticks == 0) return false;
            // 100-ns ticks since 1601-01-01; whole seconds, rounded down.
            *mtime = static_cast<std::int64_t>(ticks / 10000000u) - 11644473600ll;
            return true;
        }
        p += size;
    }
    return false;
}

bool member_exact_time(const zentry& e, std::int64_t* mtime) {
    const auto length = static_cast<std::uint32_t>(e.central_extra.size());
    return find_unix_mtime(e.central_extra.data(), length, mtime) ||
           find_ntfs_mtime(e.central_extra.data(), length, mtime);
}

std::int64_t member_unix_time(const zentry& e) {
    std::int64_t mtime = 0;
    if (member_exact_time(e, &mtime)) return mtime;
    return platform::unix_from_local_dos_time({e.date, e.time});
}

void take_zip64_values(zentry& e) {
    e.zip64 = kZip64Fits;
    const bool marked = e.uncompressed_size == 0xFFFFFFFFu || e.compressed_size == 0xFFFFFFFFu ||
                        e.local_header_offset == 0xFFFFFFFFu || e.disk_number_start == 0xFFFF;
    if (!marked) return;
    std::uint32_t size = 0;
    const std::uint8_t* p = find_zip64_block(
        e.central_extra.data(), static_cast<std::uint32_t>(e.central_extra.size()), &size);
    // Without a ZIP64 block a marker is a value of its own, as older
    // writers could store a size of exactly 0xFFFFFFFF.
    if (!p) return;
    std::uint64_t values[4] = {e.uncompressed_size, e.compressed_size, e.local_header_offset,
                               e.disk_number_start};
    const std::uint64_t markers[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFF};
    const std::uint32_t widths[4] = {8, 8, 8, 4};
    std::uint32_t at = 0;
    for (int i = 0; i < 4; ++i) {
        if (values[i] != markers[i]) continue;
        if (at + widths[i] > size) {
            e.zip64 = kZip64Damaged;
            return;
        }
        values[i] = widths[i] == 8 ? get64(p + at) : get32(p + at);
        at += widths[i];
    }
    // Disk numbers are 16 bits wide everywhere else in the catalog: a set
    // of more disks keeps its marker rather than being cut.
    if (values[3] > 0xFFFF) {
        e.zip64 = kZip64Damaged;
        return;
    }
    e.uncompressed_size = values[0];
    e.compressed_size = values[1];
    e.local_header_offset = values[2];
    e.disk_number_start = static_cast<std::uint16_t>(values[3]);
}

namespace {

bool is_end_signature(const zip& z, const std::uint8_t* p) {
    return std::memcmp(p, z.end_signature, 4) == 0;
}

int find_in_small_file(zip& z) {
    if (!platform::seek_file(z.input_handle, 0)) {
        set_error(z, ZERR_EOF);
        return z.error;
    }
    int got = fill_input(z);
    if (got < 0) {
        set_error(z, ZERR_EOF);
        return z.error;
    }
    if (static_cast<std::uint32_t>(got) != z.input_size) {
        set_error(z, ZERR_NOEND);
        return z.error;
    }
    const std::uint8_t* buf = z.input_buffer.get();
    for (std::int64_t i = static_cast<std::int64_t>(z.input_size) - 22; i >= 0; --i) {
        if (buf[i] == 'P' && is_end_signature(z, buf + i)) {
            z.read_pointer = static_cast<std::uint32_t>(i);
            z.bytes_left = got - static_cast<std::int32_t>(i);
            return 0;
        }
    }
    set_error(z, ZERR_NOEND);
    return z.error;
}

} // namespace

int find_end_record(zip& z) {
    if (z.error) return z.error;
    if (z.input_size <= kBlockSize) return find_in_small_file(z);

    // The end record with the longest comment it can carry starts this far
    // from the end; nothing before that can be the archive's end record.
    constexpr std::uint32_t kEndRecordReach = 22 + 0xFFFF;
    const std::uint64_t lowest = z.input_size > kEndRecordReach ? z.input_size - kEndRecordReach : 0;

    std::uint8_t* buf = z.input_buffer.get();
    std::uint64_t position = z.input_size - kBlockSize;
    std::uint64_t previous = kNoBlock;
    for (;;) {
        // Carry the first bytes of the block read before (the one just behind
        // this block) so a signature split across the two blocks is found. The
        // last block read clamps to the lowest start and may overlap: nothing is
        // carried then, since those bytes do not follow this block.
        std::uint8_t carry[3] = {0, 0, 0};
        if (previous != kNoBlock && previous == position + kBlockSize) {
            for (int i = 0; i < 3 && buf[i] != 0; ++i) carry[i] = buf[i];
        }
        std::memcpy(buf + kBlockSize, carry, 3);
        buf[kBlockSize + 3] = 0;

        std::uint32_t got = 0;
        if (!platform::seek_file(z.input_handle, position) ||
            !platform::read_file(z.input_handle, buf, kBlockSize, &got) || got == 0) {
            z.bytes_left = 0;
            z.buffer_position = kNoBlock;
            set_error(z, ZERR_EOF);
            return z.error;
        }
        z.buffer_position = position;
        z.block_length = got;
        z.bytes_left = static_cast<std::int32_t>(got);
        z.read_pointer = 0;
        if (got < kBlockSize) {
            set_error(z, ZERR_READ);
            return z.error;
        }
        for (std::int32_t i = kBlockSize - 1; i >= 0; --i) {
            if (buf[i] == 'P' && is_end_signature(z, buf + i)) {
                z.read_pointer = static_cast<std::uint32_t>(i);
                z.bytes_left = static_cast<std::int32_t>(kBlockSize) - i;
                return 0;
            }
        }
        if (position == lowest) break;
        previous = position;
        position = position - lowest > kBlockSize ? position - kBlockSize : lowest;
    }
    set_error(z, ZERR_NOEND);
    return z.error;
}

int read_end_record(zip& z, zlist& list) {
    if (z.error) return z.error;
    std::uint8_t record[22];
    read_bytes(z, record, sizeof record);
    if (z.error) {
        z.error = ZERR_FORMAT; // every failure here is a bad structure
        return z.error;
    }
    list.this_disk = get16(record + 4);
    list.central_directory_disk = get16(record + 6);
    list.entries_on_this_disk = get16(record + 8);
    list.total_entries = get16(record + 10);
    list.central_directory_size = get32(record + 12);
    list.central_directory_offset = get32(record + 16);
    list.comment_length = get16(record + 20);
    list.comment.clear();
    if (list.comment_length) {
        try {
            list.comment.resize(list.comment_length);
        } catch (const std::bad_alloc&) {
            z.error = ZERR_FORMAT;
            return z.error;
        }
        read_bytes(z, &list.comment[0], list.comment_length);
        if (z.error) {
            list.comment.clear();
            list.comment_length = 0;
            z.error = ZERR_FORMAT;
        }
    }
    return z.error;
}

std::uint64_t central_header_size(const zentry& e) {
    return 46 + std::uint64_t(e.name_length) + e.central_extra_length + e.comment_length;
}

int read_central_header(zip& z, zlist& list, std::uint64_t room) {
    if (z.error) return z.error;
    read_bytes(z, z.signature_buffer, 4);
    if (z.error) return z.error;
    if (std::memcmp(z.signature_buffer, z.central_signature, 4) != 0) {
        set_error(z, ZERR_FORMAT);
        return z.error;
    }
    std::uint8_t h[46] = {};
    read_bytes(z, h, 42);
    if (z.error) return z.error;

    std::unique_ptr<zentry> e(new (std::nothrow) zentry);
    if (!e) {
        set_error(z, ZERR_MEMORY);
        return z.error;
    }
    e->version_made_by = get16(h + 0);
    e->version_needed = get16(h + 2);
    e->flags = get16(h + 4);
    e->method = get16(h + 6);
    e->time = get16(h + 8);
    e->date = get16(h + 10);
    e->crc = get32(h + 12);
    e->compressed_size = get32(h + 16);
    e->uncompressed_size = get32(h + 20);
    e->name_length = get16(h + 24);
    e->central_extra_length = get16(h + 26);
    e->comment_length = get16(h + 28);
    e->disk_number_start = get16(h + 30);
    e->internal_attributes = get16(h + 32);
    e->external_attributes = get32(h + 34);
    e->local_header_offset = get32(h + 38);
    if (central_header_size(*e) > room) {
        set_error(z, ZERR_NOEND);
        return z.error;
    }

    try {
        if (e->name_length) {
            e->stored_name.resize(e->name_length);
            read_bytes(z, &e->stored_name[0], e->name_length);
        }
        if (e->central_extra_length && z.error == 0) {
            e->central_extra.resize(e->central_extra_length);
            read_bytes(z, e->central_extra.data(), e->central_extra_length);
        }
        if (e->comment_length && z.error == 0) {
            e->comment.resize(e->comment_length);
            read_bytes(z, &e->comment[0], e->comment_length);
        }
    } catch (const std::bad_alloc&) {
        set_error(z, ZERR_MEMORY);
    }
    if (z.error == 0) {
        try {
            e->name = member_name(e->stored_name, e->flags, e->version_made_by,
                                  e->central_extra.data(), e->central_extra_length);
        } catch (const std::bad_alloc&) {
            set_error(z, ZERR_MEMORY);
            return z.error;
        }
        take_zip64_values(*e);
        list.append(std::move(e));
    }
    return z.error;
}

namespace {

// Reads the 56 bytes of a ZIP64 end record at offset into record: false,
// with the error field left clear, when they do not lie whole before the
// locator or do not start with its signature.
bool zip64_end_record_at(zip& z, std::uint64_t offset, std::uint64_t locator_offset,
                         std::uint8_t (&record)[56]) {
    if (offset > locator_offset || locator_offset - offset < 56) return false;
    if (seek_archive(z, offset, z.current_disk) == 0) read_bytes(z, record, sizeof record);
    const bool found = z.error == 0 && get32(record) == 0x06064B50u;
    z.error = 0;
    return found;
}

} // namespace

int read_zip64_end_record(zip& z, zlist& list) {
    if (z.error) return z.error;
    list.zip64 = false;
    // The locator takes the 20 bytes before the end record; an end record
    // without one has markers that are values of their own.
    if (list.end_record_offset < 20) return 0;
    const std::uint64_t locator_offset = list.end_record_offset - 20;
    if (seek_archive(z, locator_offset, z.current_disk) != 0) {
        z.error = ZERR_FORMAT;
        return z.error;
    }
    std::uint8_t locator[20];
    read_bytes(z, locator, sizeof locator);
    if (z.error) {
        z.error = ZERR_FORMAT;
        return z.error;
    }
    if (get32(locator) != 0x07064B50u) return 0;
    // Every field from here is untrusted: the record must lie whole before
    // the locator, in the file. Disk numbers past 16 bits and counts past 32
    // stop the reading, as the catalog cannot hold them; the directory's
    // size and offset are checked against the file by the directory reader.
    std::uint64_t record_offset = get64(locator + 8);
    std::uint8_t record[56];
    if (!zip64_end_record_at(z, record_offset, locator_offset, record)) {
        // Data put in front of the archive move the record behind where
        // the pointer says. A record without extensible data ends at the
        // locator: taken from there only when its own size says so. The
        // bytes the pointer left out are noted for the directory reader.
        const std::uint64_t moved = locator_offset >= 56 ? locator_offset - 56 : 0;
        if (moved <= record_offset || !zip64_end_record_at(z, moved, locator_offset, record) ||
            get64(record + 4) != 44) {
            z.error = ZERR_FORMAT;
            return z.error;
        }
        list.offset_adjust = moved - record_offset;
        record_offset = moved;
    }
    const std::uint64_t this_disk = get32(record + 16), directory_disk = get32(record + 20);
    const std::uint64_t on_this_disk = get64(record + 24), total = get64(record + 32);
    const std::uint64_t size = get64(record + 40), offset = get64(record + 48);
    if (this_disk > 0xFFFF || directory_disk > 0xFFFF || on_this_disk > 0xFFFFFFFFu ||
        total > 0xFFFFFFFFu) {
        z.error = ZERR_FORMAT;
        return z.error;
    }
    list.this_disk = static_cast<std::uint32_t>(this_disk);
    list.central_directory_disk = static_cast<std::uint32_t>(directory_disk);
    list.entries_on_this_disk = static_cast<std::uint32_t>(on_this_disk);
    list.total_entries = static_cast<std::uint32_t>(total);
    list.central_directory_size = size;
    list.central_directory_offset = offset;
    list.zip64 = true;
    list.zip64_end_offset = record_offset;
    return 0;
}
