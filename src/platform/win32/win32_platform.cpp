// The platform layer on Windows (and Wine). DOS paths are UTF-8, as member
// names are: the programs' manifests make UTF-8 the process code page, so the
// ...A API takes them unchanged (Windows 10 1903 and later, Wine); under any
// other code page file paths go through the ...W API, converted here. Drive
// types, labels and free space come from the system, so there is no drive
// table here.
//
// DOS dates and times are converted without any time-zone shift, as in the
// posix build, so an archive lists and extracts the same on both. Where
// Windows refuses a DOS time (fields out of range, a file older than 1980)
// the shared arithmetic in common.cpp decides, again to agree with posix.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "platform/platform.h"

#include <map>
#include <mutex>
#include <cstdlib>
#include <cstring>

#include "driver/vxd_exchange.h"

namespace platform {

namespace {

static_assert(sizeof(FileHandle) == sizeof(HANDLE), "a FileHandle carries a HANDLE");

constexpr DWORD kGenFailure = ERROR_GEN_FAILURE;

// The attribute bits the engine knows; Windows adds others (normal, not
// content indexed, ...) that the posix build never reports.
constexpr DWORD kDosAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY |
                                 FILE_ATTRIBUTE_ARCHIVE;
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// 100 ns intervals from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kUnixEpochAsFileTime = 116444736000000000LL;
constexpr std::int64_t kFileTimeTicksPerSecond = 10000000LL;

HANDLE to_handle(FileHandle h) {
    return reinterpret_cast<HANDLE>(h);
}
FileHandle from_handle(HANDLE h) {
    return reinterpret_cast<FileHandle>(h);
}

// Whether the ...A API speaks UTF-8. GetACP only reads a value the process
// fixed at its start; no local static here, as the settings are read during
// the initialisation of another static, where mingw's guard would spin.
bool ansi_is_utf8() {
    return GetACP() == CP_UTF8;
}

std::wstring wide(const char* utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &w[0], n);
    w.resize(static_cast<std::size_t>(n - 1));
    return w;
}

std::string utf8_of(const wchar_t* w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, -1, &s[0], n, nullptr, nullptr);
    s.resize(static_cast<std::size_t>(n - 1));
    return s;
}

// The file calls of this layer, by the API that takes UTF-8 paths here.
DWORD attributes_of(const char* path) {
    return ansi_is_utf8() ? GetFileAttributesA(path) : GetFileAttributesW(wide(path).c_str());
}
HANDLE create_handle(const char* path, DWORD access, DWORD disposition) {
    return ansi_is_utf8() ? CreateFileA(path, access, FILE_SHARE_READ, nullptr, disposition,
                                        FILE_ATTRIBUTE_NORMAL, nullptr)
                          : CreateFileW(wide(path).c_str(), access, FILE_SHARE_READ, nullptr,
                                        disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}
BOOL delete_path(const char* path) {
    return ansi_is_utf8() ? DeleteFileA(path) : DeleteFileW(wide(path).c_str());
}
BOOL remove_folder(const char* path) {
    return ansi_is_utf8() ? RemoveDirectoryA(path) : RemoveDirectoryW(wide(path).c_str());
}
BOOL create_folder(const char* path) {
    return ansi_is_utf8() ? CreateDirectoryA(path, nullptr)
                          : CreateDirectoryW(wide(path).c_str(), nullptr);
}
BOOL set_attributes_of(const char* path, DWORD a) {
    return ansi_is_utf8() ? SetFileAttributesA(path, a) : SetFileAttributesW(wide(path).c_str(), a);
}
BOOL attribute_data_of(const char* path, WIN32_FILE_ATTRIBUTE_DATA* data) {
    return ansi_is_utf8() ? GetFileAttributesExA(path, GetFileExInfoStandard, data)
                          : GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, data);
}
BOOL move_path(const char* from, const char* to, DWORD flags) {
    if (ansi_is_utf8()) return flags ? MoveFileExA(from, to, flags) : MoveFileA(from, to);
    return flags ? MoveFileExW(wide(from).c_str(), wide(to).c_str(), flags)
                 : MoveFileW(wide(from).c_str(), wide(to).c_str());
}
BOOL copy_path(const char* from, const char* to, BOOL fail_if_exists) {
    return ansi_is_utf8() ? CopyFileA(from, to, fail_if_exists)
                          : CopyFileW(wide(from).c_str(), wide(to).c_str(), fail_if_exists);
}

