// The platform layer on a POSIX host. DOS paths are mapped through a drive
// table as Wine does: Z: is the host root, further letters can be mounted
// onto folders with a drive type, volume label, serial and capacity, so that
// removable disks, disk sets and full disks can be tested without hardware.
// Windows behaviour the engine relies on is kept: names are matched without
// regard to case, read-only files cannot be opened for writing or deleted,
// and a drive with a capacity refuses writes beyond it with "disk full".
#include "platform/platform.h"

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <map>
#include <algorithm>
#include <memory>
#include <mutex>
#include <new>
#include <strings.h>
#include <unordered_map>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/openat2.h>
#include <sys/syscall.h>
#endif

namespace platform {

namespace {

thread_local std::uint32_t t_last_error = 0;

std::uint32_t error_from_errno(int e) {
    switch (e) {
    case ENOENT:
        return kErrFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
        return kErrPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return kErrAccessDenied;
    case ENOSPC:
    case EDQUOT:
        return kErrDiskFull;
    case EEXIST:
        return 80; // ERROR_FILE_EXISTS
    case ENOTEMPTY:
        return 145; // ERROR_DIR_NOT_EMPTY
    default:
        return 31; // ERROR_GEN_FAILURE
    }
}

void fail_errno() { t_last_error = error_from_errno(errno); }

struct Drive {
    bool mounted = false;
    DriveMount mount;
};

std::mutex g_drive_mutex;
Drive g_drives[26];
bool g_drives_ready = false;
std::map<int, int> g_handle_drive; // fd -> drive index, for capacity checks

void init_drives_locked() {
    if (g_drives_ready) return;
    g_drives_ready = true;
    Drive& z = g_drives['Z' - 'A'];
    z.mounted = true;
    z.mount.host_folder = "/";
    z.mount.type = kDriveFixed;
    z.mount.serial = 0x5A5A0001u;
}

int drive_index(char letter) {
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z') return -1;
    return letter - 'A';
}

bool is_drive_path(const char* path) {
    return path && drive_index(path[0]) >= 0 && path[1] == ':';
}

// Finds an entry of dir whose name equals name without regard to case.
bool find_case_insensitive(const std::string& dir, const std::string& name, std::string* found) {
    DIR* d = opendir(dir.empty() ? "/" : dir.c_str());
    if (!d) return false;
    bool ok = false;
    while (dirent* e = readdir(d)) {
        if (strcasecmp(e->d_name, name.c_str()) == 0) {
            *found = e->d_name;
            ok = true;
            break;
        }
    }
    closedir(d);
    return ok;
}

// ---- The job's folder names ------------------------------------------------
//
// Without it every name that is not there in the case asked for costs a
// read of its whole folder, so filling one folder is quadratic. Kinds are
// kept so that a walk looking for links need not ask again.

enum class Kind : unsigned char { Unknown, Folder, Link, Other };

struct FolderNames {
    // complete: every name the folder held when read, with this thread's own
    // changes since; otherwise only names found to exist one at a time.
    bool complete = false;
    std::unordered_map<std::string, Kind> names;
    std::unordered_map<std::string, std::string> folded; // first in read order
};

struct NameCache {
    int depth = 0;
    std::unordered_map<std::string, FolderNames> folders; // by host path
};

thread_local NameCache t_names;

std::string folded_name(const std::string& name) {
    std::string f = name;
    for (char& c : f)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return f;
}

std::string folder_key(const std::string& dir) { return dir.empty() ? "/" : dir; }

Kind kind_of_mode(mode_t mode) {
    return S_ISDIR(mode) ? Kind::Folder : S_ISLNK(mode) ? Kind::Link : Kind::Other;
}

void add_name(FolderNames& f, const std::string& name, Kind kind) {
    f.names[name] = kind;
    f.folded.emplace(folded_name(name), name);
}

FolderNames* cached_folder(const std::string& dir) {
    if (t_names.depth == 0) return nullptr;
    auto it = t_names.folders.find(folder_key(dir));
    return it == t_names.folders.end() ? nullptr : &it->second;
}

// Reads the whole folder once; null when it cannot be read.
FolderNames* list_folder(const std::string& dir) {
    DIR* d = opendir(dir.empty() ? "/" : dir.c_str());
    if (!d) return nullptr;
    FolderNames listed;
    listed.complete = true;
    while (dirent* e = readdir(d)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
        Kind k = e->d_type == DT_DIR   ? Kind::Folder
                 : e->d_type == DT_LNK ? Kind::Link
                 : e->d_type == DT_UNKNOWN ? Kind::Unknown
                                           : Kind::Other;
        add_name(listed, e->d_name, k);
    }
    closedir(d);
    FolderNames& f = t_names.folders[folder_key(dir)];
    f = std::move(listed);
    return &f;
}

void split_host_path(const std::string& hp, std::string* dir, std::string* name) {
    std::size_t cut = hp.find_last_of('/');
    if (cut == std::string::npos) {
        dir->clear();
        *name = hp;
        return;
    }
    *dir = hp.substr(0, cut);
    *name = hp.substr(cut + 1);
}

// Whether the job's complete listing of the parent lacks the name.
bool known_missing(const std::string& hp) {
    if (t_names.depth == 0) return false;
    std::string dir, name;
    split_host_path(hp, &dir, &name);
    if (name.empty()) return false; // the host root
    const FolderNames* f = cached_folder(dir);
    return f && f->complete && !f->names.count(name);
}

// Forgets a folder's names and those of every folder below it.
void forget_below(const std::string& hp) {
    if (t_names.depth == 0) return;
    const std::string prefix = hp + "/";
    for (auto it = t_names.folders.begin(); it != t_names.folders.end();) {
        if (it->first == hp || it->first.compare(0, prefix.size(), prefix) == 0)
            it = t_names.folders.erase(it);
        else
            ++it;
    }
}

void note_created(const std::string& hp, Kind kind) {
    if (t_names.depth == 0) return;
    std::string dir, name;
    split_host_path(hp, &dir, &name);
    if (name.empty()) return;
    if (FolderNames* f = cached_folder(dir)) add_name(*f, name, kind);
    if (kind == Kind::Folder) {
        // Just made, so empty: nothing below it needs a look.
        FolderNames& made = t_names.folders[folder_key(hp)];
        made = FolderNames();
        made.complete = true;
    }
}

void note_removed(const std::string& hp) {
    if (t_names.depth == 0) return;
    forget_below(hp);
    std::string dir, name;
    split_host_path(hp, &dir, &name);
    FolderNames* f = cached_folder(dir);
    if (!f || !f->names.erase(name)) return;
    const std::string key = folded_name(name);
    auto g = f->folded.find(key);
    if (g == f->folded.end() || g->second != name) return;
    f->folded.erase(g);
    // Another name of the same letters may remain; which one came first in
    // the folder's order is no longer known, so any will do.
    for (const auto& other : f->names)
        if (folded_name(other.first) == key) {
            f->folded.emplace(key, other.first);
            break;
        }
}

// Joins the components below a host root, taking an existing entry whose
// name differs only in case where there is one (as a Windows file system would).
std::string resolve_below(const std::string& root, const std::string& rest) {
    std::string out = root;
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    std::size_t i = 0;
    while (i <= rest.size()) {
        std::size_t j = rest.find('/', i);
        if (j == std::string::npos) j = rest.size();
        std::string part = rest.substr(i, j - i);
        i = j + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            std::size_t cut = out.find_last_of('/');
            if (cut != std::string::npos && out.size() > root.size()) out.erase(cut);
            if (out.empty()) out = "/";
            continue;
        }
        std::string base = out == "/" ? std::string() : out;
        std::string candidate = base + "/" + part;
        if (t_names.depth > 0) {
            FolderNames* f = cached_folder(base);
            if (f && f->names.count(part)) {
                out = candidate;
                continue;
            }
            if (f && f->complete) {
                auto g = f->folded.find(folded_name(part));
                out = g == f->folded.end() ? candidate : base + "/" + g->second;
                continue;
            }
            // A name there as asked is remembered alone: reading a large
            // folder (/usr, say) for it would cost more than it saves.
            struct stat st;
            if (lstat(candidate.c_str(), &st) == 0) {
                add_name(t_names.folders[folder_key(base)], part, kind_of_mode(st.st_mode));
                out = candidate;
                continue;
            }
            f = list_folder(base);
            if (f) {
                auto g = f->folded.find(folded_name(part));
                if (g != f->folded.end()) candidate = base + "/" + g->second;
            }
            out = candidate;
            continue;
        }
        struct stat st;
        if (lstat(candidate.c_str(), &st) != 0) {
            std::string found;
            if (find_case_insensitive(base, part, &found)) candidate = base + "/" + found;
        }
        out = candidate;
    }
    return out.empty() ? "/" : out;
}

// DOS path -> host path and drive index (-1 for a path without a drive).
// Returns false when the drive is not mounted.
bool host_path(const char* path, std::string* out, int* drive = nullptr) {
    std::string p = path ? path : "";
    for (char& c : p)
        if (c == '\\') c = '/';
    if (is_drive_path(path)) {
        int idx = drive_index(path[0]);
        std::string root;
        {
            std::lock_guard<std::mutex> lock(g_drive_mutex);
            init_drives_locked();
            if (!g_drives[idx].mounted) return false;
            root = g_drives[idx].mount.host_folder;
        }
        if (drive) *drive = idx;
        *out = resolve_below(root, p.substr(2));
        return true;
    }
    if (drive) *drive = -1;
    *out = p;
    return true;
}

std::uint64_t bytes_below(const std::string& folder) {
    std::uint64_t total = 0;
    DIR* d = opendir(folder.c_str());
    if (!d) return 0;
    while (dirent* e = readdir(d)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
        std::string p = folder + "/" + e->d_name;
        struct stat st;
        if (lstat(p.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode))
            total += bytes_below(p);
        else if (S_ISREG(st.st_mode))
            total += static_cast<std::uint64_t>(st.st_size);
    }
    closedir(d);
    return total;
}

bool read_only_mode(mode_t mode) { return (mode & S_IWUSR) == 0; }

FileHandle open_mapped(const char* path, int flags, bool refuse_read_only) {
    std::string hp;
    int drive = -1;
    if (!host_path(path, &hp, &drive)) {
        t_last_error = kErrPathNotFound;
        return kInvalidFile;
    }
    struct stat st;
    if (stat(hp.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            t_last_error = kErrAccessDenied;
            return kInvalidFile;
        }
        if (refuse_read_only && read_only_mode(st.st_mode)) {
            t_last_error = kErrAccessDenied;
            return kInvalidFile;
        }
    }
    int fd = ::open(hp.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        fail_errno();
        if (errno == ENOENT) {
            // Windows tells a missing folder from a missing file.
            std::string dir = hp.substr(0, hp.find_last_of('/'));
            struct stat ds;
            if (!dir.empty() && stat(dir.c_str(), &ds) != 0) t_last_error = kErrPathNotFound;
        }
        return kInvalidFile;
    }
    if (flags & O_CREAT) note_created(hp, Kind::Other);
    if (drive >= 0) {
        std::lock_guard<std::mutex> lock(g_drive_mutex);
        g_handle_drive[fd] = drive;
    }
    return fd;
}

bool wildcard_match(const char* pat, const char* name) {
    // "*.*" means every name in DOS, also one without a dot.
    if (std::strcmp(pat, "*.*") == 0 || std::strcmp(pat, "*") == 0) return true;
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        char pc = static_cast<char>(std::tolower(static_cast<unsigned char>(*pat)));
        char nc = static_cast<char>(std::tolower(static_cast<unsigned char>(*name)));
        if (*pat == '*') {
            star = pat++;
            resume = name;
        } else if (*pat == '?' || (*pat && pc == nc)) {
            ++pat;
            ++name;
        } else if (star) {
            pat = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pat == '*') ++pat;
    return *pat == '\0';
}

std::uint32_t attributes_from_stat(const struct stat& st) {
    std::uint32_t a = 0;
    if (S_ISDIR(st.st_mode))
        a |= kAttrDirectory;
    else
        a |= kAttrArchive;
    if (read_only_mode(st.st_mode)) a |= kAttrReadOnly;
    return a;
}

// The host folder of folder and the host names of the parts of path below
// it; false when path does not lie below folder.
bool parts_below(const char* folder, const char* path, std::string* host_folder,
                 std::vector<std::string>* parts, int* drive) {
    std::string hf, hp;
    if (!host_path(folder, &hf) || !host_path(path, &hp, drive)) return false;
    while (hf.size() > 1 && hf.back() == '/')
        hf.pop_back();
    std::string prefix = hf == "/" ? hf : hf + "/";
    if (hp.compare(0, prefix.size(), prefix) != 0) return false;
    parts->clear();
    std::size_t i = prefix.size();
    while (i <= hp.size()) {
        std::size_t j = hp.find('/', i);
        if (j == std::string::npos) j = hp.size();
        if (j > i) parts->push_back(hp.substr(i, j - i));
        i = j + 1;
    }
    *host_folder = hf;
    return !parts->empty();
}

// Opens the folder that holds the last of parts, walking down from
// host_folder without following a link on the way.
int open_parent_no_links(const std::string& host_folder, const std::vector<std::string>& parts) {
    int dir = ::open(host_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (std::size_t k = 0; dir >= 0 && k + 1 < parts.size(); ++k) {
        int next = openat(dir, parts[k].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        int saved = errno;
        ::close(dir);
        errno = saved;
        dir = next;
    }
    return dir;
}

// Creates a new file below host_folder in one call that refuses a link or a
// non-folder anywhere below it, as the walk of open_parent_no_links does.
// -1 with errno when it fails; -2 when the host cannot do it that way.
int create_new_beneath(const std::string& host_folder, const std::vector<std::string>& parts) {
#if defined(__linux__) && defined(SYS_openat2)
    int root = ::open(host_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) return -1;
    std::string below;
    for (const std::string& part : parts) below += (below.empty() ? "" : "/") + part;
    struct open_how how {};
    how.flags = O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC;
    how.mode = 0644;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
    long fd = syscall(SYS_openat2, root, below.c_str(), &how, sizeof how);
    int saved = errno;
    ::close(root);
    errno = saved;
    if (fd >= 0) return static_cast<int>(fd);
    return errno == ENOSYS || errno == EPERM || errno == EINVAL || errno == E2BIG ? -2 : -1;
#else
    (void)host_folder;
    (void)parts;
    return -2;
#endif
}

} // namespace

std::uint32_t last_error() { return t_last_error; }

FileHandle open_read(const char* path) { return open_mapped(path, O_RDONLY, false); }
FileHandle open_write(const char* path) { return open_mapped(path, O_RDWR, true); }
FileHandle create_file(const char* path) {
    return open_mapped(path, O_RDWR | O_CREAT | O_TRUNC, true);
}

FileHandle open_read_regular(const char* path, bool* not_a_file) {
    *not_a_file = false;
    std::string hp;
    struct stat st;
    // Decided before opening: opening a FIFO waits for a writer, opening a
    // device may act on it.
    if (host_path(path, &hp) && stat(hp.c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
        !S_ISDIR(st.st_mode)) {
        *not_a_file = true;
        t_last_error = kErrAccessDenied;
        return kInvalidFile;
    }
    FileHandle h = open_mapped(path, O_RDONLY | O_NONBLOCK | O_NOCTTY, false);
    if (h == kInvalidFile) return h;
    int fd = static_cast<int>(h);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *not_a_file = true;
        close_file(h);
        t_last_error = kErrAccessDenied;
        return kInvalidFile;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return h;
}

bool link_between(const char* folder, const char* path) {
    std::string hf;
    std::vector<std::string> parts;
    int drive = -1;
    if (!parts_below(folder, path, &hf, &parts, &drive)) return false;
    std::string at = hf == "/" ? std::string() : hf;
    // A path ending with a backslash is a folder: its last part counts too.
    std::size_t n = std::strlen(path);
    std::size_t folders = n > 0 && path[n - 1] == '\\' ? parts.size() : parts.size() - 1;
    for (std::size_t k = 0; k < folders; ++k) {
        const FolderNames* listed = cached_folder(at);
        at += "/" + parts[k];
        if (listed) {
            auto known = listed->names.find(parts[k]);
            if (known == listed->names.end() && listed->complete) return false;
            if (known != listed->names.end() && known->second == Kind::Folder) continue;
            if (known != listed->names.end() && known->second == Kind::Link) return true;
        }
        struct stat st;
        if (lstat(at.c_str(), &st) != 0) return false; // what is missing is made as a folder
        if (S_ISLNK(st.st_mode)) return true;
    }
    return false;
}

FileHandle create_file_below(const char* folder, const char* path) {
    std::string hf;
    std::vector<std::string> parts;
    int drive = -1;
    if (!parts_below(folder, path, &hf, &parts, &drive)) {
        t_last_error = kErrPathNotFound;
        return kInvalidFile;
    }
    std::string hp = (hf == "/" ? std::string() : hf);
    for (const std::string& part : parts) hp += "/" + part;
    // A name the job's listing lacks was answered as missing without a
    // look, so whatever stands there now came behind the job's back: it is
    // never replaced, and the folder is read afresh next time.
    const bool missing = known_missing(hp);
    int fd = missing ? create_new_beneath(hf, parts) : -2;
    if (fd == -1) {
        fail_errno();
        if (errno == ELOOP || errno == ENOTDIR) t_last_error = kErrAccessDenied;
        if (errno == EEXIST) forget_below(hp.substr(0, hp.find_last_of('/')));
        return kInvalidFile;
    }
    if (fd >= 0) {
        note_created(hp, Kind::Other);
        if (drive >= 0) {
            std::lock_guard<std::mutex> lock(g_drive_mutex);
            g_handle_drive[fd] = drive;
        }
        return fd;
    }
    fd = -1;
    int dir = open_parent_no_links(hf, parts);
    if (dir < 0) {
        fail_errno();
        if (errno == ELOOP || errno == ENOTDIR) t_last_error = kErrAccessDenied;
        return kInvalidFile;
    }
    const char* name = parts.back().c_str();
    // Another process may put a link back between the removal and the
    // creation: O_EXCL then fails, and the removal is tried again.
    for (int tries = 0; fd < 0 && tries < 8; ++tries) {
        struct stat st;
        if (missing && tries > 0) {
            forget_below(hp.substr(0, hp.find_last_of('/')));
            break;
        }
        if (!missing && fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && read_only_mode(st.st_mode))) {
                t_last_error = kErrAccessDenied;
                break;
            }
            if (unlinkat(dir, name, 0) != 0 && errno != ENOENT) {
                fail_errno();
                break;
            }
        }
        fd = openat(dir, name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) {
            fail_errno();
            break;
        }
        if (fd < 0) t_last_error = 80; // ERROR_FILE_EXISTS, should the tries run out
    }
    ::close(dir);
    if (fd < 0) return kInvalidFile;
    note_created(hp, Kind::Other);
    if (drive >= 0) {
        std::lock_guard<std::mutex> lock(g_drive_mutex);
        g_handle_drive[fd] = drive;
    }
    return fd;
}

void close_file(FileHandle h) {
    if (h == kInvalidFile) return;
    {
        std::lock_guard<std::mutex> lock(g_drive_mutex);
        g_handle_drive.erase(static_cast<int>(h));
    }
    ::close(static_cast<int>(h));
}

bool read_file(FileHandle h, void* buf, std::uint32_t n, std::uint32_t* got) {
    *got = 0;
    auto* p = static_cast<char*>(buf);
    while (*got < n) {
        ssize_t r = ::read(static_cast<int>(h), p + *got, n - *got);
        if (r < 0) {
            if (errno == EINTR) continue;
            fail_errno();
            return false;
        }
        if (r == 0) break;
        *got += static_cast<std::uint32_t>(r);
    }
    return true;
}

bool write_file(FileHandle h, const void* buf, std::uint32_t n, std::uint32_t* written) {
    *written = 0;
    int fd = static_cast<int>(h);
    std::uint32_t allowed = n;
    {
        std::lock_guard<std::mutex> lock(g_drive_mutex);
        auto it = g_handle_drive.find(fd);
        if (it != g_handle_drive.end()) {
            const DriveMount& m = g_drives[it->second].mount;
            if (m.capacity) {
                struct stat st;
                off_t pos = lseek(fd, 0, SEEK_CUR);
                if (fstat(fd, &st) == 0 && pos >= 0) {
                    std::uint64_t used = bytes_below(m.host_folder);
                    std::uint64_t end = static_cast<std::uint64_t>(pos) + n;
                    std::uint64_t growth =
                        end > static_cast<std::uint64_t>(st.st_size) ? end - st.st_size : 0;
                    if (used + growth > m.capacity) {
                        std::uint64_t room = used >= m.capacity ? 0 : m.capacity - used;
                        std::uint64_t overlap =
                            static_cast<std::uint64_t>(st.st_size) > static_cast<std::uint64_t>(pos)
                                ? st.st_size - pos
                                : 0;
                        std::uint64_t can = overlap + room;
                        allowed = static_cast<std::uint32_t>(can < n ? can : n);
                    }
                }
            }
        }
    }
    const char* p = static_cast<const char*>(buf);
    while (*written < allowed) {
        ssize_t r = ::write(fd, p + *written, allowed - *written);
        if (r < 0) {
            if (errno == EINTR) continue;
            fail_errno();
            return false;
        }
        *written += static_cast<std::uint32_t>(r);
    }
    if (*written < n) {
        t_last_error = kErrDiskFull;
        return false;
    }
    return true;
}

bool seek_file(FileHandle h, std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
        t_last_error = 131; // a negative seek
        return false;
    }
    if (lseek(static_cast<int>(h), static_cast<off_t>(offset), SEEK_SET) < 0) {
        fail_errno();
        return false;
    }
    return true;
}

