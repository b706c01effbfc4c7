// Extraction jobs. One member loop serves the three forms (files, memory,
// test); it positions the buffered input at each marked member's local
// header, runs the decoder of its method through the output flush, checks
// the CRC-32 and, for files, gives the target the member's time and
// attributes. A marked member the engine cannot read (encrypted, a method
// not decoded, a newer version of the format, ZIP64 values past the
// catalog's fields) is skipped with a warning naming why; unmarked ones are
// never looked at.
//
// Damaged members are faults of that member alone: data that cannot be
// decoded or that pass the declared size (bad data), data that overlap
// another member or the central directory (skipped unread), and a local
// header that disagrees with the central one (reported, still extracted).
// In files and tests each is a warning and the job goes on; an extraction
// into memory, whose callers take the buffer as the member, stops with the
// first two as its error.
#include "ops/extract.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "codec/bitio.h"
#include "codec/crc32.h"
#include "codec/explode.h"
#include "codec/inflate.h"
#include "codec/unshrink.h"
#include "ops/drives.h"
#include "ops/job_ui.h"
#include "ops/paths.h"
#include "zip/input.h"
#include "zip/progress.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

enum class Form { Files, Memory, Test };

constexpr std::uint32_t kWindowSize = 32768;
constexpr std::uint32_t kDecoderBufferSize = 65536;

bool is_folder_entry(const zentry& e) {
    // Some writers leave the folder bit out; a name ending in '/' is a folder all the same.
    // The name counts up to its first NUL byte, as everywhere else.
    std::size_t n = std::strlen(e.name.c_str());
    return e.is_folder() || (n > 0 && e.name[n - 1] == '/');
}

// Stored members: the compressed bytes are the data, copied in window-sized runs.
void copy_stored(zip& z) {
    std::uint8_t* window = z.window.get();
    std::uint32_t held = 0;
    while (z.compressed_left > 0 && z.error == 0) {
        if (z.bytes_left <= 0 && fill_input(z) < 0) break;
        std::uint64_t k = std::min<std::uint64_t>(z.compressed_left, static_cast<std::uint32_t>(z.bytes_left));
        k = std::min<std::uint64_t>(k, kWindowSize - held);
        std::memcpy(window + held, z.input_buffer.get() + z.read_pointer, k);
        z.read_pointer += static_cast<std::uint32_t>(k);
        z.bytes_left -= static_cast<std::int32_t>(k);
        z.compressed_left -= k;
        held += static_cast<std::uint32_t>(k);
        if (held == kWindowSize) {
            flushOutput(z, window, held);
            held = 0;
        }
    }
    if (held) flushOutput(z, window, held);
}

// A decoder's result: its out of memory is the engine's, any other failure
// is bad data. An error already pending (a cancel, say) is kept.
void set_decoder_result(zip& z, int result) {
    if (result == 3)
        set_error(z, ZERR_MEMORY);
    else if (result != 0)
        set_error(z, ZWARN_BAD_DATA);
}

// Decodes the member through the flush. True when a deflate stream ended
// before the member's compressed data did.
bool decode_member(zip& z, const zentry& e) {
    switch (e.method) {
    case 0:
        copy_stored(z);
        break;
    case 1:
        unshrinkMember(z);
        break;
    case 6:
        set_decoder_result(z, explodeMember(z));
        break;
    case 8:
    case 9: {
        const int result = e.method == 9 ? inflate64Member(z) : inflateMember(z);
        set_decoder_result(z, result);
        // Whole bytes in the bit buffer were fetched ahead and never used.
        // Fetches past the end wrapped compressed left below zero, so the
        // sum is what the stream left over, and 0 when it ended exactly.
        const std::uint64_t unused = z.compressed_left + z.bitCount / 8;
        return result == 0 && z.error == 0 && static_cast<std::int64_t>(unused) > 0;
    }
    }
    return false;
}

