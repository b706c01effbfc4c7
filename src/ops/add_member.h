// The steps of writing one new member, shared by the plain and the spanned
// add loops.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

struct zip;
struct zlist;
struct zentry;

struct SourceFile {
    platform::ScopedFile handle;
    bool folder = false;
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    platform::DosTime time;        // local
    std::int64_t mtime = 0;        // seconds since 1970-01-01 UTC
    std::uint32_t unix_mode = 0;   // type and permissions where the host has them, else 0
    bool link = false;             // a symbolic link stored as such: its data are link_target
    std::string link_target;
};

// Creates a new file of a name no other job uses in folder and puts its path
// in path; kInvalidFile (path empty) when none can be made there.
platform::FileHandle create_unique_file(const std::string& folder,
                                        char (&path)[platform::kMaxPath]);
// The folder for a job's temporary files: the work folder, or without one
// fallback_folder.
std::string temporary_folder(const zip& z, const std::string& fallback_folder);
// Opens a source; false (with its warning given) when it is to be skipped.
// A symbolic link is followed, or with store_links taken as the link itself.
bool open_source(zip& z, const std::string& path, SourceFile& src, bool store_links);
// The new member's fields before its data is written (method chosen by level).
std::unique_ptr<zentry> new_member(zip& z, const SourceFile& src, const std::string& name, std::uint32_t level);
// Compresses or stores the source to the engine's output handle; fills CRC,
// sizes, method, version and flags. Returns the compressed size.
std::uint64_t compress_member(zip& z, zentry& e, SourceFile& src, std::uint32_t level);
// Appends the member (or drops it after an error) and logs the result.
void finish_member(zip& z, zlist& list, std::unique_ptr<zentry> e, const SourceFile& src, const std::string& path,
                   bool report);