bool tell_file(FileHandle h, std::uint64_t* offset) {
    off_t p = lseek(static_cast<int>(h), 0, SEEK_CUR);
    if (p < 0) {
        fail_errno();
        return false;
    }
    *offset = static_cast<std::uint64_t>(p);
    return true;
}

bool file_size(FileHandle h, std::uint32_t* size) {
    struct stat st;
    if (fstat(static_cast<int>(h), &st) != 0) {
        fail_errno();
        return false;
    }
    if (st.st_size > 0xFFFFFFFFLL) {
        t_last_error = 31;
        return false;
    }
    *size = static_cast<std::uint32_t>(st.st_size);
    return true;
}

bool file_size64(FileHandle h, std::uint64_t* size) {
    struct stat st;
    if (fstat(static_cast<int>(h), &st) != 0) {
        fail_errno();
        return false;
    }
    *size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool truncate_file(FileHandle h) {
    off_t p = lseek(static_cast<int>(h), 0, SEEK_CUR);
    if (p < 0 || ftruncate(static_cast<int>(h), p) != 0) {
        fail_errno();
        return false;
    }
    return true;
}

std::int64_t zone_offset_at(std::int64_t utc) {
    std::time_t secs = static_cast<std::time_t>(utc);
    std::tm tm{};
    if (!localtime_r(&secs, &tm)) return 0;
    return tm.tm_gmtoff;
}

bool get_file_unix_time(FileHandle h, std::int64_t* seconds) {
    struct stat st;
    if (fstat(static_cast<int>(h), &st) != 0) {
        fail_errno();
        return false;
    }
    *seconds = static_cast<std::int64_t>(st.st_mtime);
    return true;
}

bool set_file_unix_time(FileHandle h, std::int64_t seconds) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(seconds);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    if (futimens(static_cast<int>(h), times) != 0) {
        fail_errno();
        return false;
    }
    return true;
}

