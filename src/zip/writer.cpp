#include "zip/writer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "zip/input.h"
#include "zip/progress.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

void put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}
void put64(std::uint8_t* p, std::uint64_t v) {
    put32(p, static_cast<std::uint32_t>(v));
    put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

// A 32-bit field of a size or offset: the value, or the ZIP64 marker when
// the value is in the ZIP64 block instead.
std::uint32_t field32(std::uint64_t v) {
    return v >= kZip64Marker ? kZip64Marker : static_cast<std::uint32_t>(v);
}

// Large enough that copied members move in few reads and writes and a
// directory of many small headers leaves in few writes; small enough to stay
// in the processor's cache between a copy's read and its write (1 MiB
// measured markedly slower).
constexpr std::uint32_t kOutputBuffer = 128u << 10;

// The output buffer with room behind its waiting bytes for the current
// output, or nullptr when it cannot be had (writes then go out directly).
std::uint8_t* output_tail(zip& z) {
    if (!z.output_buffer) {
        z.output_buffer.reset(new (std::nothrow) std::uint8_t[kOutputBuffer]);
        if (!z.output_buffer) return nullptr;
    }
    if (z.output_pending && z.output_pending_handle != z.output_handle) flush_output(z);
    if (z.output_pending == kOutputBuffer) flush_output(z);
    z.output_pending_handle = z.output_handle;
    return z.output_buffer.get();
}

// Disks of a spanned set keep their 32-bit offsets, so their output never
// passes 4 GB.
bool room_on_disk(zip& z, std::uint64_t n) {
    if (z.room_check && z.output_position + n > kMaxSpannedDisk) {
        set_error(z, ZERR_ARCHIVE_SIZE);
        return false;
    }
    return true;
}

// Writes n bytes at the output, through the output buffer.
void write_out(zip& z, const void* data, std::uint32_t n) {
    if (z.error || n == 0) return;
    if (!room_on_disk(z, n)) return;
    const std::uint8_t* p = static_cast<const std::uint8_t*>(data);
    std::uint32_t left = n;
    while (left && z.error == 0) {
        std::uint8_t* buffer = output_tail(z);
        if (z.error) return;
        if (!buffer) {
            std::uint32_t written = 0;
            if (!platform::write_file(z.output_handle, p, left, &written)) {
                map_write_error(z, platform::last_error());
                return;
            }
            break;
        }
        const std::uint32_t k = std::min(left, kOutputBuffer - z.output_pending);
        std::memcpy(buffer + z.output_pending, p, k);
        z.output_pending += k;
        p += k;
        left -= k;
    }
    if (z.error == 0) z.output_position += n;
}

// A spanned job may change disks to make room: what waits goes to the disk
// it was meant for first.
void room_for(zip& z, std::uint32_t bytes) {
    if (z.error == 0 && z.room_check) {
        flush_output(z);
        if (z.error == 0) z.room_check(z, bytes);
    }
}

void local_header_bytes(const zentry& e, std::uint8_t (&h)[30]) {
    put32(h, 0x04034B50);
    put16(h + 4, e.version_needed);
    put16(h + 6, e.local_flags);
    put16(h + 8, e.method);
    put16(h + 10, e.time);
    put16(h + 12, e.date);
    put32(h + 14, e.crc);
    put32(h + 18, e.local_zip64 ? kZip64Marker : static_cast<std::uint32_t>(e.compressed_size));
    put32(h + 22, e.local_zip64 ? kZip64Marker : static_cast<std::uint32_t>(e.uncompressed_size));
    put16(h + 26, e.name_length);
    put16(h + 28, e.local_extra_length);
}

// The ZIP64 block of a local header: both sizes, always, in this order.
void local_zip64_bytes(const zentry& e, std::uint8_t (&x)[kLocalZip64Size]) {
    put16(x, 0x0001);
    put16(x + 2, 16);
    put64(x + 4, e.uncompressed_size);
    put64(x + 12, e.compressed_size);
}

} // namespace

void time_extra_bytes(std::uint32_t mtime, std::uint8_t (&x)[kTimeExtraSize]) {
    put16(x, 0x5455);
    put16(x + 2, 5);
    x[4] = 1; // modification time only
    put32(x + 5, mtime);
}

