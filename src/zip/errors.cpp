// Texts of the engine's codes and the reporting of errors and warnings.
#include "zip/errors.h"

#include <cstdio>
#include <vector>

#include "platform/platform.h"
#include "zip/progress.h"
#include "zip/zip.h"

const char* error_text(std::int32_t code, std::uint32_t drive_type) {
    switch (code) {
    case ZERR_GENERAL: return "General error";
    case ZERR_EOF: return "Unexpected end of file";
    case ZERR_FORMAT: return "Bad zip structure";
    case ZERR_MEMORY: return "Out of memory";
    case ZERR_LOGIC: return "Logic error";
    case ZERR_COMMENT: return "Invalid comment format";
    case ZERR_CANCEL: return "User canceled";
    case ZERR_TEMP: return "Can't create temp file";
    case ZERR_READ: return "Read or seek error";
    case ZERR_NOTHING: return "Nothing to do";
    case ZERR_WRITE: return "Writing to a file";
    case ZERR_CREATE: return "Can't create file";
    case ZERR_DELETE: return "Can't delete the original file";
    case ZERR_METHOD: return "Unknown compression method";
    case ZERR_OPEN: return "Can't open file";
    case ZERR_COPY: return "Can't open file";
    case ZERR_NOZIP: return "Zipfile not found";
    case ZERR_NOFILES: return "No files found";
    case ZERR_DISKFULL: return "Disk is full";
    case ZERR_NOTFOUND: return "File not found";
    case ZERR_NOPATH: return "Path not found";
    case ZERR_ACCESS: return "Access denied";
    case ZERR_NOEND: return "Bad CE signature";
    case ZERR_CRC: return "Bad CRC";
    case ZERR_ENCRYPTED: return "Can't extract encrypted files";
    case ZERR_DRIVE:
        switch (drive_type) {
        case kDriveTypeRemovable: return "Can't modify files on removable media";
        case kDriveTypeNetwork: return "Can't use a NetWork drive";
        case kDriveTypeCdRom: return "Can't write to a CD Rom drive";
        case kDriveTypeRamDisk: return "Can't use a Ram Disk";
        default: return "Destination disk type is unknown";
        }
    case ZERR_GETVOL: return "Could not get volume info";
    case ZERR_SETVOL: return "Could not set volume info";
    case ZERR_FREESPACE: return "Could not get freespace";
    case ZERR_REMOVEALL: return "Can't remove all files";
    case ZERR_TOOLARGE: return "File to large";
    case ZERR_ARCHIVE_SIZE: return "The archive would pass 4 GB";
    case ZWARN_BAD_DATA:
        return "Bad compressed data";
    case ZWARN_OVERLAP:
        return "Member data overlap other data of the archive";
    default: return "Unspecified error";
    }
}

namespace {

const char* warning_format(std::int32_t code) {
    switch (code) {
    case ZERR_METHOD: return "Unknown method. File %s was skipped";
    case ZERR_OPEN: return "Can't open %s. File was skipped";
    case ZERR_CRC: return "Bad CRC for %s";
    case ZWARN_REDUCED: return "UnShrinking is not supported. File %s was skipped";
    case ZWARN_REPLACE: return "Can't replace original file. New file left as %s";
    case ZWARN_UNSAFE: return "Unsafe path. File %s was skipped";
    case ZWARN_FILE_SIZE: return "File %s is 4 GB or larger and was skipped";
    case ZWARN_BAD_DATA:
        return "Data of %s are damaged or longer than declared";
    case ZWARN_OVERLAP:
        return "Data of %s overlap other data of the archive. File was skipped";
    case ZWARN_MISMATCH:
        return "Local header or data of %s disagree with its central header";
    case ZWARN_DEVICE:
        return "Name %s holds a Windows device name. File was skipped";
    case ZWARN_BAD_NAME:
        return "Name %s has characters Windows cannot store. File was skipped";
    case ZWARN_TOO_LONG:
        return "Path too long. File %s was skipped";
    case ZWARN_NOT_A_FILE:
        return "%s is not a file or folder. It was skipped";
    case ZWARN_DIRECTORY:
        return "The end record of %s does not match its central directory";
    case ZWARN_ENCRYPTED:
        return "Can't extract encrypted files. File %s was skipped";
    case ZWARN_METHOD:
        return "Method %s is not supported. File %s was skipped";
    case ZWARN_VERSION:
        return "File %s needs a newer version of the format and was skipped";
    case ZWARN_ZIP64_EXTRA:
        return "The ZIP64 extra field of %s is damaged. File was skipped";
    case ZWARN_NAME_BYTES:
        return "Name %s is not UTF-8. It was stored as it is and will read as code page 437";
    case ZWARN_OFFSET_DATA:
        return "The offsets of %s do not count the data in front of it. They were adjusted";
    case ZWARN_LINK:
        return "Link %s leads outside the destination or its target is malformed. It was skipped";
    case ZWARN_LINK_NOT_MADE:
        return "%s is a symbolic link, which this system does not restore. It was skipped";
    default: return nullptr;
    }
}

} // namespace

std::string warning_line(std::int32_t code, const char* name, const char* detail) {
    const char* format = warning_format(code);
    std::string line = "Warning: ";
    if (!format) return line + "Unspecified warning";
    // Sized from all texts so that a long name is never cut.
    const char* n = name ? name : "";
    const char* d = detail ? detail : "";
    std::vector<char> buf(std::string(format).size() + std::string(n).size() +
                          std::string(d).size() + 1);
    if (code == ZWARN_METHOD)
        std::snprintf(buf.data(), buf.size(), format, d, n);
    else
        std::snprintf(buf.data(), buf.size(), format, n);
    return line + buf.data();
}

void JobProgress::AddWarningAbout(std::int32_t code, const char* name, const char* detail) {
    AddWarning(warning_line(code, name, detail).c_str());
}

void zip_error(zip& z, std::int32_t code) {
    const char* text = error_text(code, z.drive_type);
    if (z.progress) {
        z.progress->AddLine(text, 1);
    } else {
        platform::message_box(
            {text, "Error", platform::kMbOk | platform::kMbIconExclamation, z.message_owner});
    }
    z.error = code;
}

void zip_warning(zip& z, std::int32_t code, const char* name, const char* detail) {
    z.warnings += 1;
    if (z.progress) {
        z.progress->AddWarningAbout(code, name, detail);
    } else {
        platform::message_box({warning_line(code, name, detail), "Warning",
                               platform::kMbOk | platform::kMbIconExclamation, z.message_owner});
    }
}

std::int32_t map_write_error(zip& z, std::uint32_t system_error) {
    std::int32_t code;
    switch (system_error) {
    case platform::kErrFileNotFound: code = ZERR_NOTFOUND; break;
    case platform::kErrPathNotFound: code = ZERR_NOPATH; break;
    case platform::kErrAccessDenied: code = ZERR_ACCESS; break;
    case platform::kErrDiskFull: code = ZERR_DISKFULL; break;
    default: code = ZERR_WRITE; break;
    }
    set_error(z, code);
    return code;
}
