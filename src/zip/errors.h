// Engine error and warning codes and their two reporting operations.
//
// An error stops the job: every engine step tests the error field first and
// does nothing once it is set, and the job reports it once at its end. A
// warning concerns one file or member; it is counted and reported at once and
// the job goes on.
#pragma once

#include <cstdint>
#include <string>

struct zip;

enum ZipError : std::int32_t {
    ZERR_OK = 0,
    ZERR_GENERAL = 1,
    ZERR_EOF = 3,
    ZERR_FORMAT = 4,
    ZERR_MEMORY = 5,
    ZERR_LOGIC = 6,
    ZERR_COMMENT = 7,
    ZERR_CANCEL = 8,
    ZERR_TEMP = 9,
    ZERR_READ = 10,
    ZERR_NOTHING = 11,
    ZERR_WRITE = 13,
    ZERR_CREATE = 14,
    ZERR_DELETE = 15,
    ZERR_METHOD = 16,
    ZERR_OPEN = 17,
    ZERR_COPY = 18,
    ZERR_NOZIP = 20,
    ZERR_NOFILES = 21,
    ZERR_DISKFULL = 22,
    ZERR_NOTFOUND = 23,
    ZERR_NOPATH = 24,
    ZERR_ACCESS = 26,
    ZERR_NOEND = 27,
    ZERR_CRC = 28,
    ZERR_ENCRYPTED = 29,
    ZERR_DRIVE = 30,
    ZERR_GETVOL = 32,
    ZERR_SETVOL = 33,
    ZERR_FREESPACE = 34,
    ZERR_REMOVEALL = 35,
    ZWARN_REDUCED = 36,
    ZWARN_REPLACE = 37,
    ZERR_TOOLARGE = 38,
    ZWARN_UNSAFE = 39,      // a member's name would lead outside the destination
    ZERR_ARCHIVE_SIZE = 40, // the archive would pass the 4 GB its offsets can address
    ZWARN_FILE_SIZE = 41,   // a source file of 4 GB or more cannot be a member
    ZWARN_BAD_DATA = 42,    // a member's data cannot be decoded or passes its declared size
    ZWARN_OVERLAP = 43,     // a member's data overlaps another member or the central directory
    ZWARN_MISMATCH = 44, // a member's local header or stored data disagrees with its central header
    ZWARN_DEVICE = 45,   // a member's name is a Windows device name
    ZWARN_BAD_NAME = 46, // a member's name holds characters Windows cannot store
    ZWARN_TOO_LONG = 47, // a member's target path would pass 260 bytes
    ZWARN_NOT_A_FILE = 48,  // a source is neither a regular file nor a folder
    ZWARN_DIRECTORY = 49,   // the end record's count or size disagrees with the directory read
    ZWARN_ENCRYPTED = 50,   // a member is encrypted
    ZWARN_METHOD = 51,      // a member's method is not decoded; the detail names the method
    ZWARN_VERSION = 52,     // a member needs a newer version of the format than the engine reads
    ZWARN_ZIP64_EXTRA = 53, // a member's ZIP64 extra field is shorter than the fields it must hold
    ZWARN_OFFSET_DATA = 54, // the archive's offsets do not count data in front of it; adjusted
    ZWARN_NAME_BYTES = 55, // a file name is not UTF-8; its bytes are stored without the UTF-8 flag
    ZWARN_LINK = 56, // a link member's target is absolute, leads outside the destination or is malformed
    ZWARN_LINK_NOT_MADE = 57, // this system does not restore symbolic links
};

// The text zip_error shows for code; code 30 depends on the drive type.
const char* error_text(std::int32_t code, std::uint32_t drive_type);
// The line zip_warning reports, "Warning: " included. Codes whose text has
// a second blank (51) take detail there, before the name.
std::string warning_line(std::int32_t code, const char* name, const char* detail = nullptr);

// Reports code (progress dialog problem list, else a message box captioned
// "Error") and stores it in the error field.
void zip_error(zip& z, std::int32_t code);
// Counts a warning and reports it (progress dialog, else a message box
// captioned "Warning"). The error field is not touched.
void zip_warning(zip& z, std::int32_t code, const char* name, const char* detail = nullptr);
// The engine error a failed write leaves, from the system's error code: it is
// stored in the error field (unless one is there already) and returned.
std::int32_t map_write_error(zip& z, std::uint32_t system_error);