bool get_file_time(FileHandle h, DosTime* t) {
    std::int64_t seconds = 0;
    if (!get_file_unix_time(h, &seconds)) return false;
    *t = local_dos_time_from_unix(seconds);
    return true;
}

bool set_file_time(FileHandle h, DosTime t) {
    return set_file_unix_time(h, unix_from_local_dos_time(t));
}

bool get_path_unix_time(const char* path, std::int64_t* seconds) {
    std::string hp;
    struct stat st;
    if (!host_path(path, &hp) || stat(hp.c_str(), &st) != 0) {
        t_last_error = kErrFileNotFound;
        return false;
    }
    *seconds = static_cast<std::int64_t>(st.st_mtime);
    return true;
}

bool set_folder_unix_time(const char* path, std::int64_t seconds) {
    std::string hp;
    struct stat st;
    if (!host_path(path, &hp) || lstat(hp.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        t_last_error = kErrFileNotFound;
        return false;
    }
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(seconds);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    if (utimensat(AT_FDCWD, hp.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        fail_errno();
        return false;
    }
    return true;
}

std::uint32_t get_attributes(const char* path) {
    std::string hp;
    struct stat st;
    if (!host_path(path, &hp) || known_missing(hp) || stat(hp.c_str(), &st) != 0) {
        t_last_error = kErrFileNotFound;
        return kInvalidAttributes;
    }
    return attributes_from_stat(st);
}

bool set_attributes(const char* path, std::uint32_t attributes) {
    std::string hp;
    struct stat st;
    if (!host_path(path, &hp) || known_missing(hp) || lstat(hp.c_str(), &st) != 0) {
        t_last_error = kErrFileNotFound;
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        t_last_error = kErrAccessDenied;
        return false;
    }
    // Through a descriptor opened without following a link, so a link put
    // in place after the check above is not followed either. A FIFO or
    // device is changed by name: opening it could block or act on it.
    int fd = -1;
    if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) {
        fd = ::open(hp.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0 && errno == ELOOP) {
            t_last_error = kErrAccessDenied;
            return false;
        }
        if (fd >= 0 && fstat(fd, &st) != 0) {
            fail_errno();
            ::close(fd);
            return false;
        }
    }
    mode_t mode = st.st_mode & 07777;
    if (attributes & kAttrReadOnly)
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    int r = fd >= 0 ? fchmod(fd, mode) : chmod(hp.c_str(), mode);
    if (r != 0) fail_errno();
    if (fd >= 0) ::close(fd);
    return r == 0;
}

bool delete_file(const char* path) {
    std::string hp;
    struct stat st;
    if (!host_path(path, &hp) || lstat(hp.c_str(), &st) != 0) {
        t_last_error = kErrFileNotFound;
        return false;
    }
    if (S_ISDIR(st.st_mode) || read_only_mode(st.st_mode)) {
        t_last_error = kErrAccessDenied;
        return false;
    }
    if (unlink(hp.c_str()) != 0) {
        fail_errno();
        return false;
    }
    note_removed(hp);
    return true;
}

bool move_file(const char* from, const char* to) {
    std::string a, b;
    if (!host_path(from, &a) || !host_path(to, &b)) {
        t_last_error = kErrPathNotFound;
        return false;
    }
    struct stat st;
    if (lstat(b.c_str(), &st) == 0) {
        t_last_error = 183; // ERROR_ALREADY_EXISTS
        return false;
    }
    if (rename(a.c_str(), b.c_str()) == 0) {
        note_removed(a);
        note_created(b, Kind::Unknown);
        return true;
    }
    if (errno != EXDEV) {
        fail_errno();
        return false;
    }
    // Across drives (different host file systems) a move is a copy and a delete.
    if (!copy_file(from, to, true)) return false;
    if (unlink(a.c_str()) != 0) return false;
    note_removed(a);
    return true;
}

bool replace_file(const char* from, const char* to) {
    std::string a, b;
    if (!host_path(from, &a) || !host_path(to, &b)) {
        t_last_error = kErrPathNotFound;
        return false;
    }
    struct stat st;
    if (lstat(b.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || read_only_mode(st.st_mode))) {
        t_last_error = kErrAccessDenied; // as Windows refuses to replace a read-only file
        return false;
    }
    if (rename(a.c_str(), b.c_str()) != 0) {
        fail_errno();
        return false;
    }
    note_removed(a);
    note_removed(b);
    note_created(b, Kind::Unknown);
    return true;
}

bool copy_file(const char* from, const char* to, bool fail_if_exists) {
    std::string b;
    if (fail_if_exists && host_path(to, &b)) {
        struct stat st;
        if (lstat(b.c_str(), &st) == 0) {
            t_last_error = 80;
            return false;
        }
    }
    ScopedFile in(open_read(from));
    if (!in.valid()) return false;
    ScopedFile out(fail_if_exists ? create_new_file(to) : create_file(to));
    if (!out.valid()) return false;
    std::vector<char> buf(65536);
    for (;;) {
        std::uint32_t got = 0, put = 0;
        if (!read_file(in.get(), buf.data(), static_cast<std::uint32_t>(buf.size()), &got))
            return false;
        if (got == 0) break;
        if (!write_file(out.get(), buf.data(), got, &put)) return false;
    }
    DosTime t;
    if (get_file_time(in.get(), &t)) set_file_time(out.get(), t);
    return true;
}

bool create_directory(const char* path) {
    std::string hp;
    if (!host_path(path, &hp)) {
        t_last_error = kErrPathNotFound;
        return false;
    }
    if (mkdir(hp.c_str(), 0755) != 0) {
        fail_errno();
        if (errno == EEXIST) t_last_error = 183;
        return false;
    }
    note_created(hp, Kind::Folder);
    return true;
}

bool remove_directory(const char* path) {
    std::string hp;
    if (!host_path(path, &hp) || rmdir(hp.c_str()) != 0) {
        fail_errno();
        return false;
    }
    note_removed(hp);
    return true;
}

NameCacheScope::NameCacheScope() { ++t_names.depth; }

NameCacheScope::~NameCacheScope() {
    if (--t_names.depth == 0) t_names.folders.clear();
}

bool find_files(const char* pattern, std::vector<FindData>* out, bool dangling_links) {
    out->clear();
    std::string p = pattern ? pattern : "";
    std::size_t cut = p.find_last_of("\\/");
    std::string folder = cut == std::string::npos ? std::string(".") : p.substr(0, cut + 1);
    std::string mask = cut == std::string::npos ? p : p.substr(cut + 1);
    if (folder.size() == 2 && folder[1] == ':') folder += "\\";
    std::string hp;
    if (!host_path(folder.c_str(), &hp)) {
        t_last_error = kErrPathNotFound;
        return false;
    }
    DIR* d = opendir(hp.c_str());
    if (!d) {
        fail_errno();
        return false;
    }
    while (dirent* e = readdir(d)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
        if (!wildcard_match(mask.c_str(), e->d_name)) continue;
        std::string full = (hp == "/" ? std::string() : hp) + "/" + e->d_name;
        struct stat st;
        const bool link = lstat(full.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
        if (stat(full.c_str(), &st) != 0 &&
            !(link && dangling_links && lstat(full.c_str(), &st) == 0))
            continue;
        FindData fd;
        fd.name = e->d_name;
        fd.link = link;
        fd.attributes = attributes_from_stat(st);
        fd.size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint32_t>(st.st_size);
        fd.time = local_dos_time_from_unix(static_cast<std::int64_t>(st.st_mtime));
        out->push_back(std::move(fd));
    }
    closedir(d);
    return true;
}

unsigned get_drive_type(const char* root) {
    int idx = root ? drive_index(root[0]) : -1;
    if (idx < 0) return kDriveNoRoot;
    std::lock_guard<std::mutex> lock(g_drive_mutex);
    init_drives_locked();
    const Drive& d = g_drives[idx];
    struct stat st;
    if (!d.mounted || stat(d.mount.host_folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return kDriveNoRoot;
    return d.mount.type;
}

bool get_volume_info(const char* root, char* label, std::size_t label_size,
                     std::uint32_t* serial) {
    int idx = root ? drive_index(root[0]) : -1;
    std::lock_guard<std::mutex> lock(g_drive_mutex);
    init_drives_locked();
    struct stat st;
    if (idx < 0 || !g_drives[idx].mounted ||
        stat(g_drives[idx].mount.host_folder.c_str(), &st) != 0) {
        t_last_error = kErrPathNotFound;
        return false;
    }
    if (label) copy_bounded(label, label_size, g_drives[idx].mount.label.c_str());
    if (serial) *serial = g_drives[idx].mount.serial;
    return true;
}

bool set_volume_label(const char* root, const char* label) {
    int idx = root ? drive_index(root[0]) : -1;
    std::lock_guard<std::mutex> lock(g_drive_mutex);
    init_drives_locked();
    if (idx < 0 || !g_drives[idx].mounted) {
        t_last_error = kErrPathNotFound;
        return false;
    }
    g_drives[idx].mount.label = label ? label : "";
    return true;
}

bool get_free_space(const char* root, std::uint64_t* free_bytes, std::uint64_t* total_bytes) {
    int idx = root ? drive_index(root[0]) : -1;
    DriveMount m;
    {
        std::lock_guard<std::mutex> lock(g_drive_mutex);
        init_drives_locked();
        if (idx < 0 || !g_drives[idx].mounted) {
            t_last_error = kErrPathNotFound;
            return false;
        }
        m = g_drives[idx].mount;
    }
    if (m.capacity) {
        std::uint64_t used = bytes_below(m.host_folder);
        *free_bytes = used >= m.capacity ? 0 : m.capacity - used;
        if (total_bytes) *total_bytes = m.capacity;
        return true;
    }
    struct statvfs vs;
    if (statvfs(m.host_folder.c_str(), &vs) != 0) {
        fail_errno();
        return false;
    }
    *free_bytes = static_cast<std::uint64_t>(vs.f_bavail) * vs.f_frsize;
    if (total_bytes) *total_bytes = static_cast<std::uint64_t>(vs.f_blocks) * vs.f_frsize;
    return true;
}

std::uint32_t logical_drives() {
    std::lock_guard<std::mutex> lock(g_drive_mutex);
    init_drives_locked();
    std::uint32_t mask = 0;
    for (int i = 0; i < 26; ++i)
        if (g_drives[i].mounted) mask |= 1u << i;
    return mask;
}

int show_message_box(const Prompt& prompt) {
    const std::string lead = prompt.caption + ": ";
    const bool led = prompt.text.compare(0, lead.size(), lead) == 0;
    std::fprintf(stderr, "%s: %s\n", prompt.caption.c_str(),
                 prompt.text.c_str() + (led ? lead.size() : 0));
    switch (prompt.style & 0x0F) {
    case kMbOk:
        return kIdOk;
    case kMbYesNo:
        return kIdNo;
    default:
        return kIdCancel;
    }
}

std::string dos_path_from_host(const std::string& host) {
    if (host.size() >= 2 && drive_index(host[0]) >= 0 && host[1] == ':') return host;
    std::string abs = host;
    if (abs.empty() || abs[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd)) abs = std::string(cwd) + "/" + host;
    }
    // Collapse "." and ".." so the DOS path names the same file.
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i <= abs.size()) {
        std::size_t j = abs.find('/', i);
        if (j == std::string::npos) j = abs.size();
        std::string part = abs.substr(i, j - i);
        i = j + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out = "Z:";
    for (const auto& part : parts) out += "\\" + part;
    if (parts.empty()) out += "\\";
    return out;
}

std::string host_path_for_display(const std::string& dos_path) {
    std::string host;
    if (!is_drive_path(dos_path.c_str()) || !host_path(dos_path.c_str(), &host)) return dos_path;
    return host;
}

std::string temp_folder() {
    const char* t = std::getenv("TMPDIR");
    return dos_path_from_host(t && *t ? t : "/tmp");
}

FileHandle create_new_file(const char* path) {
    // O_EXCL fails on any name that exists, a dangling link too.
    FileHandle h = open_mapped(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, false);
    if (h == kInvalidFile && errno == EEXIST) t_last_error = 80; // ERROR_FILE_EXISTS
    return h;
}

// ---- Unix modes and symbolic links ------------------------------------------

// Read without changing it: umask() itself sets the mask, and another
// thread creating a file meanwhile would get the wrong one.
std::uint32_t file_creation_mask() {
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, f))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(f);
        if (found) return mask;
    }
    mode_t mask = umask(022);
    umask(mask);
    return mask;
}

