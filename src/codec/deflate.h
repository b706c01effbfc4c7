// The deflate encoder (ZIP method 8, RFC 1951): compresses one input file
// into the archive being written, finding repeated strings in a 32 KiB
// history with hash chains and handing literals and matches to the block
// emitter (codec/trees.h).
//
// Use in an adding job:
//
//   startDeflateJob(z)                      once, when the job starts
//   per file: deflateFile(z, &compressed)   see its contract below
//   releaseDeflateJob(z)                    once, at the end (release_job
//                                           frees the same on every path)
#pragma once

#include <cstdint>

struct zip;

// Allocates what deflating needs for a whole adding job: the CRC-32 table
// unless the engine has one, the 65,552-byte window (replacing any window
// held; the job may use it as its copy buffer between files), the encoder
// state with its hash heads and chains and flag buffer, and the trees with
// their symbol buffers (startTrees). Returns 0, or 5 (ZERR_MEMORY, also
// stored in error) when an allocation fails.
int startDeflateJob(zip& z);

// Frees the trees, the encoder state and the window.
void releaseDeflateJob(zip& z);

// Compresses one file as the data of the member being written.
//
// The caller has:
//   - called startDeflateJob for the job;
//   - set z.level (1..9 deflate, a level above 9 counts as 9; 0 stores the
//     file as it is);
//   - opened z.input_handle at the start of the file (or pointed
//     z.input_text at the data, with nothing of it read);
//   - positioned z.output_handle just behind the member's local header;
//   - reset the running checksum and the add crc with
//     z.add_crc = updateCrc(z, nullptr, 0) (0, the CRC-32 of an empty file,
//     which stays when nothing is read) and set z.input_bytes_read to 0;
//   - pointed z.current_entry at the member's zentry, or left it null. Its
//     uncompressed_size is the total of the file gauge.
//
// It gets back:
//   - the result: z.error, 0 on success. A failed write leaves the error
//     map_write_error gives (22 for a full disk); a Cancel in the progress
//     dialog (which sets error 8) stops the encoder at its next window refill;
//   - *compressed_size: the bytes written for the member's data;
//   - z.method: 8, or 0 when the file went out stored as it is (level 0, an
//     empty file, or data that deflate would not shrink);
//   - z.add_crc: the CRC-32 of the bytes read; z.input_bytes_read: their count;
//   - in z.current_entry: flags and local_flags gain 4 at level 1 and 2 at
//     level 9; internal_attributes becomes 1 (text) or 0 (binary) as the last
//     block's literals say, 0 at level 0.
//
// During the run z.progress (when set) gets FileProgress(uncompressed size,
// input bytes read) after every refill of the window.
int deflateFile(zip& z, std::uint64_t* compressed_size);

// ---- The steps deflateFile takes ----------------------------------------------

// Clears the hash heads, loads the level's parameters, sets the entry's
// option flags and fills the window. 0, or -1 for an empty input.
int startMatcher(zip& z, std::uint32_t level);
// Slides the window when the current position is in its upper end, then
// reads more input behind the lookahead.
void refillWindow(zip& z);
// Reads up to size bytes of the input file into buffer, folding them into the
// add crc and counting them; 0 at the end of the file or on a read failure.
std::uint32_t readInputFile(zip& z, std::uint8_t* buffer, std::uint32_t size);
// The longest match for the state's current position (strStart) along the
// chain from cur, beating the state's prevLength and never reaching past the
// lookahead; sets matchStart when it finds a longer one.
std::uint32_t findLongestMatch(zip& z, std::uint32_t cur);
// Levels 1 to 3: no lazy evaluation. Returns the member's compressed size.
std::uint64_t deflateFast(zip& z);
// Levels 4 to 9: a match is taken only when the next position has none
// longer. Returns the member's compressed size.
std::uint64_t deflateLazy(zip& z);