namespace {

// Reads exactly n bytes from the old archive; a short read is a damaged archive.
bool read_old(zip& z, platform::FileHandle h, void* buf, std::uint32_t n) {
    std::uint32_t got = 0;
    if (!platform::read_file(h, buf, n, &got) || got != n) {
        set_error(z, ZERR_EOF);
        return false;
    }
    return true;
}

// Copies n bytes from the old archive to the output, read straight into
// the output buffer's free room.
std::uint64_t copy_bytes(zip& z, platform::FileHandle from, std::uint64_t n, const zentry* progress_entry) {
    std::uint64_t done = 0;
    while (done < n && z.error == 0) {
        std::uint8_t* buffer = output_tail(z);
        if (z.error) break;
        if (!buffer) {
            set_error(z, ZERR_MEMORY);
            break;
        }
        const std::uint32_t room = kOutputBuffer - z.output_pending;
        const std::uint32_t k = n - done < room ? static_cast<std::uint32_t>(n - done) : room;
        if (!room_on_disk(z, k) || !read_old(z, from, buffer + z.output_pending, k)) break;
        z.output_pending += k;
        z.output_position += k;
        done += k;
        if (progress_entry && z.progress) z.progress->FileProgress(progress_entry->uncompressed_size, done);
    }
    return done;
}

} // namespace

void flush_output(zip& z) {
    const std::uint32_t n = z.output_pending;
    z.output_pending = 0;
    if (z.error || n == 0) return;
    std::uint32_t written = 0;
    if (!platform::write_file(z.output_pending_handle, z.output_buffer.get(), n, &written))
        map_write_error(z, platform::last_error());
}

void write_local_header(zip& z, zentry& e) {
    room_for(z, 30 + e.name_length + e.local_extra_length);
    if (z.error) return;
    std::uint8_t h[30];
    local_header_bytes(e, h);
    write_out(z, h, sizeof h);
    write_out(z, e.stored_name.data(), e.name_length);
    // Local extra bytes are never held in memory: members written here have
    // none but the ZIP64 block of a large one and their time block, which
    // goes second so that the ZIP64 block stays where rewrites expect it.
    if (e.local_zip64) {
        std::uint8_t x[kLocalZip64Size];
        local_zip64_bytes(e, x);
        write_out(z, x, sizeof x);
    }
    if (e.time_extra) {
        std::int64_t mtime = 0;
        find_unix_mtime(e.central_extra.data(), static_cast<std::uint32_t>(e.central_extra.size()), &mtime);
        std::uint8_t x[kTimeExtraSize];
        time_extra_bytes(static_cast<std::uint32_t>(mtime), x);
        write_out(z, x, sizeof x);
    }
    // The member's data follows by writes of its own.
    flush_output(z);
}

void rewrite_local_header(zip& z, const zentry& e) {
    flush_output(z);
    if (z.error) return;
    std::uint8_t h[30];
    local_header_bytes(e, h);
    std::uint32_t written = 0;
    if (!platform::seek_file(z.output_handle, e.local_header_offset) ||
        !platform::write_file(z.output_handle, h, sizeof h, &written)) {
        map_write_error(z, platform::last_error());
        return;
    }
    if (e.local_zip64) {
        std::uint8_t x[kLocalZip64Size];
        local_zip64_bytes(e, x);
        if (!platform::seek_file(z.output_handle, e.local_header_offset + 30 + e.name_length) ||
            !platform::write_file(z.output_handle, x, sizeof x, &written)) {
            map_write_error(z, platform::last_error());
            return;
        }
    }
    if (!platform::seek_file(z.output_handle, z.output_position)) map_write_error(z, platform::last_error());
}

namespace {

bool needs_zip64(const zentry& e) {
    return e.uncompressed_size >= kZip64Marker || e.compressed_size >= kZip64Marker ||
           e.local_header_offset >= kZip64Marker;
}

// Gives e a central extra field with a ZIP64 block holding the values its
// header cannot: any ZIP64 block it had is replaced (its values are stale
// once a member moves), every other block is kept. False when the field
// would pass 65,535 bytes.
bool put_zip64_block(zentry& e) {
    std::vector<std::uint8_t> extra(4);
    for (std::uint64_t v : {e.uncompressed_size, e.compressed_size, e.local_header_offset}) {
        if (v < kZip64Marker) continue;
        extra.resize(extra.size() + 8);
        put64(extra.data() + extra.size() - 8, v);
    }
    put16(extra.data(), 0x0001);
    put16(extra.data() + 2, static_cast<std::uint32_t>(extra.size() - 4));
    const std::uint8_t* old = e.central_extra.data();
    const std::size_t length = e.central_extra.size();
    std::size_t at = 0;
    while (length - at >= 4) {
        const std::size_t size = std::size_t(4) + get16(old + at + 2);
        if (size > length - at) break; // a cut last block is kept as it is
        if (get16(old + at) != 0x0001) extra.insert(extra.end(), old + at, old + at + size);
        at += size;
    }
    extra.insert(extra.end(), old + at, old + length);
    if (extra.size() > 0xFFFF) return false;
    e.central_extra.swap(extra);
    e.central_extra_length = static_cast<std::uint32_t>(e.central_extra.size());
    if (e.version_needed < 45) e.version_needed = 45;
    return true;
}

} // namespace

