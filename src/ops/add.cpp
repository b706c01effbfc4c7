#include "ops/add.h"
#include "ops/add_member.h"
#include "ops/compress_pool.h"
#include "ops/spanning.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <string>

#include "codec/crc32.h"
#include "codec/deflate.h"
#include "ops/flist.h"
#include "ops/job_ui.h"
#include "ops/paths.h"
#include "zip/input.h"
#include "zip/names.h"
#include "zip/progress.h"
#include "zip/writer.h"
#include "zip/zip.h"
#include "zip/zlist.h"

std::string stored_name(const std::string& path, int prefix_length, int full_paths) {
    std::string name = path.size() > 3 ? path.substr(3) : std::string();
    if (!full_paths) {
        std::size_t cut = static_cast<std::size_t>(prefix_length) + (prefix_length >= 1 ? 1 : 0);
        name = name.size() > cut ? name.substr(cut) : std::string();
    }
    for (char& c : name)
        if (c == '\\') c = '/';
    return name;
}

namespace {

constexpr std::uint32_t kPiece = 65536;

const char* caption_of(std::uint32_t action) {
    switch (action) {
    case kActionCreate: return "Creating new archive";
    case kActionAdd: return "Adding files";
    case kActionFreshen: return "Freshening files";
    case kActionUpdate: return "Updating files";
    default: return "Removing files";
    }
}

// One write job: the archive being written, its buffers and its end.
struct WriteJob {
    zip& z;
    zlist& list;
    std::string archive;
    platform::FileHandle old_archive = platform::kInvalidFile;
    bool deflate_started = false;

    WriteJob(zip& engine, zlist& catalog, const char* archive_path) : z(engine), list(catalog), archive(archive_path) {}

    // The temporary archive, in the work folder; without one it goes beside the archive.
    void create_temporary() {
        z.output_handle =
            create_unique_file(temporary_folder(z, archive_folder()), z.temporary_path);
        if (z.output_handle == platform::kInvalidFile) set_error(z, ZERR_TEMP);
    }

    std::string archive_folder() const {
        char folder[platform::kMaxPath];
        platform::copy_bounded(folder, sizeof folder, archive.c_str());
        stripFileName(folder);
        return folder;
    }

    // Deletes the temporary archive unless it was put in place.
    void discard_temporary() {
        if (z.temporary_path[0]) platform::delete_file(z.temporary_path);
        z.temporary_path[0] = '\0';
    }

    void start_buffers(bool compressing) {
        if (z.error == 0) makeCrcTable(z);
        if (z.error == 0 && compressing) {
            if (startDeflateJob(z) != 0) set_error(z, ZERR_MEMORY);
            deflate_started = true;
        }
    }

    void open_old() {
        if (z.error) return;
        old_archive = platform::open_read(archive.c_str());
        if (old_archive == platform::kInvalidFile) set_error(z, ZERR_NOZIP);
    }

    // The bytes in front of the first member (a self-extractor's program).
    void keep_preamble() {
        if (z.error == 0 && !list.entries.empty() && list.entries.front()->local_header_offset > 0)
            copy_preamble(z, old_archive, z.output_handle, list.entries.front()->local_header_offset);
        if (z.error == 0) z.output_position = list.entries.empty() ? 0 : list.entries.front()->local_header_offset;
    }

    void copy_members(bool report) {
        for (auto& owned : list.entries) {
            if (z.error) break;
            zentry& e = *owned;
            if (report && z.progress) z.progress->SetFile(e.name.c_str());
            copy_entry(z, e, old_archive, z.output_handle);
            if (report && z.progress) {
                z.progress->LogResult("Copy", e.name.c_str(), z.error);
                z.progress->Step();
            }
        }
        platform::close_file(old_archive);
        old_archive = platform::kInvalidFile;
    }

    void release() {
        platform::close_file(old_archive);
        old_archive = platform::kInvalidFile;
        if (deflate_started) releaseDeflateJob(z);
        deflate_started = false;
        release_job(z); // closes the output and frees the engine's buffers
    }

