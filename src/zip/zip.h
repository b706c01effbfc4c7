// The archive engine state: one object for the life of the program holding
// every handle, buffer, counter and option of the engine. Jobs allocate their
// buffers at their start and free them on every path at their end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "zip/errors.h"

class JobProgress;
class JobUi;
struct zentry;
struct flist;
struct DecodeEntry;
struct DeflateState;

// A decoding table owned by the engine; the codec that builds it supplies the
// function that frees it, so the engine state needs no codec code.
using DecodeTablePtr = std::unique_ptr<DecodeEntry, void (*)(DecodeEntry*)>;

constexpr std::uint32_t kBlockSize = 8192;       // one read block of the buffered input
constexpr std::uint32_t kInputBufferSize = 8196; // a block and 4 spare bytes behind it
constexpr std::uint64_t kNoBlock = ~std::uint64_t(0); // buffer position while the buffer is empty

// Job kinds (the action field).
enum : std::uint32_t {
    kActionCreate = 1,
    kActionAdd = 2,
    kActionFreshen = 4,
    kActionUpdate = 8,
    kActionRemove = 16,
};

// Drive classes (the drive type field).
enum : std::uint32_t {
    kDriveTypeUnknown = 0,
    kDriveTypeRemovable = 2,
    kDriveTypeFixed = 3,
    kDriveTypeNetwork = 4,
    kDriveTypeCdRom = 5,
    kDriveTypeRamDisk = 6,
};

struct zip {
    zip();
    ~zip();
    zip(const zip&) = delete;
    zip& operator=(const zip&) = delete;

    void* owner_window = nullptr;
    JobProgress* progress = nullptr;
    JobUi* ui = nullptr; // shows the jobs' progress and confirmations; none: silent
    void* message_owner =
        nullptr; // owner window of the message boxes shown without a progress dialog
    std::uint32_t add_crc = 0;
    // The running CRC-32 of the member being added: kept per engine, so that
    // two engines in one process (two jobs at once) never mix their sums.
    std::uint32_t add_crc_register = 0xFFFFFFFFu;
    std::unique_ptr<std::uint32_t[]> crc_table;
    std::uint32_t extract_crc = 0;

    // Codec state kept between the blocks of a member.
    std::uint32_t bitBuf = 0;
    std::uint32_t fetch_overruns = 0; // fetches in a row that found no byte
    std::uint32_t bitCount = 0;
    std::uint32_t inputEnded = 0;
    DecodeTablePtr fixedLitTable{nullptr, nullptr};
    DecodeTablePtr fixedDistTable{nullptr, nullptr};
    std::int32_t fixedLitBits = 0;
    std::int32_t fixedDistBits = 0;
    std::uint32_t windowPos = 0;

    char signature_buffer[5] = {};
    char local_signature[5] = {'P', 'K', 3, 4, 0};
    char central_signature[5] = {'P', 'K', 1, 2, 0};
    char end_signature[5] = {'P', 'K', 5, 6, 0};

    zentry* current_entry = nullptr;
    // Counts down past zero (wrapping) as a decoder fetches beyond the data.
    std::uint64_t compressed_left = 0;
    std::uint64_t uncompressed_size = 0;
    // The output count the flush may not pass: a member whose data inflate
    // past its declared size stops there with error 42 (bad data), which the
    // extraction jobs turn into that member's warning. None outside them.
    std::uint64_t output_limit = ~std::uint64_t(0);

    // The fields of the last local header read, kept to be compared with the
    // central header.
    struct LocalHeader {
        std::uint16_t flags = 0;
        std::uint16_t method = 0;
        std::uint32_t crc = 0;
        std::uint32_t compressed_size = 0;
        std::uint32_t uncompressed_size = 0;
        std::string name;
        // The sizes a ZIP64 extra field gives for the fields marked
        // 0xFFFFFFFF; zip64_sizes is false without such a field, or when
        // it is too short for the marked fields.
        bool has_zip64 = false;
        bool zip64_sizes = false;
        std::uint64_t zip64_uncompressed = 0;
        std::uint64_t zip64_compressed = 0;
        // The modification time of a well-formed 0x5455 block.
        bool has_mtime = false;
        std::int64_t mtime = 0;
    } local;