void write_central_directory(zip& z, zlist& list) {
    list.total_entries = 0;
    list.entries_on_this_disk = 0;
    list.central_directory_size = 0;
    std::uint32_t written = 0;
    const std::uint32_t count = list.count();
    for (auto& owned : list.entries) {
        if (z.error) return;
        zentry& e = *owned;
        // Spanned sets keep the 32-bit fields their readers expect.
        if (needs_zip64(e) && (z.room_check || !put_zip64_block(e))) {
            set_error(z, ZERR_ARCHIVE_SIZE);
            return;
        }
        std::uint32_t size = 46 + e.name_length + e.central_extra_length + e.comment_length;
        std::uint32_t disk_before = z.current_disk;
        room_for(z, size);
        if (z.error) return;
        if (z.current_disk != disk_before) list.entries_on_this_disk = 0;
        if (written == 0) {
            // Where the first header really lands, after any change of disk.
            list.central_directory_disk = z.current_disk;
            list.central_directory_offset = z.output_position;
        }
        std::uint8_t h[46] = {};
        put32(h, 0x02014B50);
        put16(h + 4, e.version_made_by);
        put16(h + 6, e.version_needed);
        put16(h + 8, e.flags);
        put16(h + 10, e.method);
        put16(h + 12, e.time);
        put16(h + 14, e.date);
        put32(h + 16, e.crc);
        put32(h + 20, field32(e.compressed_size));
        put32(h + 24, field32(e.uncompressed_size));
        put16(h + 28, e.name_length);
        put16(h + 30, e.central_extra_length);
        put16(h + 32, e.comment_length);
        put16(h + 34, e.disk_number_start);
        put16(h + 36, e.internal_attributes);
        put32(h + 38, e.external_attributes);
        put32(h + 42, field32(e.local_header_offset));
        write_out(z, h, sizeof h);
        write_out(z, e.stored_name.data(), e.name_length);
        write_out(z, e.central_extra.data(), e.central_extra_length);
        write_out(z, e.comment.data(), e.comment_length);
        if (z.error) return;
        list.central_directory_size += size;
        ++list.total_entries;
        ++list.entries_on_this_disk;
        ++written;
        if (z.progress) z.progress->FileProgress(count, written);
    }
    if (written == 0) {
        list.central_directory_disk = z.current_disk;
        list.central_directory_offset = z.output_position;
    }
}

namespace {

// A field that overflows holds its marker; the ZIP64 end record has the value.
void end_record_bytes(const zlist& list, std::uint8_t (&r)[22]) {
    put32(r, 0x06054B50);
    put16(r + 4, list.this_disk);
    put16(r + 6, list.central_directory_disk);
    put16(r + 8, list.entries_on_this_disk > 0xFFFF ? 0xFFFF : list.entries_on_this_disk);
    put16(r + 10, list.total_entries > 0xFFFF ? 0xFFFF : list.total_entries);
    put32(r + 12, field32(list.central_directory_size));
    put32(r + 16, field32(list.central_directory_offset));
    put16(r + 20, list.comment_length);
}

bool needs_zip64_end(const zlist& list) {
    return list.total_entries > 0xFFFF || list.entries_on_this_disk > 0xFFFF ||
           list.central_directory_size >= kZip64Marker ||
           list.central_directory_offset >= kZip64Marker;
}

// The ZIP64 end record and its locator, written where the output stands.
void write_zip64_end(zip& z, zlist& list) {
    const std::uint64_t at = z.output_position;
    std::uint8_t r[56];
    put32(r, 0x06064B50);
    put64(r + 4, sizeof r - 12);
    put16(r + 12, 45);
    put16(r + 14, 45);
    put32(r + 16, list.this_disk);
    put32(r + 20, list.central_directory_disk);
    put64(r + 24, list.entries_on_this_disk);
    put64(r + 32, list.total_entries);
    put64(r + 40, list.central_directory_size);
    put64(r + 48, list.central_directory_offset);
    write_out(z, r, sizeof r);
    std::uint8_t locator[20];
    put32(locator, 0x07064B50);
    put32(locator + 4, list.this_disk);
    put64(locator + 8, at);
    put32(locator + 16, list.this_disk + 1);
    write_out(z, locator, sizeof locator);
    list.zip64_end_offset = at;
}

} // namespace