    // Puts the finished temporary archive in place, or says where it was left.
    void replace(bool report) {
        if (z.error == 0) {
            if (report && z.progress) z.progress->ResetFileGauge(0);
            char left_at[platform::kMaxPath];
            int r = replace_archive(z, archive.c_str(), z.temporary_path, left_at);
            if (r == 0) {
                if (report && z.progress) z.progress->LogResult("Replace", archive.c_str(), 0);
            } else {
                zip_warning(z, ZWARN_REPLACE, left_at);
            }
            if (report && z.progress) z.progress->Step();
            z.temporary_path[0] = '\0'; // moved into place, or left where the warning says
        } else {
            discard_temporary();
        }
    }
};

// Writes a piece of member data that the job produced itself.
void write_data(zip& z, const std::uint8_t* data, std::uint32_t n) {
    if (z.error || n == 0) return;
    write_member_output(z, data, n);
}

// Stores a file unchanged; the compressed size is what was read.
std::uint64_t store_file(zip& z, std::uint64_t expected) {
    std::unique_ptr<std::uint8_t[]> buf(new (std::nothrow) std::uint8_t[kPiece]);
    if (!buf) {
        set_error(z, ZERR_MEMORY);
        return 0;
    }
    std::uint64_t done = 0;
    while (z.error == 0) {
        std::uint32_t got = 0;
        if (!read_member_input(z, buf.get(), kPiece, &got)) {
            set_error(z, ZERR_READ);
            break;
        }
        if (got == 0) break;
        z.add_crc = updateCrc(z, buf.get(), got);
        write_data(z, buf.get(), got);
        done += got;
        z.input_bytes_read = done;
        if (z.progress) z.progress->FileProgress(std::max(expected, done), done);
    }
    return done;
}

} // namespace

std::string temporary_folder(const zip& z, const std::string& fallback_folder) {
    return z.work_folder[0] ? std::string(z.work_folder) : fallback_folder;
}

// Names are tried in a sequence that starts at a random point in each
// process; the exclusive create decides, so two jobs at once, a link planted
// at a name or a read-only file left by an earlier run only cost a try.
platform::FileHandle create_unique_file(const std::string& folder,
                                        char (&path)[platform::kMaxPath]) {
    static std::atomic<std::uint32_t> sequence{std::random_device{}()};
    const std::string base = platform::with_backslash(folder);
    for (int attempt = 0; attempt < 64; ++attempt) {
        char name[16];
        std::snprintf(name, sizeof name, "ZRV%05X.ZIP",
                      static_cast<unsigned>(sequence++ & 0xFFFFF));
        if (!platform::copy_bounded(path, sizeof path, (base + name).c_str())) break;
        platform::FileHandle h = platform::create_new_file(path);
        if (h != platform::kInvalidFile) return h;
        const std::uint32_t error = platform::last_error();
        if (error != 80 && error != 183 && error != platform::kErrAccessDenied)
            break; // no folder, no room
    }
    path[0] = '\0';
    return platform::kInvalidFile;
}

namespace {

// Only the permissions are kept: set-user-ID and the like are for the
// system that set them, not for whoever extracts the archive.
constexpr std::uint32_t kUnixPermissions = 0777;

// Stores a symbolic link as a link: its text is the member's data.
bool open_link_source(zip& z, const std::string& path, const platform::UnixStat& link,
                      SourceFile& src) {
    if (!platform::read_link(path.c_str(), &src.link_target)) {
        zip_warning(z, ZERR_OPEN, path.c_str());
        return false;
    }
    src.link = true;
    src.unix_mode = kUnixLink | kUnixPermissions;
    src.attributes = platform::kAttrArchive;
    src.size = src.link_target.size();
    src.mtime = link.mtime;
    src.time = platform::local_dos_time_from_unix(src.mtime);
    return true;
}

// The mode a member keeps of its source, where the host has modes.
std::uint32_t source_unix_mode(const std::string& path, bool folder) {
    platform::UnixStat st;
    if (!platform::get_unix_stat(path.c_str(), true, &st)) return 0;
    return (folder ? kUnixFolder : kUnixRegular) | (st.mode & kUnixPermissions);
}

} // namespace

