// Engine state defaults and the release step shared by every job.
#include "zip/zip.h"

#include <algorithm>
#include <cstring>
#include <new>

zip::zip() = default;

zip::~zip() { release_job(*this); }

std::unique_ptr<std::uint8_t[]> allocate_buffer(zip& z, std::size_t n) {
    std::unique_ptr<std::uint8_t[]> p(new (std::nothrow) std::uint8_t[n]);
    if (!p) set_error(z, ZERR_MEMORY);
    return p;
}

void release_job(zip& z) {
    platform::close_file(z.input_handle);
    platform::close_file(z.output_handle);
    platform::close_file(z.second_input_handle);
    z.input_handle = z.output_handle = z.second_input_handle = platform::kInvalidFile;
    z.input_buffer.reset();
    z.decoder_buffer.reset();
    z.copy_buffer.reset();
    // Bytes still waiting belong to a job that failed: they are dropped.
    z.output_buffer.reset();
    z.output_pending = 0;
    z.output_pending_handle = platform::kInvalidFile;
    z.window.reset();
    z.deflate.reset();
    z.crc_table.reset();
    z.fixedLitTable.reset();
    z.fixedDistTable.reset();
    z.bytes_left = 0;
    z.block_length = 0;
    z.read_pointer = 0;
    z.buffer_position = kNoBlock;
}

bool read_member_input(zip& z, std::uint8_t* buf, std::uint32_t n, std::uint32_t* got) {
    if (!z.input_text) return platform::read_file(z.input_handle, buf, n, got);
    const std::size_t k = std::min<std::size_t>(n, z.input_text->size() - z.input_text_read);
    if (k) std::memcpy(buf, z.input_text->data() + z.input_text_read, k);
    z.input_text_read += k;
    *got = static_cast<std::uint32_t>(k);
    return true;
}

bool write_member_output(zip& z, const std::uint8_t* data, std::uint32_t n) {
    if (z.output_memory) {
        try {
            z.output_memory->insert(z.output_memory->end(), data, data + n);
        } catch (const std::bad_alloc&) {
            set_error(z, ZERR_MEMORY);
            return false;
        }
        return true;
    }
    std::uint32_t written = 0;
    if (platform::write_file(z.output_handle, data, n, &written)) return true;
    map_write_error(z, platform::last_error());
    return false;
}

bool rewind_member_input(zip& z) {
    if (!z.input_text) return platform::seek_file(z.input_handle, 0);
    z.input_text_read = 0;
    return true;
}
