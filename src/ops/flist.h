// The file list of an add job: the source paths in the order they were
// chosen, with the add options, and the deletion of the sources after a
// clean job.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class JobUi;
class wlist;

enum : std::uint16_t {
    kFentryNone = 0,
    kFentrySkip = 1, // the add job leaves this file out
    kFentryDelete = 2,
    kFentryKeep = 4,
};

struct fentry {
    std::string path; // a path ending in a backslash is a folder to store empty
    std::uint16_t flag = kFentryNone;
    bool is_folder() const { return !path.empty() && path.back() == '\\'; }
};

struct flist {
    std::vector<fentry> entries;
    std::vector<fentry*> sorted;
    int prefix_length = 0; // of the source folder, after its drive root
    int recurse = 0;
    int full_paths = 0;
    int empty_folders = 0;
    int action = 2;
    int level = 5;
    int spanning = 0;
    int delete_sources = 0;
    int store_links = 0; // a symbolic link is stored as a link, not as what it leads to

    std::uint32_t count() const { return static_cast<std::uint32_t>(entries.size()); }
    // 0, or 1 when memory runs out.
    int append(const std::string& path);
    // Descending order of the paths, case ignored (deepest paths first).
    int sort();
    void set_flags(std::uint16_t value);
    void remove_flagged(std::uint16_t value);
    // Source folder's text length minus its drive root.
    void set_source_folder(const std::string& folder);
};

// Appends the files of folder matching an include filter and no exclude
// filter (recursing and storing empty folders as the list says). False when
// an append failed.
bool collectFiles(flist& list, const std::string& folder, const wlist& include, const wlist& exclude);
// The same with one name pattern (every file of a disk before it is erased).
bool collectFiles(flist& list, const std::string& folder, const char* pattern);

// Deletes the listed source files (asking before a read-only one goes), then
// removes the folders they leave empty below the list's source folder. ui answers the read-only questions;
// without one read-only files are kept.
void deleteSourceFiles(flist& list, JobUi* ui);