// Opens a source; false (with its warning given) when it is to be skipped.
bool open_source(zip& z, const std::string& path, SourceFile& src, bool store_links) {
    std::string p = path;
    if (!p.empty() && p.back() == '\\') p.pop_back();
    platform::UnixStat link;
    if (store_links && platform::get_unix_stat(p.c_str(), false, &link) &&
        (link.mode & kUnixTypeMask) == kUnixLink)
        return open_link_source(z, p, link, src);
    src.attributes = platform::get_attributes(p.c_str());
    src.folder = (!path.empty() && path.back() == '\\') ||
                 (src.attributes != platform::kInvalidAttributes && (src.attributes & platform::kAttrDirectory));
    if (src.attributes == platform::kInvalidAttributes) src.attributes = src.folder ? platform::kAttrDirectory : 0;
    if (src.folder) {
        src.attributes |= platform::kAttrDirectory;
        // A folder named that does not exist (yet) is stored with the time of the job.
        if (!platform::get_path_unix_time(p.c_str(), &src.mtime)) src.mtime = std::time(nullptr);
        src.time = platform::local_dos_time_from_unix(src.mtime);
        src.unix_mode = source_unix_mode(p, true);
        return true;
    }
    // A link counts as what it leads to; a FIFO or device is skipped unread.
    bool not_a_file = false;
    src.handle.reset(platform::open_read_regular(p.c_str(), &not_a_file));
    if (!src.handle.valid()) {
        zip_warning(z, not_a_file ? std::int32_t(ZWARN_NOT_A_FILE) : std::int32_t(ZERR_OPEN),
                    path.c_str());
        return false;
    }
    std::uint64_t size = 0;
    if (!platform::file_size64(src.handle.get(), &size)) {
        zip_warning(z, ZERR_OPEN, path.c_str());
        return false;
    }
    // Spanned sets keep 32-bit sizes; elsewhere a large file is a ZIP64 member.
    if (size >= kZip64Marker && spanning_active(z)) {
        zip_warning(z, ZWARN_FILE_SIZE, path.c_str());
        return false;
    }
    src.size = size;
    if (!platform::get_file_unix_time(src.handle.get(), &src.mtime)) src.mtime = std::time(nullptr);
    src.time = platform::local_dos_time_from_unix(src.mtime);
    src.unix_mode = source_unix_mode(p, false);
    return true;
}

std::unique_ptr<zentry> new_member(zip& z, const SourceFile& src, const std::string& name, std::uint32_t level) {
    auto e = std::make_unique<zentry>();
    // Names are UTF-8 inside; only a name that is not pure ASCII needs bit 11,
    // so ASCII members are written as before. A file name that is not UTF-8
    // (a host file system in another encoding) keeps its bytes, without the bit.
    const bool utf8 = !is_ascii(name) && is_utf8(name);
    if (!is_ascii(name) && !utf8) zip_warning(z, ZWARN_NAME_BYTES, name.c_str());
    e->stored_name = name;
    e->name = catalog_name(name);
    e->name_length = static_cast<std::uint32_t>(name.size());
    e->date = src.time.date;
    e->time = src.time.time;
    e->uncompressed_size = src.folder ? 0 : src.size;
    e->external_attributes = src.attributes;
    e->internal_attributes = 0xFFFF;
    e->version_made_by = 20;
    // The DOS bits stay in the low half for readers that know only those.
    if (src.unix_mode) {
        e->external_attributes |= src.unix_mode << 16;
        e->version_made_by |= kMadeByUnix << 8;
    }
    e->flags = e->local_flags = 8 | (utf8 ? kUtf8NameFlag : 0);
    e->disk_number_start = static_cast<std::uint16_t>(z.current_disk);
    // The exact time in UTC beside the DOS fields, as peers write it. Some
    // readers take its 32 bits as signed, others not: a time past 2038 (or
    // before 1970) is left to the DOS fields, which every reader agrees on.
    if (src.mtime >= 0 && src.mtime <= 0x7FFFFFFFll) {
        std::uint8_t x[kTimeExtraSize];
        time_extra_bytes(static_cast<std::uint32_t>(src.mtime), x);
        e->central_extra.assign(x, x + sizeof x);
        e->central_extra_length = kTimeExtraSize;
        e->local_extra_length = kTimeExtraSize;
        e->time_extra = true;
    }
    z.method = (level != 0 && !src.folder) ? 8 : 0;
    e->method = static_cast<std::uint16_t>(z.method);
    e->version_needed = z.method == 8 ? 20 : 10;
    // Sizes that may not fit the header's 32-bit fields go in a ZIP64 block.
    if (e->uncompressed_size >= kZip64Marker) {
        e->local_zip64 = true;
        e->local_extra_length += kLocalZip64Size;
        e->version_needed = 45;
    }
    updateCrc(z, nullptr, 0);
    z.add_crc = 0;
    z.input_bytes_read = 0;
    z.current_entry = e.get();
    z.uncompressed_size = e->uncompressed_size;
    return e;
}