FILETIME filetime_from_unix(std::int64_t seconds) {
    std::uint64_t ticks =
        static_cast<std::uint64_t>(seconds * kFileTimeTicksPerSecond + kUnixEpochAsFileTime);
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}

std::int64_t unix_from_filetime(const FILETIME& ft) {
    std::int64_t ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    return (ticks - kUnixEpochAsFileTime) / kFileTimeTicksPerSecond;
}

// Windows refuses to write a read-only file. Wine keeps the attribute as
// missing write permission, which does not stop root (CI runs as root), so
// the attribute is checked here too.
bool refuse_read_only(const char* path) {
    DWORD a = attributes_of(path);
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_READONLY) ||
        (a & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    SetLastError(ERROR_ACCESS_DENIED);
    return true;
}

FileHandle open_with(const char* path, DWORD access, DWORD disposition) {
    if ((access & GENERIC_WRITE) && refuse_read_only(path)) return kInvalidFile;
    HANDLE h = create_handle(path, access, disposition);
    return h == INVALID_HANDLE_VALUE ? kInvalidFile : from_handle(h);
}

// Closes a FindFirstFile handle on every path out of find_files.
class ScopedFind {
  public:
    explicit ScopedFind(HANDLE h) : h_(h) {}
    ~ScopedFind() {
        if (valid()) FindClose(h_);
    }
    ScopedFind(const ScopedFind&) = delete;
    ScopedFind& operator=(const ScopedFind&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

  private:
    HANDLE h_;
};

// "X:\" for the drive named by root's first character; false when it names none.
bool drive_root(const char* root, char out[4]) {
    if (!root) return false;
    char letter = root[0];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z') return false;
    out[0] = letter;
    out[1] = ':';
    out[2] = '\\';
    out[3] = '\0';
    return true;
}

std::string full_path_name(const std::string& path) {
    if (!ansi_is_utf8()) {
        const std::wstring w = wide(path.c_str());
        std::wstring buf(MAX_PATH, L'\0');
        for (;;) {
            DWORD n = GetFullPathNameW(w.c_str(), static_cast<DWORD>(buf.size()), &buf[0], nullptr);
            if (n == 0) return path;
            if (n < buf.size()) {
                buf.resize(n);
                return utf8_of(buf.c_str());
            }
            buf.assign(n, L'\0');
        }
    }
    std::string buf(MAX_PATH, '\0');
    for (;;) {
        DWORD n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buf.size()), &buf[0], nullptr);
        if (n == 0) return path;
        if (n < buf.size()) {
            buf.resize(n);
            return buf;
        }
        buf.assign(n, '\0'); // n counts the terminating NUL when the buffer was too small
    }
}

// Under Wine a Unix path ("/home/...") is turned into the DOS path that
// reaches it (usually Z:\home\...). wine_get_dos_file_name is looked up at
// run time because a real Windows kernel32 has no such export.
bool wine_dos_path(const std::string& unix_path, std::string* out) {
    using WineGetDosFileName = WCHAR*(CDECL*)(const char*);
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    if (!kernel32) return false;
    auto convert = reinterpret_cast<WineGetDosFileName>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "wine_get_dos_file_name")));
    if (!convert) return false;
    WCHAR* dos = convert(unix_path.c_str());
    if (!dos) return false;
    *out = utf8_of(dos);
    HeapFree(GetProcessHeap(), 0, dos);
    return !out->empty();
}

