// Extraction jobs. One member loop serves the three forms (files, memory,
// test); it positions the buffered input at each marked member's local
// header, runs the decoder of its method through the output flush, checks
// the CRC-32 and, for files, gives the target the member's time and
// attributes. Checks that stop the job (version, encryption) apply to every
// entry, marked or not, so a job never runs past a member it cannot read.
#include "ops/extract.h"

#include <algorithm>
#include <cstring>
#include <string>

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
        std::uint32_t k = std::min<std::uint32_t>(z.compressed_left, static_cast<std::uint32_t>(z.bytes_left));
        k = std::min(k, kWindowSize - held);
        std::memcpy(window + held, z.input_buffer.get() + z.read_pointer, k);
        z.read_pointer += k;
        z.bytes_left -= static_cast<std::int32_t>(k);
        z.compressed_left -= k;
        held += k;
        if (held == kWindowSize) {
            flushOutput(z, window, held);
            held = 0;
        }
    }
    if (held) flushOutput(z, window, held);
}

void decode_member(zip& z, const zentry& e) {
    switch (e.method) {
    case 0:
        copy_stored(z);
        break;
    case 1:
        unshrinkMember(z);
        break;
    case 6: {
        // An error already pending (a cancel, say) is never replaced by success.
        int r = explodeMember(z);
        if (r) set_error(z, r);
        break;
    }
    case 8:
        inflateMember(z);
        break;
    }
}

bool is_reduced(std::uint16_t method) { return method >= 2 && method <= 5; }
bool is_supported(std::uint16_t method) { return method == 0 || method == 1 || method == 6 || method == 8; }

struct Job {
    zip& z;
    zlist& list;
    Form form;
    std::string destination; // ends with a backslash
    bool use_folder_names = false;
    std::uint32_t answer = kAnswerYes;

    // Opens the archive and allocates the buffers every form needs.
    void start(void* owner_window, const char* archive_path, const char* caption) {
        z.owner_window = owner_window;
        z.error = 0;
        z.warnings = 0;
        if (!platform::copy_bounded(z.archive_path, sizeof z.archive_path, archive_path)) z.error = ZERR_NOZIP;
        if (z.error == 0) z.error = open_archive_input(z);
        if (z.error == 0) makeCrcTable(z);
        if (z.error == 0) z.window = allocate_buffer(z, kWindowSize);
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
            if (e.version_needed > 20) set_error(z, ZERR_FORMAT);
            if (e.flags & 1) set_error(z, ZERR_ENCRYPTED);
            if (z.error == 0 && e.mark == 1) member(e);
            if (z.progress) z.progress->Step();
        }
    }

    void member(zentry& e) {
        if (z.progress) z.progress->SetFile(e.name.c_str());
        if (is_reduced(e.method)) {
            zip_warning(z, ZWARN_REDUCED, e.name.c_str());
            return;
        }
        if (!is_supported(e.method)) {
            if (form != Form::Memory) zip_warning(z, ZERR_METHOD, e.name.c_str());
            return;
        }
        z.current_entry = &e;
        if (seek_archive(z, e.local_header_offset, e.disk_number_start) != 0) return;
        if (read_local_header(z) != 0) return;
        z.compressed_left = e.compressed_size;
        z.uncompressed_size = e.uncompressed_size;
        switch (form) {
        case Form::Files: to_file(e); break;
        case Form::Memory: to_memory(e); break;
        case Form::Test: test(e); break;
        }
    }

    // A member cut short by an error is reported by that error, not by a CRC warning.
    void check_crc(const zentry& e, bool* bad) {
        z.extract_crc = ~z.extract_crc;
        *bad = z.error == 0 && z.extract_crc != e.crc;
        if (*bad) zip_warning(z, ZERR_CRC, e.name.c_str());
    }

    void to_file(zentry& e) {
        char target[platform::kMaxPath];
        int refused = memberTargetPath(destination, e.name, use_folder_names, target);
        // A folder on the way that is a link would carry the member outside the destination.
        if (refused == 0 && platform::link_between(destination.c_str(), target))
            refused = ZWARN_UNSAFE;
        if (refused) {
            zip_warning(z, refused, e.name.c_str());
            return;
        }
        if (use_folder_names) createDirPath(target);
        if (answer == kAnswerNo) answer = kAnswerYes;
        const bool folder = is_folder_entry(e);
        if (!folder && answer == kAnswerYes && platform::get_attributes(target) != platform::kInvalidAttributes)
            answer = z.ui ? z.ui->confirm_replace(z.progress, z.owner_window, target, e) : kAnswerNo;
        if (answer == kAnswerNo || answer == kAnswerCancel) return;

        if (folder) {
            platform::create_directory(target);
            if (z.progress) z.progress->LogLine("Create Dir", target);
            return;
        }
        // A read-only file in the way is replaced; it gets the member's attributes after.
        platform::set_attributes(target, 0);
        createDirPath(target);
        z.output_handle = platform::create_file_below(destination.c_str(), target);
        if (z.output_handle == platform::kInvalidFile) {
            zip_warning(z, ZERR_OPEN, target);
            return;
        }
        z.extract_crc = 0xFFFFFFFFu;
        z.output_count = 0;
        decode_member(z, e);
        platform::set_file_time(z.output_handle, {e.date, e.time});
        platform::close_file(z.output_handle);
        z.output_handle = platform::kInvalidFile;
        platform::set_attributes(target, e.external_attributes & (platform::kAttrReadOnly | platform::kAttrHidden |
                                                                  platform::kAttrSystem | platform::kAttrArchive));
        bool bad = false;
        check_crc(e, &bad);
        if (z.progress) z.progress->LogResult("Extract", target, z.error);
        // A file cut short by a full disk or a cancel is not left behind as if whole.
        if (z.error == ZERR_DISKFULL || z.error == ZERR_CANCEL) {
            platform::set_attributes(target, 0);
            platform::delete_file(target);
        }
    }

    void to_memory(zentry& e) {
        if (is_folder_entry(e)) return;
        z.extract_crc = 0xFFFFFFFFu;
        decode_member(z, e);
        bool bad = false;
        check_crc(e, &bad);
    }

    void test(zentry& e) {
        if (is_folder_entry(e) && e.compressed_size == 0) {
            if (z.progress) z.progress->LogResult("Test", e.name.c_str(), 0);
            return;
        }
        z.extract_crc = 0xFFFFFFFFu;
        z.output_count = 0;
        decode_member(z, e);
        bool bad = false;
        check_crc(e, &bad);
        if (z.progress) z.progress->LogResult("Test", e.name.c_str(), z.error != 0 || bad);
    }

    int finish() {
        release_job(z);
        z.to_memory = 0;
        z.discard_output = 0;
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
    job.start(owner_window, archive_path, "Extracting: File(s)");
    job.run();
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
    buffer[std::min(z.output_count, capacity)] = 0;
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