std::uint64_t compress_member(zip& z, zentry& e, SourceFile& src, std::uint32_t level) {
    std::uint64_t compressed = 0;
    if (z.error == 0 && !src.folder) {
        z.input_handle = src.handle.get();
        z.input_text = src.link ? &src.link_target : nullptr;
        z.input_text_read = 0;
        if (z.method == 8) {
            std::uint64_t data_start = z.output_memory ? z.output_memory->size() : 0;
            if (!z.output_memory && !platform::tell_file(z.output_handle, &data_start))
                map_write_error(z, platform::last_error());
            z.level = level;
            if (z.error == 0) deflateFile(z, &compressed);
            // Data that deflate does not shrink (random or already packed) goes
            // in stored; a tie too, as stored data costs a reader nothing to decode.
            if (z.error == 0 && z.method == 8 && compressed >= z.input_bytes_read) {
                if (!rewind_member_input(z)) set_error(z, ZERR_READ);
                if (z.output_memory)
                    z.output_memory->resize(data_start);
                else if (z.error == 0 && !platform::seek_file(z.output_handle, data_start))
                    map_write_error(z, platform::last_error());
                updateCrc(z, nullptr, 0);
                z.add_crc = 0;
                z.input_bytes_read = 0;
                z.method = 0;
                if (z.error == 0) compressed = store_file(z, src.size);
                if (z.error == 0 && !z.output_memory && !platform::truncate_file(z.output_handle))
                    map_write_error(z, platform::last_error());
            }
        } else {
            compressed = store_file(z, src.size);
        }
        z.input_handle = platform::kInvalidFile;
        z.input_text = nullptr;
        // What was read is what the member holds, even if the file changed meanwhile.
        e.uncompressed_size = z.input_bytes_read;
        // A file that grew past 4 GB while it was read has a local header
        // too small for its sizes: the one limit that remains.
        if (z.error == 0 && !e.local_zip64 &&
            (e.uncompressed_size >= kZip64Marker || compressed >= kZip64Marker))
            set_error(z, ZERR_ARCHIVE_SIZE);
    }
    if (z.error == 0) {
        e.compressed_size = compressed;
        e.crc = src.folder ? 0 : z.add_crc;
        e.method = static_cast<std::uint16_t>(z.method);
        e.version_needed = e.local_zip64 ? 45 : z.method == 8 ? 20 : 10;
        if (z.method != 8) e.internal_attributes = 0;
        std::uint16_t level_flags = z.method == 8 ? (level == 1 ? 4 : level == 9 ? 2 : 0) : 0;
        // Bit 3 only while the data was written.
        e.flags = e.local_flags = level_flags | (e.flags & kUtf8NameFlag);
    }
    return compressed;
}

void finish_member(zip& z, zlist& list, std::unique_ptr<zentry> e, const SourceFile& src, const std::string& path,
                   bool report) {
    z.current_entry = nullptr;
    if (z.error) {
        if (report && z.progress) {
            z.progress->LogResult("Add", path.c_str(), z.error);
            z.progress->Step();
        }
        return;
    }
    zentry* added = list.append(std::move(e));
    if (report && z.progress) {
        if (src.folder)
            z.progress->LogLine("Store Dir", path.c_str());
        else
            z.progress->LogAdded("Add", path.c_str(), added->uncompressed_size, added->compressed_size);
        z.progress->Step();
    }
}