bool has_symbolic_links() {
    return true;
}

bool get_unix_stat(const char* path, bool follow_links, UnixStat* out) {
    std::string hp;
    struct stat st;
    if (!host_path(path, &hp) ||
        (follow_links ? stat(hp.c_str(), &st) : lstat(hp.c_str(), &st)) != 0) {
        t_last_error = kErrFileNotFound;
        return false;
    }
    out->mode = static_cast<std::uint32_t>(st.st_mode);
    out->mtime = static_cast<std::int64_t>(st.st_mtime);
    return true;
}

bool set_unix_permissions(FileHandle h, std::uint32_t mode) {
    if (fchmod(static_cast<int>(h), static_cast<mode_t>(mode & 0777)) != 0) {
        fail_errno();
        return false;
    }
    return true;
}

bool read_link(const char* path, std::string* target) {
    std::string hp;
    if (!host_path(path, &hp)) {
        t_last_error = kErrPathNotFound;
        return false;
    }
    std::vector<char> buf(256);
    for (;;) {
        ssize_t n = readlink(hp.c_str(), buf.data(), buf.size());
        if (n < 0) {
            fail_errno();
            return false;
        }
        if (static_cast<std::size_t>(n) < buf.size()) {
            target->assign(buf.data(), static_cast<std::size_t>(n));
            return true;
        }
        buf.resize(buf.size() * 2); // it may have been cut short
    }
}

