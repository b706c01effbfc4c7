#include "zip/writer.h"

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

// Writes n bytes at the output; never lets the output position wrap past 4 GB.
void write_out(zip& z, const void* data, std::uint32_t n) {
    if (z.error || n == 0) return;
    if (std::uint64_t(z.output_position) + n > kMaxArchiveSize) {
        set_error(z, ZERR_ARCHIVE_SIZE);
        return;
    }
    std::uint32_t written = 0;
    if (!platform::write_file(z.output_handle, data, n, &written)) {
        map_write_error(z, platform::last_error());
        return;
    }
    z.output_position += n;
}

void room_for(zip& z, std::uint32_t bytes) {
    if (z.error == 0 && z.room_check) z.room_check(z, bytes);
}

void local_header_bytes(const zentry& e, std::uint8_t (&h)[30]) {
    put32(h, 0x04034B50);
    put16(h + 4, e.version_needed);
    put16(h + 6, e.local_flags);
    put16(h + 8, e.method);
    put16(h + 10, e.time);
    put16(h + 12, e.date);
    put32(h + 14, e.crc);
    put32(h + 18, e.compressed_size);
    put32(h + 22, e.uncompressed_size);
    put16(h + 26, e.name_length);
    put16(h + 28, e.local_extra_length);
}

// Reads exactly n bytes from the old archive; a short read is a damaged archive.
bool read_old(zip& z, platform::FileHandle h, void* buf, std::uint32_t n) {
    std::uint32_t got = 0;
    if (!platform::read_file(h, buf, n, &got) || got != n) {
        set_error(z, ZERR_EOF);
        return false;
    }
    return true;
}

// Copies n bytes from the old archive to the output in pieces of chunk bytes.
std::uint32_t copy_bytes(zip& z, platform::FileHandle from, std::uint32_t n, std::uint32_t chunk,
                         const zentry* progress_entry) {
    std::vector<std::uint8_t> buf;
    try {
        buf.resize(chunk);
    } catch (const std::bad_alloc&) {
        set_error(z, ZERR_MEMORY);
        return 0;
    }
    std::uint32_t done = 0;
    while (done < n && z.error == 0) {
        std::uint32_t k = n - done < chunk ? n - done : chunk;
        if (!read_old(z, from, buf.data(), k)) break;
        write_out(z, buf.data(), k);
        done += k;
        if (progress_entry && z.progress) z.progress->FileProgress(progress_entry->uncompressed_size, done);
    }
    return done;
}

} // namespace

void write_local_header(zip& z, zentry& e) {
    room_for(z, 30 + e.name_length + e.local_extra_length);
    if (z.error) return;
    std::uint8_t h[30];
    local_header_bytes(e, h);
    write_out(z, h, sizeof h);
    write_out(z, e.name.data(), e.name_length);
    // Local extra bytes are never held in memory: members written here have none.
}

void rewrite_local_header(zip& z, const zentry& e) {
    if (z.error) return;
    std::uint8_t h[30];
    local_header_bytes(e, h);
    std::uint32_t written = 0;
    if (!platform::seek_file(z.output_handle, e.local_header_offset) ||
        !platform::write_file(z.output_handle, h, sizeof h, &written)) {
        map_write_error(z, platform::last_error());
        return;
    }
    if (!platform::seek_file(z.output_handle, z.output_position)) map_write_error(z, platform::last_error());
}