// The inverse under Wine: the Unix path a DOS path maps to (also for a file
// not there yet), from wine_get_unix_file_name, looked up the same way.
bool wine_unix_path(const std::string& dos_path, std::string* out) {
    using WineGetUnixFileName = char*(CDECL*)(const WCHAR*);
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    if (!kernel32) return false;
    auto convert = reinterpret_cast<WineGetUnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "wine_get_unix_file_name")));
    if (!convert) return false;
    const std::wstring dos = wide(dos_path.c_str());
    if (dos.empty()) return false;
    char* unix_path = convert(dos.c_str());
    if (!unix_path) return false;
    *out = unix_path;
    HeapFree(GetProcessHeap(), 0, unix_path);
    return true;
}

} // namespace

std::uint32_t last_error() {
    return GetLastError();
}

// ---- Files ---------------------------------------------------------------

FileHandle open_read(const char* path) {
    return open_with(path, GENERIC_READ, OPEN_EXISTING);
}

FileHandle open_write(const char* path) {
    return open_with(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
}

FileHandle create_file(const char* path) {
    return open_with(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
}

FileHandle open_read_regular(const char* path, bool* not_a_file) {
    *not_a_file = false;
    DWORD a = attributes_of(path);
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DEVICE)) {
        *not_a_file = true;
        SetLastError(ERROR_ACCESS_DENIED);
        return kInvalidFile;
    }
    FileHandle h = open_read(path);
    // A device name or a pipe opens as a character device or a pipe; reading
    // one could wait for ever.
    if (h != kInvalidFile && GetFileType(to_handle(h)) != FILE_TYPE_DISK) {
        *not_a_file = true;
        close_file(h);
        SetLastError(ERROR_ACCESS_DENIED);
        return kInvalidFile;
    }
    return h;
}

bool link_between(const char* folder, const char* path) {
    std::size_t n = std::strlen(folder);
    std::string p = path;
    if (p.size() <= n || p.compare(0, n, folder) != 0) return false;
    for (std::size_t i = n; i < p.size(); ++i) {
        if (p[i] != '\\' || i == n) continue;
        DWORD a = attributes_of(p.substr(0, i).c_str());
        if (a == INVALID_FILE_ATTRIBUTES) return false; // what is missing is made as a folder
        if (a & FILE_ATTRIBUTE_REPARSE_POINT) return true;
    }
    return false;
}

FileHandle create_file_below(const char* folder, const char* path) {
    if (link_between(folder, path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return kInvalidFile;
    }
    DWORD a = attributes_of(path);
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_REPARSE_POINT))
        return create_file(path);
    // A link or junction is removed itself, then a new file made in its
    // place; CREATE_NEW fails rather than follow one put back meanwhile.
    BOOL removed = (a & FILE_ATTRIBUTE_DIRECTORY) ? remove_folder(path) : delete_path(path);
    if (!removed) return kInvalidFile;
    HANDLE h = create_handle(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    return h == INVALID_HANDLE_VALUE ? kInvalidFile : from_handle(h);
}

void close_file(FileHandle h) {
    if (h != kInvalidFile) CloseHandle(to_handle(h));
}

bool read_file(FileHandle h, void* buf, std::uint32_t n, std::uint32_t* got) {
    *got = 0;
    auto* p = static_cast<char*>(buf);
    while (*got < n) {
        DWORD r = 0;
        if (!ReadFile(to_handle(h), p + *got, n - *got, &r, nullptr)) return false;
        if (r == 0) break;
        *got += r;
    }
    return true;
}

bool write_file(FileHandle h, const void* buf, std::uint32_t n, std::uint32_t* written) {
    *written = 0;
    const char* p = static_cast<const char*>(buf);
    while (*written < n) {
        DWORD w = 0;
        if (!WriteFile(to_handle(h), p + *written, n - *written, &w, nullptr)) return false;
        if (w == 0) {
            // Nothing taken without an error: the volume is full.
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        *written += w;
    }
    return true;
}

bool seek_file(FileHandle h, std::uint64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (to.QuadPart < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return false;
    }
    return SetFilePointerEx(to_handle(h), to, nullptr, FILE_BEGIN) != 0;
}

bool tell_file(FileHandle h, std::uint64_t* offset) {
    LARGE_INTEGER zero, at;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(to_handle(h), zero, &at, FILE_CURRENT)) return false;
    *offset = static_cast<std::uint64_t>(at.QuadPart);
    return true;
}