bool create_link_below(const char* folder, const char* path, const char* target) {
    std::string hf;
    std::vector<std::string> parts;
    int drive = -1;
    if (!parts_below(folder, path, &hf, &parts, &drive)) {
        t_last_error = kErrPathNotFound;
        return false;
    }
    int dir = open_parent_no_links(hf, parts);
    if (dir < 0) {
        fail_errno();
        if (errno == ELOOP || errno == ENOTDIR) t_last_error = kErrAccessDenied;
        return false;
    }
    const char* name = parts.back().c_str();
    bool made = false;
    // As in create_file_below: symlinkat never replaces, so a name put back
    // between the removal and the creation only costs another try.
    for (int tries = 0; !made && tries < 8; ++tries) {
        struct stat st;
        if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && read_only_mode(st.st_mode))) {
                t_last_error = kErrAccessDenied;
                break;
            }
            if (unlinkat(dir, name, 0) != 0 && errno != ENOENT) {
                fail_errno();
                break;
            }
        }
        made = symlinkat(target, dir, name) == 0;
        if (!made && errno != EEXIST) {
            fail_errno();
            break;
        }
        if (!made) t_last_error = 80; // ERROR_FILE_EXISTS, should the tries run out
    }
    ::close(dir);
    if (made) {
        std::string hp = hf == "/" ? std::string() : hf;
        for (const std::string& part : parts) hp += "/" + part;
        note_removed(hp); // a file may have stood there before
        note_created(hp, Kind::Link);
    }
    return made;
}