namespace {

// Writes one new member from a source: header, data, final header. The
// entry is appended to the catalog on success.
void add_member(zip& z, zlist& list, const std::string& path, const std::string& name,
                std::uint32_t level, bool report, bool store_links) {
    SourceFile src;
    if (!open_source(z, path, src, store_links)) {
        if (report && z.progress) z.progress->Step();
        return;
    }
    std::unique_ptr<zentry> e = new_member(z, src, name, level);
    write_local_header(z, *e);
    e->local_header_offset = z.output_position - 30 - e->name_length - e->local_extra_length;
    const std::uint64_t compressed = compress_member(z, *e, src, level);
    if (z.error == 0) {
        z.output_position += compressed;
        rewrite_local_header(z, *e);
    }
    finish_member(z, list, std::move(e), src, path, report);
}

// Adds every file of the list; returns how many members were added.
std::uint32_t add_files(zip& z, zlist& list, flist& files, std::uint32_t level) {
    const unsigned threads = compress_threads(z);
    if (threads > 1 && files.count() > 1) return add_files_parallel(z, list, files, level, threads);
    std::uint32_t added = 0;
    for (const fentry& f : files.entries) {
        if (z.error) break;
        if (z.progress) z.progress->SetFile(f.path.c_str());
        std::string name = stored_name(f.path, files.prefix_length, files.full_paths);
        if (name.empty()) continue;
        std::uint32_t before = list.count();
        add_member(z, list, f.path, name, level, true, files.store_links != 0);
        if (list.count() > before) ++added;
    }
    return added;
}

// Destroys the job's file list, deleting its sources only after a clean job.
void finish_file_list(zip& z, std::unique_ptr<flist>& files) {
    if (!files) return;
    if (z.error || z.warnings) files->delete_sources = 0;
    if (files->delete_sources) deleteSourceFiles(*files, z.ui);
    files.reset();
    z.file_list = nullptr;
}

void create_job(zip& z, zlist& list, WriteJob& job, flist& files, std::uint32_t level) {
    if (z.progress) z.progress->StartJob(job.archive.c_str(), static_cast<int>(files.count()));
    if (files.count() == 0) set_error(z, ZERR_NOTHING);
    // Erasing first is the same as erasing around the new file: it stays either way.
    if (z.error == 0 && spanning_active(z) && (z.span_options & 4)) erase_disk(z);
    // A new archive on a fixed drive is written under a temporary name beside
    // it and renamed into place when complete: a job stopped half way never
    // leaves a broken archive, nor a cut file the user had, under its name.
    // Spanned disks are written as they go.
    const bool staged = !spanning_active(z);
    if (z.error == 0) {
        createDirPath(job.archive.c_str());
        if (staged)
            z.output_handle = create_unique_file(job.archive_folder(), z.temporary_path);
        else
            z.output_handle = platform::create_file(job.archive.c_str());
        if (z.output_handle == platform::kInvalidFile) set_error(z, ZERR_CREATE);
    }
    job.start_buffers(level != 0);
    z.current_disk = z.last_disk = 0;
    z.output_position = 0;
    list.clear();
    if (z.error == 0) {
        std::uint32_t added = spanning_active(z) ? add_files_spanned(z, list, files, level)
                                                 : add_files(z, list, files, level);
        if (added == 0) set_error(z, ZERR_NOTHING);
    }
    write_central_directory(z, list);
    write_end_record(z, list);
    z.room_check = nullptr;
    const bool created = z.output_handle != platform::kInvalidFile;
    job.release();
    if (z.error == 0 && staged && !platform::replace_file(z.temporary_path, job.archive.c_str()))
        set_error(z, ZERR_CREATE);
    if (z.error) {
        if (staged)
            job.discard_temporary();
        else if (created)
            platform::delete_file(job.archive.c_str());
        list.clear();
    } else {
        z.temporary_path[0] = '\0';
        list.mark_all(0);
        list.sort_mode = kSortNameUp;
        if (list.zlist_sort() != 0) set_error(z, ZERR_GENERAL);
    }
}

void update_job(zip& z, zlist& list, WriteJob& job, flist& files, std::uint32_t action, std::uint32_t level) {
    job.create_temporary();
    job.start_buffers(level != 0);
    z.output_position = 0;
    list.sort_for_lookup();
    for (fentry& f : files.entries) {
        if (z.error) break;
        std::string name = stored_name(f.path, files.prefix_length, files.full_paths);
        zentry* found = name.empty() ? nullptr : list.zlist_find(catalog_name(name).c_str());
        switch (action) {
        case kActionAdd:
            if (found) list.mark(found);
            break;
        case kActionFreshen: {
            // Both in UTC seconds; DOS times have 2-second steps, so a file
            // less than 2 seconds newer counts as the same.
            std::int64_t file_time = 0;
            bool newer = found && getFileUnixTime(f.path.c_str(), &file_time) &&
                         file_time - member_unix_time(*found) >= 2;
            f.flag = newer ? kFentryNone : kFentrySkip;
            if (newer) list.mark(found);
            break;
        }
        case kActionUpdate:
            f.flag = found ? kFentrySkip : kFentryNone;
            break;
        }
    }
    job.open_old();
    if (z.error == 0) job.keep_preamble();
    files.remove_flagged(kFentrySkip);
    list.remove_marked(1);
    if (z.progress) z.progress->StartJob(job.archive.c_str(), static_cast<int>(files.count() + list.count()));
    if (files.count() == 0) set_error(z, ZERR_NOTHING);
    job.copy_members(true);
    if (z.error == 0) add_files(z, list, files, level);
    write_central_directory(z, list);
    write_end_record(z, list);
    job.release();
}

void remove_job(zip& z, zlist& list, WriteJob& job) {
    job.create_temporary();
    z.output_position = 0;
    list.sort_for_lookup();
    job.open_old();
    if (z.error == 0) job.keep_preamble();
    list.remove_marked(1);
    if (z.progress) z.progress->StartJob(job.archive.c_str(), static_cast<int>(list.count()));
    job.copy_members(true);
    if (z.error == 0) {
        write_central_directory(z, list);
        write_end_record(z, list);
    }
    job.release();
}

} // namespace