// Errors that are faults of the member's data: the flush's bad data, a
// stream that runs on past its compressed size or the archive file (3), and
// unshrink's end of the file inside the member (-1).
bool is_data_fault(std::int32_t error) {
    return error == ZWARN_BAD_DATA || error == ZERR_EOF || error == -1;
}

bool is_reduced(std::uint16_t method) { return method >= 2 && method <= 5; }
bool is_supported(std::uint16_t method) {
    return method == 0 || method == 1 || method == 6 || method == 8 || method == 9;
}

// The version of the format whose members the engine reads: ZIP64 (4.5).
constexpr std::uint16_t kVersionRead = 45;

// The name a warning gives a method that is not decoded; unknown ones by number.
std::string method_name(std::uint16_t method) {
    switch (method) {
    case 12:
        return "bzip2";
    case 14:
        return "LZMA";
    case 93:
        return "Zstandard";
    case 95:
        return "XZ";
    case 98:
        return "PPMd";
    case 99:
        return "AES";
    default:
        return std::to_string(method);
    }
}

struct Job {
    zip& z;
    zlist& list;
    Form form;
    std::string destination; // ends with a backslash
    bool use_folder_names = false;
    std::uint32_t answer = kAnswerYes;
    // Every entry's local header start and the central directory's, as
    // (disk, offset), sorted on first use: the bounds of member data.
    using Start = std::pair<std::uint32_t, std::uint64_t>;
    std::vector<Start> starts{};
    bool starts_sorted = false;
    bool mismatch = false; // the current member's headers disagree
    // Folders made from folder members, with their times: set once the job's
    // files are in, as every file written into a folder changes its time.
    std::vector<std::pair<std::string, std::int64_t>> folder_times{};
    // Permissions an extracted file never gets: those the user's umask
    // withholds from new files, so an archive from elsewhere decides no more
    // than the user's own programs would.
    std::uint32_t creation_mask = 0;
    // The folder (up to the target's last backslash) whose folders were all
    // made or found by the last createDirPath: the members of one folder
    // come together, and asking again for each of them costs a look per
    // folder of the path.
    std::string folders_ready{};

    void make_folders(const char* target) {
        const char* last = std::strrchr(target, '\\');
        const std::size_t n = last ? static_cast<std::size_t>(last - target) : 0;
        if (folders_ready.size() == n && folders_ready.compare(0, n, target, n) == 0) return;
        folders_ready.clear();
        if (createDirPath(target) == 0) folders_ready.assign(target, n);
    }

    // Opens the archive and allocates the buffers every form needs.
    void start(void* owner_window, const char* archive_path, const char* caption) {
        z.owner_window = owner_window;
        z.error = 0;
        z.warnings = 0;
        if (!platform::copy_bounded(z.archive_path, sizeof z.archive_path, archive_path)) z.error = ZERR_NOZIP;
        if (z.error == 0) z.error = open_archive_input(z);
        if (z.error == 0) makeCrcTable(z);
        if (z.error == 0) z.window = allocate_buffer(z, kDecoderWindowSize);
        // A match reaching before the first member reads zeros, never what
        // the heap held before (another archive's data, say).
        if (z.window) std::memset(z.window.get(), 0, kDecoderWindowSize);
        if (z.error == 0) z.input_buffer = allocate_buffer(z, kInputBufferSize);
        if (z.error == 0) z.decoder_buffer = allocate_buffer(z, kDecoderBufferSize);
        if (z.error == 0 && z.ui && form != Form::Memory) {
            z.progress = z.ui->create_progress(owner_window, &z.error, &z.warnings);
            if (z.progress) {
                z.progress->SetCaption(caption);
                z.progress->StartJob(z.archive_path, static_cast<int>(list.marked));
            }
        }
        if (z.drive_type == kDriveTypeRemovable && read_volume_info(z, z.archive_path) == 0)
            z.current_disk = disk_from_label(z);
    }

    void run() {
        for (auto& owned : list.entries) {
            if (z.error || answer == kAnswerCancel) break;
            zentry& e = *owned;
            if (e.mark == 1) member(e);
            if (z.progress) z.progress->Step();
        }
    }

