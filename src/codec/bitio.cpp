#include "codec/bitio.h"

#include <cstring>

#include "codec/crc32.h"
#include "zip/input.h"
#include "zip/progress.h"

const std::uint32_t kBitMask[17] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F,
                                    0x003F, 0x007F, 0x00FF, 0x01FF, 0x03FF, 0x07FF,
                                    0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};

int nextInputByte(zip& z) {
    if (fill_input(z) < 0) return -1;
    --z.bytes_left;
    return z.input_buffer[z.read_pointer++];
}

std::uint32_t fetchOverrun(zip& z) {
    if (++z.fetch_overruns > kMaxFetchOverruns) set_error(z, ZERR_EOF);
    return 0xFFFFFFFFu;
}

void flushOutput(zip& z, const std::uint8_t* data, std::uint32_t length) {
    z.extract_crc = foldCrc(z.crc_table.get(), z.extract_crc, data, length);
    if (z.error || length == 0) return;
    // Only what the member declared is written: a bomb that lies about its
    // size ends here, not when the disk is full.
    const bool past_declared_size = z.output_count + std::uint64_t(length) > z.output_limit;
    if (past_declared_size) length = static_cast<std::uint32_t>(z.output_limit - z.output_count);
    if (z.to_memory) {
        if (z.output_count + length > z.memory_capacity) {
            length = static_cast<std::uint32_t>(z.memory_capacity - z.output_count);
            set_error(z, ZERR_TOOLARGE);
        }
        if (length) std::memcpy(z.memory_target + z.output_count, data, length);
    } else if (!z.discard_output && length) {
        std::uint32_t written = 0;
        if (!platform::write_file(z.output_handle, data, length, &written)) set_error(z, ZERR_DISKFULL);
    }
    z.output_count += length;
    if (z.progress) z.progress->FileProgress(z.uncompressed_size, z.output_count);
    if (past_declared_size) set_error(z, ZWARN_BAD_DATA);
}