// ---- Text ------------------------------------------------------------------

void lower_case(char* text) {
    for (; *text; ++text)
        if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text - 'A' + 'a');
}

// ---- Shared memory, events and the file-change logging driver -------------

bool create_shared_memory(std::size_t size, SharedMemory* out) {
    void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (view == MAP_FAILED) {
        fail_errno();
        return false;
    }
    out->mapping = 0;
    out->view = view;
    out->size = size;
    return true;
}

bool release_shared_memory(SharedMemory* memory) {
    bool ok = memory->view && munmap(memory->view, memory->size) == 0;
    memory->view = nullptr;
    memory->size = 0;
    return ok;
}

namespace {
struct Event {
    std::mutex mutex;
    std::condition_variable signalled;
    bool set = false;
};
Event* to_event(EventHandle h) { return reinterpret_cast<Event*>(h); }
} // namespace

EventHandle create_event() { return reinterpret_cast<EventHandle>(new (std::nothrow) Event); }

bool set_event(EventHandle h) {
    if (h == kNoEvent) return false;
    Event* e = to_event(h);
    {
        std::lock_guard<std::mutex> lock(e->mutex);
        e->set = true;
    }
    e->signalled.notify_one();
    return true;
}

bool wait_event(EventHandle h) {
    if (h == kNoEvent) return false;
    Event* e = to_event(h);
    std::unique_lock<std::mutex> lock(e->mutex);
    e->signalled.wait(lock, [e] { return e->set; });
    e->set = false; // auto-reset: one waiter takes the signal
    return true;
}