int zip_operation(zip& z, zlist& list, void* owner_window, const char* archive_path, std::uint32_t action,
                  std::uint32_t level, std::uint32_t span_options) {
    z.owner_window = owner_window;
    z.action = action;
    z.level = level;
    z.span_options = span_options;
    z.error = 0;
    z.warnings = 0;
    std::unique_ptr<flist> files(z.file_list);
    if (!platform::copy_bounded(z.archive_path, sizeof z.archive_path, archive_path)) set_error(z, ZERR_OPEN);
    if (z.ui) z.progress = z.ui->create_progress(owner_window, &z.error, &z.warnings);
    if (z.progress) z.progress->SetCaption(caption_of(action));

    WriteJob job(z, list, z.archive_path);
    if (action != kActionRemove && !files) {
        set_error(z, ZERR_NOTHING);
    } else if (z.error == 0) {
        switch (action) {
        case kActionCreate: create_job(z, list, job, *files, level); break;
        case kActionAdd:
        case kActionFreshen:
        case kActionUpdate: update_job(z, list, job, *files, action, level); break;
        case kActionRemove: remove_job(z, list, job); break;
        default: set_error(z, ZERR_LOGIC); break;
        }
    }
    if (action != kActionCreate) job.replace(true);
    // Sources go only once their new archive is safely in place.
    finish_file_list(z, files);
    if (action != kActionCreate) {
        list.mark_all(0);
        list.restore_sort();
    }
    if (z.error) zip_error(z, z.error);
    if (z.progress) {
        z.progress->FinishJob();
        if (z.ui) z.ui->destroy_progress(z.progress);
        z.progress = nullptr;
    }
    return z.error;
}

int freshen_member(zip& z, zlist& list, const char* archive_path, const char* member_name, const char* file_path,
                   std::uint32_t level) {
    z.level = level;
    z.error = 0;
    z.warnings = 0;
    z.owner_window = nullptr;
    platform::copy_bounded(z.archive_path, sizeof z.archive_path, archive_path);
    WriteJob job(z, list, z.archive_path);
    job.create_temporary();
    job.start_buffers(level != 0);
    z.output_position = 0;
    list.sort_for_lookup();
    if (zentry* found = list.zlist_find(member_name)) list.mark(found);
    job.open_old();
    if (z.error == 0) job.keep_preamble();
    list.remove_marked(1);
    job.copy_members(false);
    if (z.error == 0) {
        std::uint32_t attributes = platform::get_attributes(file_path);
        add_member(z, list, file_path, member_name, level, false, false);
        if (attributes != platform::kInvalidAttributes) platform::set_attributes(file_path, attributes);
    }
    write_central_directory(z, list);
    write_end_record(z, list);
    job.release();
    job.replace(false);
    list.mark_all(0);
    list.restore_sort();
    if (z.error) zip_error(z, z.error);
    return z.error + static_cast<int>(z.warnings);
}