bool file_size(FileHandle h, std::uint32_t* size) {
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(to_handle(h), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    if (high != 0) {
        SetLastError(kGenFailure);
        return false;
    }
    *size = low;
    return true;
}

bool file_size64(FileHandle h, std::uint64_t* size) {
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(to_handle(h), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    *size = (std::uint64_t(high) << 32) | low;
    return true;
}

bool truncate_file(FileHandle h) {
    return SetEndOfFile(to_handle(h)) != 0;
}

// ---- Times ---------------------------------------------------------------

std::int64_t zone_offset_at(std::int64_t utc) {
    // FileTimeToLocalFileTime would apply today's offset to every date; this
    // takes the zone's rule for the date itself.
    FILETIME ft = filetime_from_unix(utc);
    FILETIME local_ft;
    SYSTEMTIME st, local;
    if (!FileTimeToSystemTime(&ft, &st) || !SystemTimeToTzSpecificLocalTime(nullptr, &st, &local) ||
        !SystemTimeToFileTime(&local, &local_ft))
        return 0;
    return unix_from_filetime(local_ft) - utc;
}

bool get_file_unix_time(FileHandle h, std::int64_t* seconds) {
    FILETIME written;
    if (!GetFileTime(to_handle(h), nullptr, nullptr, &written)) return false;
    *seconds = unix_from_filetime(written);
    return true;
}

bool set_file_unix_time(FileHandle h, std::int64_t seconds) {
    FILETIME ft = filetime_from_unix(seconds);
    return SetFileTime(to_handle(h), nullptr, &ft, &ft) != 0;
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
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!attribute_data_of(path, &data)) return false;
    *seconds = unix_from_filetime(data.ftLastWriteTime);
    return true;
}

bool set_folder_unix_time(const char* path, std::int64_t seconds) {
    const DWORD a = GetFileAttributesA(path);
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY) ||
        (a & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    // A folder opens only with backup semantics; sharing everything keeps
    // a folder someone browses from refusing the change.
    HANDLE h = CreateFileA(
        path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    FILETIME ft = filetime_from_unix(seconds);
    const bool done = SetFileTime(h, nullptr, &ft, &ft) != 0;
    CloseHandle(h);
    return done;
}

// ---- Attributes, names ---------------------------------------------------

std::uint32_t get_attributes(const char* path) {
    DWORD a = attributes_of(path);
    if (a == INVALID_FILE_ATTRIBUTES) return kInvalidAttributes;
    return a & kDosAttributes;
}

bool set_attributes(const char* path, std::uint32_t attributes) {
    DWORD now = attributes_of(path);
    if (now != INVALID_FILE_ATTRIBUTES && (now & FILE_ATTRIBUTE_REPARSE_POINT)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    DWORD a = attributes & kSettableAttributes;
    return set_attributes_of(path, a ? a : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool delete_file(const char* path) {
    return delete_path(path) != 0;
}

bool move_file(const char* from, const char* to) {
    return move_path(from, to, 0) != 0;
}

bool replace_file(const char* from, const char* to) {
    // One rename within a folder: the target holds the old or the new file, never neither.
    return move_path(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool copy_file(const char* from, const char* to, bool fail_if_exists) {
    return copy_path(from, to, fail_if_exists ? TRUE : FALSE) != 0;
}

// ---- Folders -------------------------------------------------------------

NameCacheScope::NameCacheScope() {}
NameCacheScope::~NameCacheScope() {}

bool create_directory(const char* path) {
    return create_folder(path) != 0;
}

bool remove_directory(const char* path) {
    return remove_folder(path) != 0;
}

namespace {

// Walks a search with the ...A or the ...W API; Found holds the one's data.
template <class Found, class First, class Next, class NameOf>
bool find_with(const char* pattern, std::vector<FindData>* out, First first, Next next,
               NameOf name_of) {
    Found fd;
    ScopedFind find(first(pattern ? pattern : "", &fd));
    if (!find.valid()) {
        // An existing folder without a matching name is an empty result.
        DWORD e = GetLastError();
        return e == ERROR_FILE_NOT_FOUND || e == ERROR_NO_MORE_FILES;
    }
    do {
        std::string name = name_of(fd);
        if (name == "." || name == "..") continue;
        FindData entry;
        entry.name = std::move(name);
        entry.attributes = fd.dwFileAttributes & kDosAttributes;
        entry.size = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : fd.nFileSizeLow;
        entry.time = local_dos_time_from_unix(unix_from_filetime(fd.ftLastWriteTime));
        out->push_back(std::move(entry));
    } while (next(find.get(), &fd));
    return GetLastError() == ERROR_NO_MORE_FILES;
}

} // namespace

bool find_files(const char* pattern, std::vector<FindData>* out, bool) {
    out->clear();
    if (ansi_is_utf8())
        return find_with<WIN32_FIND_DATAA>(
            pattern, out, [](const char* p, WIN32_FIND_DATAA* fd) { return FindFirstFileA(p, fd); },
            [](HANDLE h, WIN32_FIND_DATAA* fd) { return FindNextFileA(h, fd); },
            [](const WIN32_FIND_DATAA& fd) { return std::string(fd.cFileName); });
    return find_with<WIN32_FIND_DATAW>(
        pattern, out,
        [](const char* p, WIN32_FIND_DATAW* fd) { return FindFirstFileW(wide(p).c_str(), fd); },
        [](HANDLE h, WIN32_FIND_DATAW* fd) { return FindNextFileW(h, fd); },
        [](const WIN32_FIND_DATAW& fd) { return utf8_of(fd.cFileName); });
}

// ---- Unix modes and symbolic links ------------------------------------------

// Windows keeps neither; its links need rights a user seldom has.
bool has_symbolic_links() {
    return false;
}

bool get_unix_stat(const char*, bool, UnixStat*) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
}

std::uint32_t file_creation_mask() {
    return 0;
}

bool set_unix_permissions(FileHandle, std::uint32_t) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
}

bool read_link(const char*, std::string*) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
}

bool create_link_below(const char*, const char*, const char*) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
}

// ---- Drives and volumes --------------------------------------------------

unsigned get_drive_type(const char* root) {
    char r[4];
    if (!drive_root(root, r)) return kDriveNoRoot;
    return GetDriveTypeA(r);
}

bool get_volume_info(const char* root, char* label, std::size_t label_size, std::uint32_t* serial) {
    char r[4];
    if (!drive_root(root, r)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    char name[MAX_PATH + 1] = {};
    DWORD volume_serial = 0;
    if (!GetVolumeInformationA(r, name, sizeof name, &volume_serial, nullptr, nullptr, nullptr, 0))
        return false;
    if (label) copy_bounded(label, label_size, name);
    if (serial) *serial = volume_serial;
    return true;
}

bool set_volume_label(const char* root, const char* label) {
    char r[4];
    if (!drive_root(root, r)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    return SetVolumeLabelA(r, label) != 0;
}

bool get_free_space(const char* root, std::uint64_t* free_bytes, std::uint64_t* total_bytes) {
    char r[4];
    if (!drive_root(root, r)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    ULARGE_INTEGER available, total;
    if (!GetDiskFreeSpaceExA(r, &available, &total, nullptr)) return false;
    *free_bytes = available.QuadPart;
    if (total_bytes) *total_bytes = total.QuadPart;
    return true;
}

std::uint32_t logical_drives() {
    return GetLogicalDrives();
}

// ---- Message boxes -------------------------------------------------------

int show_message_box(const Prompt& prompt) {
    return MessageBoxA(static_cast<HWND>(prompt.owner), prompt.text.c_str(), prompt.caption.c_str(),
                       prompt.style);
}

// ---- Text ----------------------------------------------------------------

void lower_case(char* text) {
    CharLowerA(text);
}

// ---- Shared memory, events and the file-change logging driver ------------

bool create_shared_memory(std::size_t size, SharedMemory* out) {
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        static_cast<DWORD>(size), nullptr);
    if (!mapping) return false;
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, size);
    if (!view) {
        CloseHandle(mapping);
        return false;
    }
    out->mapping = reinterpret_cast<std::intptr_t>(mapping);
    out->view = view;
    out->size = size;
    return true;
}

bool release_shared_memory(SharedMemory* memory) {
    bool ok = memory->view && UnmapViewOfFile(memory->view);
    if (!memory->mapping || !CloseHandle(reinterpret_cast<HANDLE>(memory->mapping))) ok = false;
    *memory = SharedMemory();
    return ok;
}

EventHandle create_event() {
    return reinterpret_cast<EventHandle>(CreateEventA(nullptr, FALSE, FALSE, nullptr));
}

bool set_event(EventHandle event) {
    return event != kNoEvent && SetEvent(reinterpret_cast<HANDLE>(event));
}

bool wait_event(EventHandle event) {
    return event != kNoEvent &&
           WaitForSingleObject(reinterpret_cast<HANDLE>(event), INFINITE) == WAIT_OBJECT_0;
}

bool close_event(EventHandle event) {
    return event != kNoEvent && CloseHandle(reinterpret_cast<HANDLE>(event));
}

namespace {

// kestril.vxd, loaded from the program's folder for one logging session.
class VxdDriver : public LoggingDriver {
  public:
    bool open(const char* program_dir) override {
        const std::string path = with_backslash(program_dir) + "kestril.vxd";
        if (module_ || path.size() >= kMaxPath) return false;
        module_ =
            ansi_is_utf8() ? LoadLibraryA(path.c_str()) : LoadLibraryW(wide(path.c_str()).c_str());
        if (!module_) return false;
        auto open_driver =
            reinterpret_cast<vxd::OpenFunction>(find_export(vxd::kOpenExport));
        control_ = reinterpret_cast<vxd::ControlFunction>(find_export(vxd::kControlExport));
        close_ = reinterpret_cast<vxd::CloseFunction>(find_export(vxd::kCloseExport));
        if (open_driver && control_ && close_ && open_driver()) return true;
        FreeLibrary(module_);
        module_ = nullptr;
        return false;
    }

    bool ignore(const char* path) override {
        return module_ &&
               control_(vxd::kIgnore, path, static_cast<std::uint32_t>(std::strlen(path) + 1),
                        nullptr, 0);
    }

    std::atomic<std::int32_t>* arm(EventHandle event, void* ring) override {
        vxd::ArmRequest request{reinterpret_cast<void*>(event), ring};
        void* status = nullptr;
        if (!module_ || !control_(vxd::kArm, &request, sizeof request, &status, sizeof status))
            return nullptr;
        return static_cast<std::atomic<std::int32_t>*>(status);
    }

    bool stop() override {
        return module_ && control_(vxd::kStop, nullptr, 4, nullptr, 0);
    }

    bool close() override {
        if (!module_) return false;
        close_();
        bool ok = FreeLibrary(module_) != 0;
        module_ = nullptr;
        return ok;
    }

  private:
    void* find_export(const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(module_, name));
    }

    HMODULE module_ = nullptr;
    vxd::ControlFunction control_ = nullptr;
    vxd::CloseFunction close_ = nullptr;
};

} // namespace

LoggingDriver* builtin_logging_driver() {
    static VxdDriver driver;
    return &driver;
}

// ---- Host paths ----------------------------------------------------------

std::string temp_folder() {
    wchar_t buf[MAX_PATH + 1] = {};
    DWORD n = GetTempPathW(MAX_PATH + 1, buf);
    if (n == 0 || n > MAX_PATH) return "C:\\";
    return utf8_of(buf);
}

FileHandle create_new_file(const char* path) {
    // CREATE_NEW fails on any name that exists, a link or junction too.
    return open_with(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
}

std::string dos_path_from_host(const std::string& host_path) {
    if (!host_path.empty() && host_path[0] == '/') {
        std::string dos;
        if (wine_dos_path(host_path, &dos)) return dos;
    }
    return full_path_name(host_path);
}

std::string host_path_for_display(const std::string& dos_path) {
    std::string unix_path;
    if (dos_path.size() >= 3 && dos_path[1] == ':' && wine_unix_path(dos_path, &unix_path))
        return unix_path;
    return dos_path;
}

// ---- Program environment -------------------------------------------------

bool is_terminal(StdStream stream) {
    DWORD which = stream == StdStream::In    ? STD_INPUT_HANDLE
                  : stream == StdStream::Out ? STD_OUTPUT_HANDLE
                                             : STD_ERROR_HANDLE;
    HANDLE h = GetStdHandle(which);
    DWORD mode = 0;
    // _isatty answers yes for any character device, NUL included.
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_CHAR &&
           GetConsoleMode(h, &mode) != 0;
}

// The console's code pages belong to the console, not the process: the ones
// found are put back when the program ends.
namespace {
UINT console_output_cp = 0;
UINT console_input_cp = 0;
} // namespace

void use_utf8_console() {
    console_output_cp = GetConsoleOutputCP();
    console_input_cp = GetConsoleCP();
    if (console_output_cp == 0) return; // no console
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
    std::atexit([] {
        SetConsoleOutputCP(console_output_cp);
        SetConsoleCP(console_input_cp);
    });
}

std::string current_directory() {
    wchar_t buf[MAX_PATH + 1] = {};
    DWORD n = GetCurrentDirectoryW(MAX_PATH + 1, buf);
    if (n == 0 || n > MAX_PATH) return std::string();
    return utf8_of(buf);
}

bool set_current_directory(const char* path) {
    return SetCurrentDirectoryW(wide(path).c_str()) != 0;
}

std::string windows_directory() {
    char buf[MAX_PATH + 1] = {};
    UINT n = GetWindowsDirectoryA(buf, sizeof buf);
    if (n == 0 || n > MAX_PATH) return "C:\\WINDOWS";
    return buf;
}

std::string system_directory() {
    char buf[MAX_PATH + 1] = {};
    UINT n = GetSystemDirectoryA(buf, sizeof buf);
    if (n == 0 || n > MAX_PATH) return windows_directory() + "\\SYSTEM";
    return buf;
}

// ---- INI files ---------------------------------------------------------------

std::string ini_read_string(const char* file, const char* section, const char* key,
                            const char* fallback) {
    char buf[kMaxPath] = {};
    GetPrivateProfileStringA(section, key, fallback, buf, sizeof buf, file);
    return buf;
}

int ini_read_int(const char* file, const char* section, const char* key, int fallback) {
    return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, file));
}

bool ini_write_string(const char* file, const char* section, const char* key, const char* value) {
    return WritePrivateProfileStringA(section, key, value, file) != 0;
}

// ---- Registry -----------------------------------------------------------------
//
// Keys travel as 32-bit numbers, as the monitor stores them; open keys are
// numbered in a table, the two roots are their predefined values.

namespace {

std::mutex g_reg_mutex;
std::map<RegKey, HKEY> g_reg_keys;
RegKey g_reg_next = 1;

HKEY hkey_of(RegKey key) {
    if (key == kHkeyCurrentUser) return HKEY_CURRENT_USER;
    if (key == kHkeyLocalMachine) return HKEY_LOCAL_MACHINE;
    std::lock_guard<std::mutex> lock(g_reg_mutex);
    auto it = g_reg_keys.find(key);
    return it == g_reg_keys.end() ? nullptr : it->second;
}

RegKey number_of(HKEY h) {
    std::lock_guard<std::mutex> lock(g_reg_mutex);
    RegKey key = g_reg_next++;
    if (g_reg_next >= 0x80000000u) g_reg_next = 1;
    g_reg_keys[key] = h;
    return key;
}

} // namespace

long reg_open(RegKey root, const char* path, RegKey* key) {
    HKEY parent = hkey_of(root);
    if (!parent) return ERROR_INVALID_HANDLE;
    HKEY h = nullptr;
    LONG r = RegOpenKeyExA(parent, path && *path ? path : nullptr, 0, KEY_ALL_ACCESS, &h);
    if (r != ERROR_SUCCESS) return r;
    *key = number_of(h);
    return 0;
}

long reg_create(RegKey root, const char* path, RegKey* key) {
    HKEY parent = hkey_of(root);
    if (!parent) return ERROR_INVALID_HANDLE;
    HKEY h = nullptr;
    LONG r = RegCreateKeyExA(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
    if (r != ERROR_SUCCESS) return r;
    *key = number_of(h);
    return 0;
}

void reg_close(RegKey key) {
    if (key == kHkeyCurrentUser || key == kHkeyLocalMachine) return;
    HKEY h = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_reg_mutex);
        auto it = g_reg_keys.find(key);
        if (it == g_reg_keys.end()) return;
        h = it->second;
        g_reg_keys.erase(it);
    }
    RegCloseKey(h);
}

long reg_query_info(RegKey key, RegKeyInfo* info) {
    HKEY h = hkey_of(key);
    if (!h) return ERROR_INVALID_HANDLE;
    char class_name[260];
    DWORD class_size = sizeof class_name;
    DWORD subkeys = 0, longest_subkey = 0, longest_class = 0, values = 0, longest_name = 0, longest_data = 0;
    FILETIME written;
    LONG r = RegQueryInfoKeyA(h, class_name, &class_size, nullptr, &subkeys, &longest_subkey, &longest_class, &values,
                              &longest_name, &longest_data, nullptr, &written);
    if (r != ERROR_SUCCESS) return r;
    // The system counts names in UTF-16 units and string data as UTF-16;
    // names and strings come out of the ...A calls in UTF-8, up to three
    // bytes a unit (a 6-unit name of three emoji is 12 bytes).
    info->subkeys = subkeys;
    info->longest_subkey_name = longest_subkey * 3;
    info->values = values;
    info->longest_value_name = longest_name * 3;
    info->longest_value_data = longest_data * 2;
    return 0;
}

long reg_enum_value(RegKey key, std::uint32_t index, char* name, std::uint32_t* name_size, std::uint32_t* type,
                    std::uint8_t* data, std::uint32_t* data_size) {
    HKEY h = hkey_of(key);
    if (!h) return ERROR_INVALID_HANDLE;
    DWORD n = *name_size, d = *data_size, t = 0;
    LONG r = RegEnumValueA(h, index, name, &n, nullptr, &t, data, &d);
    *name_size = n;
    *data_size = d;
    if (type) *type = t;
    return r;
}

long reg_enum_key(RegKey key, std::uint32_t index, char* name, std::uint32_t name_size) {
    HKEY h = hkey_of(key);
    if (!h) return ERROR_INVALID_HANDLE;
    return RegEnumKeyA(h, index, name, name_size);
}

long reg_set_value(RegKey key, const char* name, std::uint32_t type, const void* data, std::uint32_t size) {
    HKEY h = hkey_of(key);
    if (!h) return ERROR_INVALID_HANDLE;
    return RegSetValueExA(h, name, 0, type, static_cast<const BYTE*>(data), size);
}

long reg_delete_value(RegKey key, const char* name) {
    HKEY h = hkey_of(key);
    if (!h) return ERROR_INVALID_HANDLE;
    return RegDeleteValueA(h, name);
}

long reg_delete_tree(RegKey key, const char* subkey) {
    HKEY h = hkey_of(key);
    if (!h) return ERROR_INVALID_HANDLE;
    // Below the key first: a key with subkeys cannot be deleted.
    HKEY branch = nullptr;
    LONG r = RegOpenKeyExA(h, subkey, 0, KEY_ALL_ACCESS, &branch);
    if (r != ERROR_SUCCESS) return r;
    char child[260];
    while (RegEnumKeyA(branch, 0, child, sizeof child) == ERROR_SUCCESS) {
        RegKey number = number_of(branch);
        r = reg_delete_tree(number, child);
        {
            std::lock_guard<std::mutex> lock(g_reg_mutex);
            g_reg_keys.erase(number);
        }
        if (r != ERROR_SUCCESS) break;
    }
    RegCloseKey(branch);
    if (r != ERROR_SUCCESS) return r;
    return RegDeleteKeyA(h, subkey);
}

void reg_reset_store() {}

// ---- Simulated drives (posix build only) ---------------------------------

bool mount_drive(char, const DriveMount&) {
    return false;
}
void unmount_drive(char) {}

} // namespace platform