bool close_event(EventHandle h) {
    if (h == kNoEvent) return false;
    delete to_event(h);
    return true;
}

// A host other than Windows cannot run the logging driver.
LoggingDriver* builtin_logging_driver() { return nullptr; }

// ---- Program environment -------------------------------------------------

bool is_terminal(StdStream stream) {
    int fd = stream == StdStream::In ? 0 : stream == StdStream::Out ? 1 : 2;
    return isatty(fd) != 0;
}

void use_utf8_console() {}

std::string current_directory() {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return std::string();
    return dos_path_from_host(cwd);
}

bool set_current_directory(const char* path) {
    std::string host;
    if (!host_path(path, &host)) return false;
    return chdir(host.c_str()) == 0;
}

std::string windows_directory() {
    std::string t = temp_folder();
    if (t.size() > 3 && t.back() == '\\') t.pop_back();
    return t;
}

std::string system_directory() {
    return windows_directory();
}

// ---- INI files ---------------------------------------------------------------
//
// The same reading rules as the Windows profile calls: sections and keys
// match without regard to case, blanks around names and values are dropped,
// a write replaces the key in place or appends it (and its section).

namespace {

std::string trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return std::string();
    std::size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::vector<std::string> ini_lines(const char* file) {
    std::vector<std::string> lines;
    std::string host;
    if (!host_path(file, &host)) return lines;
    FILE* f = std::fopen(host.c_str(), "rb");
    if (!f) return lines;
    std::string line;
    int c;
    while ((c = std::fgetc(f)) != EOF) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty()) lines.push_back(line);
    std::fclose(f);
    return lines;
}

bool is_section(const std::string& line, std::string* name) {
    std::string t = trim(line);
    if (t.size() < 2 || t[0] != '[') return false;
    std::size_t close = t.find(']');
    if (close == std::string::npos) return false;
    *name = trim(t.substr(1, close - 1));
    return true;
}

bool key_of(const std::string& line, std::string* key, std::string* value) {
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    *key = trim(line.substr(0, eq));
    if (value) *value = trim(line.substr(eq + 1));
    return true;
}

bool ini_lookup(const char* file, const char* section, const char* key, std::string* value) {
    bool in_section = false;
    for (const std::string& line : ini_lines(file)) {
        std::string name, k, v;
        if (is_section(line, &name)) {
            in_section = strcasecmp(name.c_str(), section) == 0;
        } else if (in_section && key_of(line, &k, &v) && strcasecmp(k.c_str(), key) == 0) {
            *value = v;
            return true;
        }
    }
    return false;
}

} // namespace

std::string ini_read_string(const char* file, const char* section, const char* key,
                            const char* fallback) {
    std::string v;
    if (!ini_lookup(file, section, key, &v)) v = fallback ? fallback : "";
    if (v.size() >= kMaxPath) v.resize(kMaxPath - 1);
    return v;
}

int ini_read_int(const char* file, const char* section, const char* key, int fallback) {
    std::string v;
    if (!ini_lookup(file, section, key, &v)) return fallback;
    return std::atoi(v.c_str());
}

bool ini_write_string(const char* file, const char* section, const char* key, const char* value) {
    std::vector<std::string> lines = ini_lines(file);
    std::string entry = std::string(key) + "=" + value;
    int section_at = -1, insert_at = -1;
    bool done = false;
    for (std::size_t i = 0; i < lines.size() && !done; ++i) {
        std::string name, k;
        if (is_section(lines[i], &name)) {
            if (section_at >= 0) break;
            if (strcasecmp(name.c_str(), section) == 0)
                section_at = insert_at = static_cast<int>(i);
        } else if (section_at >= 0) {
            if (key_of(lines[i], &k, nullptr) && strcasecmp(k.c_str(), key) == 0) {
                lines[i] = entry;
                done = true;
            } else if (!trim(lines[i]).empty()) {
                insert_at = static_cast<int>(i);
            }
        }
    }
    if (!done) {
        if (section_at < 0) {
            lines.push_back("[" + std::string(section) + "]");
            lines.push_back(entry);
        } else {
            lines.insert(lines.begin() + insert_at + 1, entry);
        }
    }
    std::string host;
    if (!host_path(file, &host)) return false;
    FILE* f = std::fopen(host.c_str(), "wb");
    if (!f) return false;
    for (const std::string& line : lines)
        std::fprintf(f, "%s\r\n", line.c_str());
    return std::fclose(f) == 0;
}

// ---- Registry -----------------------------------------------------------------
//
// An in-memory store with the registry's rules: names of keys and values
// match without regard to case, enumeration follows creation order, a key
// deleted while open answers "key deleted" (1018) to every further call.

namespace {

struct RegValue {
    std::string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

struct RegNode {
    std::string name;
    std::vector<std::shared_ptr<RegNode>> children;
    std::vector<RegValue> values;
    bool deleted = false;
};

constexpr long kRegKeyDeleted = 1018;
constexpr long kRegInvalidHandle = 6;

std::mutex g_reg_mutex;
std::shared_ptr<RegNode> g_reg_roots[2];
std::map<RegKey, std::shared_ptr<RegNode>> g_reg_open;
RegKey g_reg_next = 1;

std::shared_ptr<RegNode> reg_node_locked(RegKey key) {
    if (key == kHkeyCurrentUser || key == kHkeyLocalMachine) {
        auto& root = g_reg_roots[key - kHkeyCurrentUser];
        if (!root) root = std::make_shared<RegNode>();
        return root;
    }
    auto it = g_reg_open.find(key);
    return it == g_reg_open.end() ? nullptr : it->second;
}

std::shared_ptr<RegNode> reg_child(const RegNode& node, const std::string& name) {
    for (const auto& c : node.children)
        if (strcasecmp(c->name.c_str(), name.c_str()) == 0) return c;
    return nullptr;
}

std::vector<std::string> reg_path_parts(const char* path) {
    std::vector<std::string> parts;
    std::string part;
    for (const char* p = path ? path : ""; ; ++p) {
        if (*p == '\\' || *p == '\0') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
            if (!*p) break;
        } else {
            part += *p;
        }
    }
    return parts;
}

long reg_walk_locked(RegKey root, const char* path, bool create, RegKey* key) {
    std::shared_ptr<RegNode> node = reg_node_locked(root);
    if (!node) return kRegInvalidHandle;
    if (node->deleted) return kRegKeyDeleted;
    for (const std::string& part : reg_path_parts(path)) {
        std::shared_ptr<RegNode> next = reg_child(*node, part);
        if (!next) {
            if (!create) return kRegNotFound;
            next = std::make_shared<RegNode>();
            next->name = part;
            node->children.push_back(next);
        }
        node = next;
    }
    *key = g_reg_next++;
    g_reg_open[*key] = node;
    return kRegOk;
}

std::vector<RegValue>::iterator reg_value_named(RegNode& node, const char* name) {
    std::string n = name ? name : "";
    for (auto it = node.values.begin(); it != node.values.end(); ++it)
        if (strcasecmp(it->name.c_str(), n.c_str()) == 0) return it;
    return node.values.end();
}

// The node of an open key that still exists; an error code otherwise.
long reg_live_node_locked(RegKey key, std::shared_ptr<RegNode>* node) {
    *node = reg_node_locked(key);
    if (!*node) return kRegInvalidHandle;
    return (*node)->deleted ? kRegKeyDeleted : kRegOk;
}

void reg_mark_deleted(RegNode& node) {
    node.deleted = true;
    for (auto& c : node.children) reg_mark_deleted(*c);
}

} // namespace

