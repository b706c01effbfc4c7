// The platform layer on Windows (and Wine). DOS paths go to the ...A API
// unchanged, in the system code page; drive types, labels and free space come
// from the system, so there is no drive table here.
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
    DWORD a = GetFileAttributesA(path);
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_READONLY) ||
        (a & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    SetLastError(ERROR_ACCESS_DENIED);
    return true;
}

FileHandle open_with(const char* path, DWORD access, DWORD disposition) {
    if ((access & GENERIC_WRITE) && refuse_read_only(path)) return kInvalidFile;
    HANDLE h = CreateFileA(path, access, FILE_SHARE_READ, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
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
    WCHAR* wide = convert(unix_path.c_str());
    if (!wide) return false;
    bool ok = false;
    int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n > 0) {
        std::string narrow(static_cast<std::size_t>(n), '\0');
        if (WideCharToMultiByte(CP_ACP, 0, wide, -1, &narrow[0], n, nullptr, nullptr) == n) {
            narrow.resize(static_cast<std::size_t>(n - 1));
            *out = std::move(narrow);
            ok = true;
        }
    }
    HeapFree(GetProcessHeap(), 0, wide);
    return ok;
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
    int n = MultiByteToWideChar(CP_ACP, 0, dos_path.c_str(), -1, nullptr, 0);
    if (n <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, dos_path.c_str(), -1, &wide[0], n) != n) return false;
    char* unix_path = convert(wide.c_str());
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
    DWORD a = GetFileAttributesA(path);
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
        DWORD a = GetFileAttributesA(p.substr(0, i).c_str());
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
    DWORD a = GetFileAttributesA(path);
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_REPARSE_POINT))
        return create_file(path);
    // A link or junction is removed itself, then a new file made in its
    // place; CREATE_NEW fails rather than follow one put back meanwhile.
    BOOL removed = (a & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryA(path) : DeleteFileA(path);
    if (!removed) return kInvalidFile;
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
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
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
    *seconds = unix_from_filetime(data.ftLastWriteTime);
    return true;
}

// ---- Attributes, names ---------------------------------------------------

std::uint32_t get_attributes(const char* path) {
    DWORD a = GetFileAttributesA(path);
    if (a == INVALID_FILE_ATTRIBUTES) return kInvalidAttributes;
    return a & kDosAttributes;
}

bool set_attributes(const char* path, std::uint32_t attributes) {
    DWORD now = GetFileAttributesA(path);
    if (now != INVALID_FILE_ATTRIBUTES && (now & FILE_ATTRIBUTE_REPARSE_POINT)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    DWORD a = attributes & kSettableAttributes;
    return SetFileAttributesA(path, a ? a : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool delete_file(const char* path) {
    return DeleteFileA(path) != 0;
}

bool move_file(const char* from, const char* to) {
    return MoveFileA(from, to) != 0;
}

bool replace_file(const char* from, const char* to) {
    // One rename within a folder: the target holds the old or the new file, never neither.
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool copy_file(const char* from, const char* to, bool fail_if_exists) {
    return CopyFileA(from, to, fail_if_exists ? TRUE : FALSE) != 0;
}

// ---- Folders -------------------------------------------------------------

bool create_directory(const char* path) {
    return CreateDirectoryA(path, nullptr) != 0;
}

bool remove_directory(const char* path) {
    return RemoveDirectoryA(path) != 0;
}

bool find_files(const char* pattern, std::vector<FindData>* out, bool) {
    out->clear();
    WIN32_FIND_DATAA fd;
    ScopedFind find(FindFirstFileA(pattern ? pattern : "", &fd));
    if (!find.valid()) {
        // An existing folder without a matching name is an empty result.
        DWORD e = GetLastError();
        return e == ERROR_FILE_NOT_FOUND || e == ERROR_NO_MORE_FILES;
    }
    do {
        if (!lstrcmpA(fd.cFileName, ".") || !lstrcmpA(fd.cFileName, "..")) continue;
        FindData entry;
        entry.name = fd.cFileName;
        entry.attributes = fd.dwFileAttributes & kDosAttributes;
        entry.size = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : fd.nFileSizeLow;
        entry.time = local_dos_time_from_unix(unix_from_filetime(fd.ftLastWriteTime));
        out->push_back(std::move(entry));
    } while (FindNextFileA(find.get(), &fd));
    if (GetLastError() != ERROR_NO_MORE_FILES) return false;
    return true;
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
        module_ = LoadLibraryA(path.c_str());
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
    char buf[MAX_PATH + 1] = {};
    DWORD n = GetTempPathA(sizeof buf, buf);
    if (n == 0 || n > MAX_PATH) return "C:\\";
    return buf;
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

std::string current_directory() {
    char buf[MAX_PATH + 1] = {};
    DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
    if (n == 0 || n > MAX_PATH) return std::string();
    return buf;
}

bool set_current_directory(const char* path) {
    return SetCurrentDirectoryA(path) != 0;
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
    info->subkeys = subkeys;
    info->longest_subkey_name = longest_subkey;
    info->values = values;
    info->longest_value_name = longest_name;
    info->longest_value_data = longest_data;
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