    // Buffered input. read_pointer is an index into input_buffer; the block
    // holds block_length valid bytes read at file offset buffer_position.
    std::uint64_t buffer_position = kNoBlock;
    std::int32_t bytes_left = 0;
    std::unique_ptr<std::uint8_t[]> input_buffer;
    std::uint32_t read_pointer = 0;
    std::uint32_t block_length = 0;
    std::unique_ptr<std::uint8_t[]> decoder_buffer;

    std::uint8_t* memory_target = nullptr;
    std::uint32_t to_memory = 0;
    std::uint32_t discard_output = 0; // testing: decode and check, write nothing
    std::uint32_t memory_capacity = 0;
    std::unique_ptr<std::uint8_t[]> copy_buffer;

    platform::FileHandle input_handle = platform::kInvalidFile;
    // A new member's data held in memory (a link's target) in place of
    // input_handle, and how much of it was read.
    const std::string* input_text = nullptr;
    std::size_t input_text_read = 0;
    platform::FileHandle output_handle = platform::kInvalidFile;
    // Archive records and copied members wait here to reach the output in
    // large writes: output_pending bytes, meant for output_pending_handle.
    std::unique_ptr<std::uint8_t[]> output_buffer;
    std::uint32_t output_pending = 0;
    platform::FileHandle output_pending_handle = platform::kInvalidFile;
    // A compressing worker's member data, gathered in memory in place of
    // output_handle; none: the data goes to output_handle.
    std::vector<std::uint8_t>* output_memory = nullptr;
    platform::FileHandle second_input_handle = platform::kInvalidFile;
    std::uint32_t bytes_read = 0;
    std::uint32_t bytes_written = 0;
    std::uint64_t output_count = 0;
    std::uint64_t output_position = 0;
    std::uint64_t input_size = 0;
    std::unique_ptr<std::uint8_t[]> window;
    std::uint64_t input_bytes_read = 0;
    // The deflate encoder's matcher, trees and bit writer while adding; the
    // codec supplies the function that frees it.
    std::unique_ptr<DeflateState, void (*)(DeflateState*)> deflate{nullptr, nullptr};

    char volume_label[25] = {};
    std::uint32_t volume_serial = 0;
    std::uint32_t current_disk = 0;
    std::uint32_t last_disk = 0;
    char archive_path[platform::kMaxPath] = {};
    char temporary_path[platform::kMaxPath] = {};
    char work_folder[platform::kMaxPath] = {}; // for temporary archives; empty: the archive's folder

    std::uint32_t warnings = 0;
    std::int32_t error = 0;
    std::uint32_t action = kActionAdd;
    std::uint32_t method = 8;
    std::uint32_t level = 5;
    std::uint32_t span_options = 1;
    std::uint32_t drive_type = kDriveTypeUnknown;
    flist* file_list = nullptr;
    // Threads compressing the new members of add, freshen and update jobs;
    // 0: one per core. Spanned archives are written by one thread.
    std::uint32_t threads = 0;

    // Set while an archive is written across disks: makes sure the disk in the
    // drive has room for a record of `bytes`, asking for fresh disks.
    void (*room_check)(zip& z, std::uint32_t bytes) = nullptr;
};

// Stores code unless an earlier error is already there.
inline void set_error(zip& z, std::int32_t code) {
    if (z.error == 0) z.error = code;
}

// Allocates n bytes for a job buffer; nullptr (and error 5) when that fails.
std::unique_ptr<std::uint8_t[]> allocate_buffer(zip& z, std::size_t n);

// The release step every job ends with: closes the handles and frees the
// job's buffers, whichever are held.
void release_job(zip& z);

// Reads up to n bytes of a new member's data, from input_text when set,
// otherwise from input_handle; false on a read error. *got is 0 at the end.
bool read_member_input(zip& z, std::uint8_t* buf, std::uint32_t n, std::uint32_t* got);
// Writes a piece of a new member's data to output_memory when set, else to
// output_handle; false (with the write error stored) when that fails.
bool write_member_output(zip& z, const std::uint8_t* data, std::uint32_t n);
// Goes back to the start of a new member's data.
bool rewind_member_input(zip& z);