    // Skips a member that cannot be read. In memory, whose callers take the
    // buffer as the member, it is the job's error.
    void skip(const zentry& e, std::int32_t warning, std::int32_t error,
              const char* detail = nullptr) {
        if (form == Form::Memory) {
            set_error(z, error);
            return;
        }
        zip_warning(z, warning, e.name.c_str(), detail);
        if (form == Form::Test && z.progress) z.progress->LogResult("Test", e.name.c_str(), 1);
    }

    void member(zentry& e) {
        if (z.progress) z.progress->SetFile(e.name.c_str());
        if (e.flags & 1) return skip(e, ZWARN_ENCRYPTED, ZERR_ENCRYPTED);
        if (e.zip64 == kZip64Damaged) return skip(e, ZWARN_ZIP64_EXTRA, ZERR_FORMAT);
        if (is_reduced(e.method)) {
            if (form == Form::Memory)
                zip_warning(z, ZWARN_REDUCED, e.name.c_str());
            else
                skip(e, ZWARN_REDUCED, 0);
            return;
        }
        if (!is_supported(e.method)) {
            if (form != Form::Memory) skip(e, ZWARN_METHOD, 0, method_name(e.method).c_str());
            return;
        }
        if (e.version_needed > kVersionRead) return skip(e, ZWARN_VERSION, ZERR_FORMAT);
        z.current_entry = &e;
        if (seek_archive(z, e.local_header_offset, e.disk_number_start) != 0) return;
        if (read_local_header(z) != 0) return;
        if (overlaps(e)) {
            if (z.error) return;
            if (form == Form::Memory) {
                set_error(z, ZWARN_OVERLAP);
                return;
            }
            zip_warning(z, ZWARN_OVERLAP, e.name.c_str());
            if (form == Form::Test && z.progress) z.progress->LogResult("Test", e.name.c_str(), 1);
            return;
        }
        mismatch = disagrees(e);
        if (mismatch) zip_warning(z, ZWARN_MISMATCH, e.name.c_str());
        z.compressed_left = e.compressed_size;
        z.uncompressed_size = e.uncompressed_size;
        switch (form) {
        case Form::Files: to_file(e); break;
        case Form::Memory: to_memory(e); break;
        case Form::Test: test(e); break;
        }
    }

    // Disk numbers count only where the job reads them: on removable drives.
    Start start_of(std::uint32_t disk, std::uint64_t offset) const {
        return {z.drive_type == kDriveTypeRemovable ? disk : 0, offset};
    }

    bool sort_starts() {
        starts_sorted = true;
        try {
            starts.reserve(list.entries.size() + 1);
            for (const auto& entry : list.entries)
                starts.push_back(start_of(entry->disk_number_start, entry->local_header_offset));
            starts.push_back(start_of(list.central_directory_disk, list.central_directory_offset));
        } catch (const std::bad_alloc&) {
            set_error(z, ZERR_MEMORY);
            return false;
        }
        std::sort(starts.begin(), starts.end());
        return true;
    }

    // Whether the member's data (local header through compressed data) share
    // their start with another entry or the central directory, reach past
    // the next start on their disk, or begin inside the central directory.
    // Legitimate archives have none of these, data descriptors included: a
    // descriptor follows the compressed data. A member that goes on to the
    // next disk of a set has no start after it on its own disk.
    bool overlaps(const zentry& e) {
        if (!starts_sorted && !sort_starts()) return true;
        if (z.error) return true;
        const Start start = start_of(e.disk_number_start, e.local_header_offset);
        const auto range = std::equal_range(starts.begin(), starts.end(), start);
        if (range.second - range.first > 1) return true;
        // A compressed size near 2^64 must not wrap the end back into range.
        const std::uint64_t header_end =
            e.local_header_offset + 30 + z.local.name.size() + e.local_extra_length;
        const std::uint64_t end = e.compressed_size > ~std::uint64_t(0) - header_end
                                      ? ~std::uint64_t(0)
                                      : header_end + e.compressed_size;
        const auto next = range.second;
        if (next != starts.end() && next->first == start.first && end > next->second) return true;
        const Start directory = start_of(list.central_directory_disk, list.central_directory_offset);
        return start.first == directory.first && start.second > directory.second &&
               start.second - directory.second < list.central_directory_size;
    }