void write_end_record(zip& z, zlist& list) {
    // More than 65,535 members, or a directory past 4 GB: the ZIP64 end
    // record goes first. Spanned sets cannot have one.
    const bool zip64 = needs_zip64_end(list);
    if (zip64 && z.room_check) set_error(z, ZERR_ARCHIVE_SIZE);
    room_for(z, list.comment_length + 26);
    if (z.error) return;
    list.this_disk = z.current_disk;
    list.zip64 = zip64;
    if (zip64) write_zip64_end(z, list);
    list.end_record_offset = z.output_position;
    std::uint8_t r[22];
    end_record_bytes(list, r);
    write_out(z, r, sizeof r);
    write_out(z, list.comment.data(), list.comment_length);
    flush_output(z);
}

void copy_preamble(zip& z, platform::FileHandle old_archive, platform::FileHandle new_archive,
                   std::uint64_t length) {
    if (z.error) return;
    if (!platform::seek_file(old_archive, 0)) {
        set_error(z, ZERR_READ);
        return;
    }
    platform::FileHandle saved = z.output_handle;
    z.output_handle = new_archive;
    copy_bytes(z, old_archive, length, nullptr);
    z.output_handle = saved;
}

void copy_entry(zip& z, zentry& e, platform::FileHandle old_archive, platform::FileHandle new_archive) {
    if (z.error) return;
    platform::FileHandle saved = z.output_handle;
    z.output_handle = new_archive;
    std::uint8_t sig[4];
    std::uint8_t h[26];
    if (!platform::seek_file(old_archive, e.local_header_offset)) {
        set_error(z, ZERR_FORMAT);
    } else if (read_old(z, old_archive, sig, 4)) {
        std::memcpy(z.signature_buffer, sig, 4);
        if (std::memcmp(sig, z.local_signature, 4) != 0) set_error(z, ZERR_FORMAT);
    }
    if (z.error == ZERR_EOF) z.error = ZERR_FORMAT; // no local header where the directory says
    if (z.error == 0 && read_old(z, old_archive, h, sizeof h)) {
        const std::uint64_t start = z.output_position;
        write_out(z, sig, 4);
        write_out(z, h, sizeof h);
        // The name length of the local header decides where its data starts;
        // its extra field says whether a data descriptor has 64-bit sizes.
        const std::uint32_t local_name_length = get16(h + 22);
        const std::uint32_t local_extra_length = get16(h + 24);
        std::vector<std::uint8_t> name_and_extra;
        if (z.error == 0) {
            try {
                name_and_extra.resize(local_name_length + local_extra_length);
            } catch (const std::bad_alloc&) {
                set_error(z, ZERR_MEMORY);
            }
        }
        if (z.error == 0 && !name_and_extra.empty() &&
            read_old(z, old_archive, name_and_extra.data(),
                     static_cast<std::uint32_t>(name_and_extra.size())))
            write_out(z, name_and_extra.data(), static_cast<std::uint32_t>(name_and_extra.size()));
        if (z.error == ZERR_EOF) z.error = ZERR_FORMAT;
        if (z.error == 0) {
            e.local_header_offset = start;
            e.local_flags = get16(h + 2);
            e.local_extra_length = local_extra_length;
            copy_bytes(z, old_archive, e.compressed_size, &e);
            // A member written to a stream carries its sizes in a data descriptor
            // behind the data; readers that stream the archive need it there.
            if (z.error == 0 && (e.local_flags & 0x08)) {
                std::uint32_t zip64_size = 0;
                const bool wide = find_zip64_block(name_and_extra.data() + local_name_length,
                                                   local_extra_length, &zip64_size) != nullptr;
                std::uint8_t d[24];
                if (read_old(z, old_archive, d, 4)) {
                    const bool signed_descriptor = get32(d) == 0x08074B50;
                    const std::uint32_t more = (signed_descriptor ? 4u : 0u) + (wide ? 16u : 8u);
                    if (read_old(z, old_archive, d + 4, more)) write_out(z, d, 4 + more);
                }
                if (z.error == ZERR_EOF) z.error = ZERR_FORMAT;
            }
        }
    }
    z.output_handle = saved;
}

