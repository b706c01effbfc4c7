// Writing archives: create, add, freshen, update and remove. An existing
// archive is never changed in place: the job writes a complete new archive
// into a temporary file, copying the members it keeps byte for byte and
// compressing the new ones, and only then puts it in the old one's place.
#pragma once

#include <cstdint>

struct zip;
struct zlist;

// Runs the job of action (1 create, 2 add, 4 freshen, 8 update, 16 remove)
// over z.file_list (create, add, freshen, update) or the catalog's marks
// (remove). The file list is destroyed at the end; its sources are deleted
// only after a job without error or warning when it asks for that.
int zip_operation(zip& z, zlist& list, void* owner_window, const char* archive_path, std::uint32_t action,
                  std::uint32_t level, std::uint32_t span_options);

// Replaces the member member_name by the file file_path, silently. Returns
// error plus warnings.
int freshen_member(zip& z, zlist& list, const char* archive_path, const char* member_name, const char* file_path,
                   std::uint32_t level);

// The stored name of a source path for a list with this prefix length and
// full-paths choice; empty when nothing is left.
#include <string>
std::string stored_name(const std::string& path, int prefix_length, int full_paths);