    // Whether the local header disagrees with the central header, or a stored
    // member's two sizes differ. With bit 3 set the local CRC and sizes may be
    // left zero: a data descriptor after the data holds them. Local sizes
    // marked 0xFFFFFFFF are compared through the local ZIP64 block; with bit
    // 3 they may be left at the marker or zero there too.
    bool disagrees(const zentry& e) const {
        const auto& local = z.local;
        const bool descriptor = ((local.flags | e.flags) & 8) != 0;
        auto differs = [&](std::uint32_t in_local, std::uint64_t in_zip64,
                           std::uint64_t in_central) {
            if (descriptor && (in_local == 0 || (in_local == 0xFFFFFFFFu && local.has_zip64)))
                return false;
            if (in_local == 0xFFFFFFFFu && local.has_zip64)
                return !local.zip64_sizes || in_zip64 != in_central;
            return in_local != in_central;
        };
        return local.name != e.stored_name || local.method != e.method ||
               (local.crc != e.crc && !(descriptor && local.crc == 0)) ||
               differs(local.compressed_size, local.zip64_compressed, e.compressed_size) ||
               differs(local.uncompressed_size, local.zip64_uncompressed, e.uncompressed_size) ||
               (e.method == 0 && e.compressed_size != e.uncompressed_size);
    }

    // Starts the member's output: the CRC, and the declared size as the limit.
    void begin_output(const zentry& e) {
        z.extract_crc = 0xFFFFFFFFu;
        const std::uint64_t room = ~std::uint64_t(0) - z.output_count;
        z.output_limit = z.output_count + std::min(e.uncompressed_size, room);
    }

    // A fault of the member's data left in the error field: in files and
    // tests it becomes the member's warning and the error is cleared; in
    // memory it stays, as bad data.
    bool take_data_fault(const zentry& e) {
        if (!is_data_fault(z.error)) return false;
        if (form == Form::Memory) {
            z.error = ZWARN_BAD_DATA;
            return true;
        }
        z.error = 0;
        zip_warning(z, ZWARN_BAD_DATA, e.name.c_str());
        return true;
    }

    // Data that end before the member's compressed size, reported once per
    // member with whatever headers disagreed.
    void report_unused_data(const zentry& e, bool unused_data) {
        if (unused_data && !mismatch) {
            mismatch = true;
            zip_warning(z, ZWARN_MISMATCH, e.name.c_str());
        }
    }

    // A member cut short by an error is reported by that error, not by a CRC warning.
    void check_crc(const zentry& e, bool* bad) {
        z.extract_crc = ~z.extract_crc;
        *bad = z.error == 0 && z.extract_crc != e.crc;
        if (*bad) zip_warning(z, ZERR_CRC, e.name.c_str());
    }

    // The 0x5455 time is exact to the second; the central one wins, as that
    // is what the list shows, then a local one, then the NTFS time that
    // Windows tools write. Needs the member's local header read.
    std::int64_t modification_time(const zentry& e) const {
        std::int64_t mtime = 0;
        const auto length = static_cast<std::uint32_t>(e.central_extra.size());
        if (find_unix_mtime(e.central_extra.data(), length, &mtime)) return mtime;
        if (z.local.has_mtime) return z.local.mtime;
        if (find_ntfs_mtime(e.central_extra.data(), length, &mtime)) return mtime;
        return platform::unix_from_local_dos_time({e.date, e.time});
    }

    void set_folder_times() {
        for (const auto& folder : folder_times)
            platform::set_folder_unix_time(folder.first.c_str(), folder.second);
    }