void write_central_directory(zip& z, zlist& list) {
    list.total_entries = 0;
    list.entries_on_this_disk = 0;
    list.central_directory_size = 0;
    std::uint32_t written = 0;
    const std::uint32_t count = list.count();
    for (auto& owned : list.entries) {
        if (z.error) return;
        zentry& e = *owned;
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
        put32(h + 20, e.compressed_size);
        put32(h + 24, e.uncompressed_size);
        put16(h + 28, e.name_length);
        put16(h + 30, e.central_extra_length);
        put16(h + 32, e.comment_length);
        put16(h + 34, e.disk_number_start);
        put16(h + 36, e.internal_attributes);
        put32(h + 38, e.external_attributes);
        put32(h + 42, e.local_header_offset);
        write_out(z, h, sizeof h);
        write_out(z, e.name.data(), e.name_length);
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

void end_record_bytes(const zlist& list, std::uint8_t (&r)[22]) {
    put32(r, 0x06054B50);
    put16(r + 4, list.this_disk);
    put16(r + 6, list.central_directory_disk);
    put16(r + 8, list.entries_on_this_disk);
    put16(r + 10, list.total_entries);
    put32(r + 12, list.central_directory_size);
    put32(r + 16, list.central_directory_offset);
    put16(r + 20, list.comment_length);
}

} // namespace

void write_end_record(zip& z, zlist& list) {
    room_for(z, list.comment_length + 26);
    if (z.error) return;
    list.this_disk = z.current_disk;
    std::uint8_t r[22];
    end_record_bytes(list, r);
    write_out(z, r, sizeof r);
    write_out(z, list.comment.data(), list.comment_length);
}

void copy_preamble(zip& z, platform::FileHandle old_archive, platform::FileHandle new_archive, std::uint32_t length,
                   std::uint32_t chunk) {
    if (z.error) return;
    if (!platform::seek_file(old_archive, 0)) {
        set_error(z, ZERR_READ);
        return;
    }
    platform::FileHandle saved = z.output_handle;
    z.output_handle = new_archive;
    copy_bytes(z, old_archive, length, chunk, nullptr);
    z.output_handle = saved;
}

void copy_entry(zip& z, zentry& e, platform::FileHandle old_archive, platform::FileHandle new_archive,
                std::uint32_t chunk) {
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
        std::uint32_t start = z.output_position;
        write_out(z, sig, 4);
        write_out(z, h, sizeof h);
        if (z.error == 0) {
            e.local_header_offset = start;
            e.local_flags = get16(h + 2);
            e.local_extra_length = get16(h + 24);
            // The name length of the local header decides where its data starts.
            std::uint32_t local_name_length = get16(h + 22);
            std::uint64_t rest = std::uint64_t(local_name_length) + e.local_extra_length + e.compressed_size;
            if (rest > 0xFFFFFFFFull) {
                set_error(z, ZERR_ARCHIVE_SIZE);
            } else {
                copy_bytes(z, old_archive, static_cast<std::uint32_t>(rest), chunk, &e);
            }
            // A member written to a stream carries its sizes in a data descriptor
            // behind the data; readers that stream the archive need it there.
            if (z.error == 0 && (e.local_flags & 0x08)) {
                std::uint8_t d[16];
                if (read_old(z, old_archive, d, 4)) {
                    bool signed_descriptor = get32(d) == 0x08074B50;
                    std::uint32_t more = signed_descriptor ? 12 : 8;
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
    // The archive must still hold its end record where it was read.
    std::uint8_t found[4] = {};
    std::uint32_t got = 0;
    if (!platform::seek_file(f.get(), list.end_record_offset) ||
        !platform::read_file(f.get(), found, 4, &got) || got != 4 ||
        std::memcmp(found, z.end_signature, 4) != 0) {
        set_error(z, ZERR_FORMAT);
        return z.error;
    }
    zlist changed_record;
    changed_record.this_disk = list.this_disk;
    changed_record.central_directory_disk = list.central_directory_disk;
    changed_record.entries_on_this_disk = list.entries_on_this_disk;
    changed_record.total_entries = list.total_entries;
    changed_record.central_directory_size = list.central_directory_size;
    changed_record.central_directory_offset = list.central_directory_offset;
    changed_record.comment_length = comment_length;
    std::vector<std::uint8_t> tail;
    try {
        tail.resize(22 + std::size_t(comment_length));
    } catch (const std::bad_alloc&) {
        set_error(z, ZERR_MEMORY);
        return z.error;
    }
    std::uint8_t r[22];
    end_record_bytes(changed_record, r);
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