namespace {

// A free name beside the archive for the new archive while it replaces the old.
bool staging_path(const char* archive_path, char (&out)[platform::kMaxPath]) {
    for (int i = 0; i < 10; ++i) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, i ? ".zrvnew%d" : ".zrvnew", i);
        std::string candidate = std::string(archive_path) + suffix;
        if (candidate.size() >= sizeof out) return false;
        if (platform::get_attributes(candidate.c_str()) == platform::kInvalidAttributes) {
            platform::copy_bounded(out, sizeof out, candidate.c_str());
            return true;
        }
    }
    return false;
}

} // namespace

int replace_archive(zip& z, const char* archive_path, const char* temporary_path, char (&left_at)[platform::kMaxPath]) {
    (void)z;
    platform::copy_bounded(left_at, sizeof left_at, temporary_path);
    // A read-only archive cannot be replaced (as a delete of it would fail).
    std::uint32_t attributes = platform::get_attributes(archive_path);
    if (attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReadOnly)) {
        char staged[platform::kMaxPath];
        if (staging_path(archive_path, staged) && (platform::move_file(temporary_path, staged) ||
                                                   platform::copy_file(temporary_path, staged, true)))
            platform::copy_bounded(left_at, sizeof left_at, staged);
        return ZERR_DELETE;
    }
    char staged[platform::kMaxPath];
    if (!staging_path(archive_path, staged)) return ZERR_COPY;
    // Into the archive's folder first: a rename there cannot leave a half file.
    if (!platform::move_file(temporary_path, staged) && !platform::copy_file(temporary_path, staged, true)) {
        platform::delete_file(staged);
        return ZERR_COPY;
    }
    platform::delete_file(temporary_path); // gone already after a move
    platform::copy_bounded(left_at, sizeof left_at, staged);
    if (!platform::replace_file(staged, archive_path)) return ZERR_DELETE;
    return 0;
}

namespace {

// Writes the end record with a new comment where the end record was found,
// and nowhere else: figures in the record may lie, and writing where they
// point would overwrite central headers. The new tail goes out in one write
// and the file is cut behind it, so a shorter comment leaves none of the
// old one behind, and a stop between the two steps still leaves a complete
// end record.
int rewrite_end_record(zip& z, zlist& list, const char* comment, std::uint32_t comment_length) {
    platform::ScopedFile f(platform::open_write(z.archive_path));
    if (!f.valid()) {
        set_error(z, ZERR_OPEN);
        return z.error;
    }
    // The archive must still hold its end record where it was read. Its
    // fields stay as they are (ZIP64 markers included); only the comment
    // length changes.
    std::uint8_t r[22] = {};
    std::uint32_t got = 0;
    if (!platform::seek_file(f.get(), list.end_record_offset) ||
        !platform::read_file(f.get(), r, sizeof r, &got) || got != sizeof r ||
        std::memcmp(r, z.end_signature, 4) != 0) {
        set_error(z, ZERR_FORMAT);
        return z.error;
    }
    put16(r + 20, comment_length);
    std::vector<std::uint8_t> tail;
    try {
        tail.resize(22 + std::size_t(comment_length));
    } catch (const std::bad_alloc&) {
        set_error(z, ZERR_MEMORY);
        return z.error;
    }
    std::memcpy(tail.data(), r, sizeof r);
    if (comment_length) std::memcpy(tail.data() + 22, comment, comment_length);
    std::uint32_t written = 0;
    if (!platform::seek_file(f.get(), list.end_record_offset) ||
        !platform::write_file(f.get(), tail.data(), static_cast<std::uint32_t>(tail.size()),
                              &written) ||
        !platform::truncate_file(f.get())) {
        map_write_error(z, platform::last_error());
        return z.error;
    }
    try {
        list.comment.assign(comment ? comment : "", comment_length);
    } catch (const std::bad_alloc&) {
        set_error(z, ZERR_MEMORY);
        return z.error;
    }
    list.comment_length = comment_length;
    return z.error;
}

} // namespace

int delete_comment(zip& z, zlist& list) {
    if (z.error) return z.error;
    if (list.comment_length == 0 && list.comment.empty()) return 0;
    return rewrite_end_record(z, list, nullptr, 0);
}

int set_comment(zip& z, zlist& list, const char* text, std::uint32_t length) {
    z.error = 0;
    z.warnings = 0;
    if (!text || length == 0) return delete_comment(z, list);
    if (length > 0xFFFF) length = 0xFFFF; // the end record holds a 16-bit length
    return rewrite_end_record(z, list, text, length);
}