long reg_open(RegKey root, const char* path, RegKey* key) {
    std::lock_guard<std::mutex> lock(g_reg_mutex);
    return reg_walk_locked(root, path, false, key);
}

long reg_create(RegKey root, const char* path, RegKey* key) {
    std::lock_guard<std::mutex> lock(g_reg_mutex);
    return reg_walk_locked(root, path, true, key);
}

void reg_close(RegKey key) {
    std::lock_guard<std::mutex> lock(g_reg_mutex);
    g_reg_open.erase(key);
}

long reg_query_info(RegKey key, RegKeyInfo* info) {
    std::lock_guard<std::mutex> lock(g_reg_mutex);
    std::shared_ptr<RegNode> node;
    if (long r = reg_live_node_locked(key, &node)) return r;
    *info = RegKeyInfo{};
    info->subkeys = static_cast<std::uint32_t>(node->children.size());
    info->values = static_cast<std::uint32_t>(node->values.size());
    for (const auto& c : node->children)
        info->longest_subkey_name = std::max(info->longest_subkey_name, static_cast<std::uint32_t>(c->name.size()));
    for (const auto& v : node->values) {
        info->longest_value_name = std::max(info->longest_value_name, static_cast<std::uint32_t>(v.name.size()));
        info->longest_value_data = std::max(info->longest_value_data, static_cast<std::uint32_t>(v.data.size()));
    }
    return kRegOk;
}

long reg_enum_value(RegKey key, std::uint32_t index, char* name, std::uint32_t* name_size, std::uint32_t* type,
                    std::uint8_t* data, std::uint32_t* data_size) {
    std::lock_guard<std::mutex> lock(g_reg_mutex);
    std::shared_ptr<RegNode> node;
    if (long r = reg_live_node_locked(key, &node)) return r;
    if (index >= node->values.size()) return kRegNoMoreItems;
    const RegValue& v = node->values[index];
    if (v.name.size() + 1 > *name_size || (data && v.data.size() > *data_size)) {
        *data_size = static_cast<std::uint32_t>(v.data.size());
        return kRegMoreData;
    }
    std::memcpy(name, v.name.c_str(), v.name.size() + 1);
    *name_size = static_cast<std::uint32_t>(v.name.size());
    if (type) *type = v.type;
    if (data && !v.data.empty()) std::memcpy(data, v.data.data(), v.data.size());
    *data_size = static_cast<std::uint32_t>(v.data.size());
    return kRegOk;
}

long reg_enum_key(RegKey key, std::uint32_t index, char* name, std::uint32_t name_size) {
    std::lock_guard<std::mutex> lock(g_reg_mutex);
    std::shared_ptr<RegNode> node;
    if (long r = reg_live_node_locked(key, &node)) return r;
    if (index >= node->children.size()) return kRegNoMoreItems;
    const std::string& n = node->children[index]->name;
    if (n.size() + 1 > name_size) return kRegMoreData;
    std::memcpy(name, n.c_str(), n.size() + 1);
    return kRegOk;
}

long reg_set_value(RegKey key, const char* name, std::uint32_t type, const void* data, std::uint32_t size) {
    std::lock_guard<std::mutex> lock(g_reg_mutex);
    std::shared_ptr<RegNode> node;
    if (long r = reg_live_node_locked(key, &node)) return r;
    auto it = reg_value_named(*node, name);
    if (it == node->values.end()) {
        node->values.push_back(RegValue{name ? name : "", 0, {}});
        it = node->values.end() - 1;
    }
    it->type = type;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    it->data.assign(bytes, bytes + (bytes ? size : 0));
    return kRegOk;
}

long reg_delete_value(RegKey key, const char* name) {
    std::lock_guard<std::mutex> lock(g_reg_mutex);
    std::shared_ptr<RegNode> node;
    if (long r = reg_live_node_locked(key, &node)) return r;
    auto it = reg_value_named(*node, name);
    if (it == node->values.end()) return kRegNotFound;
    node->values.erase(it);
    return kRegOk;
}

long reg_delete_tree(RegKey key, const char* subkey) {
    std::lock_guard<std::mutex> lock(g_reg_mutex);
    std::shared_ptr<RegNode> node;
    if (long r = reg_live_node_locked(key, &node)) return r;
    std::vector<std::string> parts = reg_path_parts(subkey);
    if (parts.empty()) return kRegNotFound;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        node = reg_child(*node, parts[i]);
        if (!node) return kRegNotFound;
    }
    for (auto it = node->children.begin(); it != node->children.end(); ++it) {
        if (strcasecmp((*it)->name.c_str(), parts.back().c_str()) == 0) {
            reg_mark_deleted(**it);
            node->children.erase(it);
            return kRegOk;
        }
    }
    return kRegNotFound;
}

void reg_reset_store() {
    std::lock_guard<std::mutex> lock(g_reg_mutex);
    for (auto& root : g_reg_roots)
        if (root) reg_mark_deleted(*root);
    g_reg_roots[0].reset();
    g_reg_roots[1].reset();
    g_reg_open.clear();
}

bool mount_drive(char letter, const DriveMount& mount) {
    int idx = drive_index(letter);
    if (idx < 0) return false;
    std::lock_guard<std::mutex> lock(g_drive_mutex);
    init_drives_locked();
    g_drives[idx].mounted = true;
    g_drives[idx].mount = mount;
    return true;
}

void unmount_drive(char letter) {
    int idx = drive_index(letter);
    if (idx < 0) return;
    std::lock_guard<std::mutex> lock(g_drive_mutex);
    init_drives_locked();
    g_drives[idx] = Drive{};
}

} // namespace platform