    // The target text of a link member, decoded and checked like any data,
    // then held to the rules a link must keep; false (with its warning
    // given) when the link is not to be made.
    bool read_link_target(zentry& e, const char* target, std::string* text) {
        if (e.uncompressed_size > kMaxLinkTarget) {
            zip_warning(z, ZWARN_LINK, e.name.c_str());
            return false;
        }
        std::uint8_t buffer[kMaxLinkTarget + 1];
        z.to_memory = 1;
        z.memory_target = buffer;
        z.memory_capacity = sizeof buffer;
        z.output_count = 0;
        begin_output(e);
        const bool unused_data = decode_member(z, e);
        z.to_memory = 0;
        z.memory_target = nullptr;
        const bool fault = take_data_fault(e);
        report_unused_data(e, unused_data);
        bool bad = false;
        if (!fault) check_crc(e, &bad);
        if (fault || bad || z.error) return false;
        text->assign(
            reinterpret_cast<const char*>(buffer),
            static_cast<std::size_t>(std::min<std::uint64_t>(z.output_count, sizeof buffer)));
        if (!linkTargetStaysInside(target + destination.size(), *text)) {
            zip_warning(z, ZWARN_LINK, e.name.c_str());
            return false;
        }
        return true;
    }

    void to_file(zentry& e) {
        char target[platform::kMaxPath];
        int refused = memberTargetPath(destination, e.name, use_folder_names, target);
        // A folder on the way that is a link would carry the member outside
        // the destination. Any link counts, the job's own ones included:
        // each is safe alone, not as a folder of a later member.
        if (refused == 0 && platform::link_between(destination.c_str(), target))
            refused = ZWARN_UNSAFE;
        if (refused) {
            zip_warning(z, refused, e.name.c_str());
            return;
        }
        const bool link = e.is_link();
        if (link && !platform::has_symbolic_links()) {
            // Never a file holding the target's text in the link's place.
            zip_warning(z, ZWARN_LINK_NOT_MADE, e.name.c_str());
            return;
        }
        std::string link_target;
        if (link && !read_link_target(e, target, &link_target)) return;
        if (use_folder_names) make_folders(target);
        if (answer == kAnswerNo) answer = kAnswerYes;
        const bool folder = !link && is_folder_entry(e);
        if (!folder && answer == kAnswerYes && platform::get_attributes(target) != platform::kInvalidAttributes)
            answer = z.ui ? z.ui->confirm_replace(z.progress, z.owner_window, target, e) : kAnswerNo;
        if (answer == kAnswerNo || answer == kAnswerCancel) return;

        if (folder) {
            platform::create_directory(target);
            folder_times.emplace_back(target, modification_time(e));
            if (z.progress) z.progress->LogLine("Create Dir", target);
            return;
        }
        if (link) {
            folders_ready.clear(); // it may stand where a folder was
            platform::set_attributes(target, 0);
            const bool made =
                platform::create_link_below(destination.c_str(), target, link_target.c_str());
            if (!made) zip_warning(z, ZERR_OPEN, target);
            if (z.progress) z.progress->LogResult("Extract", target, !made);
            return;
        }
        // A read-only file in the way is replaced; it gets the member's attributes after.
        platform::set_attributes(target, 0);
        make_folders(target);
        z.output_handle = platform::create_file_below(destination.c_str(), target);
        const std::uint32_t why = platform::last_error();
        if (z.output_handle == platform::kInvalidFile && !folders_ready.empty() &&
            (why == platform::kErrFileNotFound || why == platform::kErrPathNotFound)) {
            // A folder made for an earlier member was removed or renamed since.
            folders_ready.clear();
            make_folders(target);
            z.output_handle = platform::create_file_below(destination.c_str(), target);
        }
        if (z.output_handle == platform::kInvalidFile) {
            zip_warning(z, ZERR_OPEN, target);
            return;
        }
        z.output_count = 0;
        begin_output(e);
        const bool unused_data = decode_member(z, e);
        platform::set_file_unix_time(z.output_handle, modification_time(e));
        // A Unix mode says more than the DOS bits (the executable bit); a
        // host without modes, or a member without one, takes the DOS bits.
        const std::uint32_t mode = e.unix_mode();
        const bool type_regular =
            (mode & kUnixTypeMask) == kUnixRegular || (mode & kUnixTypeMask) == 0;
        const bool mode_set =
            mode != 0 && type_regular &&
            platform::set_unix_permissions(z.output_handle, mode & ~creation_mask);
        platform::close_file(z.output_handle);
        z.output_handle = platform::kInvalidFile;
        if (!mode_set)
            platform::set_attributes(target, e.external_attributes &
                                                 (platform::kAttrReadOnly | platform::kAttrHidden |
                                                  platform::kAttrSystem | platform::kAttrArchive));
        const bool fault = take_data_fault(e);
        report_unused_data(e, unused_data);
        bool bad = false;
        if (!fault) check_crc(e, &bad);
        if (z.progress) z.progress->LogResult("Extract", target, z.error != 0 || fault);
        // A file cut short by bad data, a full disk or a cancel is not left behind as if whole.
        if (fault || z.error == ZERR_DISKFULL || z.error == ZERR_CANCEL) {
            platform::set_attributes(target, 0);
            platform::delete_file(target);
        }
    }

    void to_memory(zentry& e) {
        if (is_folder_entry(e)) return;
        begin_output(e);
        const bool unused_data = decode_member(z, e);
        if (take_data_fault(e)) return;
        report_unused_data(e, unused_data);
        bool bad = false;
        check_crc(e, &bad);
    }

    void test(zentry& e) {
        if (is_folder_entry(e) && e.compressed_size == 0) {
            if (z.progress) z.progress->LogResult("Test", e.name.c_str(), mismatch);
            return;
        }
        z.output_count = 0;
        begin_output(e);
        const bool unused_data = decode_member(z, e);
        const bool fault = take_data_fault(e);
        report_unused_data(e, unused_data);
        bool bad = false;
        if (!fault) check_crc(e, &bad);
        if (z.progress)
            z.progress->LogResult("Test", e.name.c_str(), z.error != 0 || fault || bad || mismatch);
    }

    int finish() {
        release_job(z);
        z.to_memory = 0;
        z.discard_output = 0;
        z.output_limit = ~std::uint64_t(0);
        z.current_entry = nullptr;
        list.mark_all(0);
        if (z.error && form != Form::Memory) zip_error(z, z.error);
        if (z.progress) {
            z.progress->FinishJob();
            if (z.ui) z.ui->destroy_progress(z.progress);
            z.progress = nullptr;
        }
        return z.error;
    }
};

} // namespace

int extract_files(zip& z, zlist& list, void* owner_window, const char* archive_path, const char* destination,
                  int use_folder_names, std::uint32_t overwrite) {
    Job job{z, list, Form::Files};
    job.destination = destination ? destination : "";
    if (job.destination.empty() || job.destination.back() != '\\') job.destination += '\\';
    job.use_folder_names = use_folder_names != 0;
    job.answer = overwrite;
    job.creation_mask = platform::file_creation_mask();
    const platform::NameCacheScope names;
    job.start(owner_window, archive_path, "Extracting: File(s)");
    job.run();
    job.set_folder_times();
    return job.finish();
}

int extract_to_memory(zip& z, zlist& list, void* owner_window, const char* archive_path, std::uint8_t* buffer,
                      std::uint32_t capacity) {
    Job job{z, list, Form::Memory};
    job.start(owner_window, archive_path, "");
    z.to_memory = 1;
    z.memory_target = buffer;
    z.memory_capacity = capacity;
    z.output_count = 0;
    job.run();
    buffer[std::min<std::uint64_t>(z.output_count, capacity)] = 0;
    z.memory_target = nullptr;
    return job.finish();
}

int test_files(zip& z, zlist& list, void* owner_window, const char* archive_path) {
    Job job{z, list, Form::Test};
    job.start(owner_window, archive_path, "Testing: File(s)");
    z.discard_output = 1;
    job.run();
    return job.finish();
}
