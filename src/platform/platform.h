// The operating-system layer: the only code that talks to the OS.
//
// Paths are DOS paths as the engine uses them: a drive letter, a colon,
// backslashes, at most 260 bytes, in the system code page. The win32 build
// hands them to the ...A API unchanged; the posix build maps the drive letter
// through a drive table onto host folders, the way Wine does (Z: is the host
// root), so the engine and its tests behave the same on both.
//
// Results use the Win32 conventions the engine relies on: drive types 0..6,
// system error codes 2/3/5/112, message-box button and answer values.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

constexpr std::size_t kMaxPath = 260;

// Copies src into a fixed buffer of dst_size bytes, always NUL-terminated.
// Returns false when src did not fit (dst then holds the truncated prefix).
bool copy_bounded(char* dst, std::size_t dst_size, const char* src);

// folder with a backslash at its end, ready for a name to be added.
std::string with_backslash(const std::string& folder);

// ---- Files ---------------------------------------------------------------

using FileHandle = std::intptr_t;
constexpr FileHandle kInvalidFile = -1;

// System error codes, numbered as on Windows.
enum SystemError : std::uint32_t {
    kErrNone = 0,
    kErrFileNotFound = 2,
    kErrPathNotFound = 3,
    kErrAccessDenied = 5,
    kErrDiskFull = 112,
};

// Error of the last failed call on this thread (a SystemError value or another code).
std::uint32_t last_error();

FileHandle open_read(const char* path);     // existing file, shared read
FileHandle open_write(const char* path);    // existing file, read and write, no truncation
FileHandle create_file(const char* path);   // new or truncated file, read and write
// Opens an existing regular file for reading, as open_read does, without
// ever blocking: what is not a regular file (a FIFO, a device) is not opened,
// or closed again when one was swapped in meanwhile, and *not_a_file is set.
FileHandle open_read_regular(const char* path, bool* not_a_file);
// True when a folder between folder and the last part of path, which lies
// below it, is a symbolic link or another reparse point: writing through it
// could leave folder. folder itself may be one; the user chose it.
bool link_between(const char* folder, const char* path);
// Creates path, which lies below folder, as a new file, read and write. What
// stands at path and is not a folder is replaced, never written through: a
// link is removed and a new file made in its place. Fails when a folder on
// the way is a link (as link_between says, checked again while opening) or,
// as create_file does, when path is a read-only file.
FileHandle create_file_below(const char* folder, const char* path);
void close_file(FileHandle h);
// Reads up to n bytes; false on an I/O error. *got is 0 at end of file.
bool read_file(FileHandle h, void* buf, std::uint32_t n, std::uint32_t* got);
// Writes n bytes; false (with last_error set) when not all could be written.
bool write_file(FileHandle h, const void* buf, std::uint32_t n, std::uint32_t* written);
bool seek_file(FileHandle h, std::uint64_t offset);
bool tell_file(FileHandle h, std::uint64_t* offset);
bool file_size(FileHandle h, std::uint32_t* size); // fails for 4 GB and more
bool file_size64(FileHandle h, std::uint64_t* size);
bool truncate_file(FileHandle h); // cut at the current position

// Closes the handle when the owner goes out of scope.
class ScopedFile {
  public:
    explicit ScopedFile(FileHandle h = kInvalidFile) : h_(h) {}
    ~ScopedFile() { reset(); }
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;
    FileHandle get() const { return h_; }
    bool valid() const { return h_ != kInvalidFile; }
    FileHandle release() {
        FileHandle h = h_;
        h_ = kInvalidFile;
        return h;
    }
    void reset(FileHandle h = kInvalidFile) {
        if (h_ != kInvalidFile) close_file(h_);
        h_ = h;
    }

  private:
    FileHandle h_;
};

// ---- Times ---------------------------------------------------------------

// A DOS date and time as stored in ZIP headers: local time, as every ZIP
// tool writes it.
struct DosTime {
    std::uint16_t date = 0;
    std::uint16_t time = 0;
};

// Calendar arithmetic between seconds since 1970 and DOS fields, applying no
// zone. Years before 1980 give 1980-01-01 00:00:00, years after 2107 give
// 2107-12-31 23:59:58.
DosTime dos_time_from_unix(std::int64_t seconds);
std::int64_t unix_from_dos_time(DosTime t);

// Broken-down time of a DOS date and time, fields as stored (no validation).
struct DosFields {
    int year, month, day, hour, minute, second;
};
DosFields split_dos_time(DosTime t);

// Seconds east of UTC of the local zone at the instant utc: the offset in
// force at that date (summer or winter time), not today's.
std::int64_t zone_offset_at(std::int64_t utc);
// Seconds since 1970-01-01 UTC <-> local DOS date and time, with the zone in
// force at that date. A local time inside the gap of a change to summer time
// is taken with the offset before the change; one that occurs twice (the
// hour repeated at the change back) as its first occurrence.
DosTime local_dos_time_from_unix(std::int64_t seconds);
std::int64_t unix_from_local_dos_time(DosTime t);

// A file's last-write time as local DOS time, and set from one.
bool get_file_time(FileHandle h, DosTime* t);
bool set_file_time(FileHandle h, DosTime t);
// The same in whole seconds since 1970-01-01 UTC.
bool get_file_unix_time(FileHandle h, std::int64_t* seconds);
bool set_file_unix_time(FileHandle h, std::int64_t seconds);
// The last-write time of a file or folder by its path, without opening it.
bool get_path_unix_time(const char* path, std::int64_t* seconds);
// Sets a folder's last-write time by its path; a folder that is a link is
// left alone (false), so that the time never lands on what it points to.
bool set_folder_unix_time(const char* path, std::int64_t seconds);

// ---- Attributes, names ---------------------------------------------------

enum Attribute : std::uint32_t {
    kAttrReadOnly = 0x01,
    kAttrHidden = 0x02,
    kAttrSystem = 0x04,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
};
constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFFu;

std::uint32_t get_attributes(const char* path); // kInvalidAttributes when missing
// Never through a symbolic link: on a link it fails and changes nothing.
bool set_attributes(const char* path, std::uint32_t attributes);
bool delete_file(const char* path);
bool move_file(const char* from, const char* to); // fails when `to` exists
bool copy_file(const char* from, const char* to, bool fail_if_exists);
// Puts `from` in the place of `to` in one step (both in the same folder): the
// target name holds the old or the new file at every moment. Fails when `to`
// is read-only.
bool replace_file(const char* from, const char* to);

// ---- Folders -------------------------------------------------------------

bool create_directory(const char* path);
bool remove_directory(const char* path);

// While one is open, this thread's lookups of names without regard to case
// are answered from each folder's names, read once, and kept up to date by
// this thread's own creations, moves and removals. What the job's listing of
// a folder lacks is taken as missing without asking the file system, and such
// a name is only ever created new, never replaced: a file another process
// puts there meanwhile makes the creation fail rather than be written over.
// A name another process adds in another case is not matched. Where names
// are matched by the host itself (Windows) it does nothing.
class NameCacheScope {
public:
    NameCacheScope();
    ~NameCacheScope();
    NameCacheScope(const NameCacheScope&) = delete;
    NameCacheScope& operator=(const NameCacheScope&) = delete;
};

struct FindData {
    std::string name; // file part only
    std::uint32_t attributes = 0; // of what a symbolic link leads to
    bool link = false;            // a symbolic link (posix build)
    std::uint32_t size = 0;
    DosTime time;
};
// Entries of the folder part of `pattern` whose name matches its last part
// (DOS wildcards * and ?, case-insensitive); "." and ".." are left out.
// Returns false when the folder cannot be read. A symbolic link that leads
// nowhere is left out too, unless dangling_links asks for it (posix build).
bool find_files(const char* pattern, std::vector<FindData>* out, bool dangling_links = false);

// ---- Unix modes and symbolic links ------------------------------------------
//
// The posix build's own: the win32 build has no Unix modes, and fails each of
// these calls.

// A path's mode (type and permission bits, as st_mode) and modification time:
// of what it leads to, or with follow_links false of a symbolic link itself.
struct UnixStat {
    std::uint32_t mode = 0;
    std::int64_t mtime = 0; // seconds since 1970-01-01 UTC
};
// Whether this host restores symbolic links (posix: yes; win32: no).
bool has_symbolic_links();
bool get_unix_stat(const char* path, bool follow_links, UnixStat* out);
// The process's umask: the permissions a new file must not get (win32: 0).
std::uint32_t file_creation_mask();
// Gives an open file the permission bits (0777) of mode, never set-user-ID,
// set-group-ID or sticky.
bool set_unix_permissions(FileHandle h, std::uint32_t mode);
// The text a symbolic link holds; false when path is no link.
bool read_link(const char* path, std::string* target);
// Creates path, which lies below folder, as a symbolic link holding target.
// What stands at path and is not a folder is replaced, as create_file_below
// replaces it; a folder on the way that is a link fails the call.
bool create_link_below(const char* folder, const char* path, const char* target);

// ---- Drives and volumes --------------------------------------------------

enum DriveType : unsigned {
    kDriveUnknown = 0,
    kDriveNoRoot = 1,
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdRom = 5,
    kDriveRamDisk = 6,
};

// root is "X:\" (only its first character is looked at).
unsigned get_drive_type(const char* root);
// label gets at most label_size - 1 bytes.
bool get_volume_info(const char* root, char* label, std::size_t label_size, std::uint32_t* serial);
bool set_volume_label(const char* root, const char* label);
bool get_free_space(const char* root, std::uint64_t* free_bytes, std::uint64_t* total_bytes);
std::uint32_t logical_drives(); // bit 0 = A:

// ---- Message boxes and prompts -------------------------------------------

// Button sets, icons and answers, numbered as MessageBox's.
enum : unsigned {
    kMbOk = 0x0,
    kMbOkCancel = 0x1,
    kMbYesNoCancel = 0x3,
    kMbYesNo = 0x4,
    kMbIconStop = 0x10,
    kMbIconQuestion = 0x20,
    kMbIconExclamation = 0x30,
    kMbIconInformation = 0x40,
};
enum : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

struct Prompt {
    std::string text;
    std::string caption;
    unsigned style = 0; // buttons | icon
    void* owner = nullptr;
};

using PromptResponder = std::function<int(const Prompt&)>;

// Shows a message box and returns the answer. While a responder is installed
// it answers instead (tests, the command line); without one the win32 build
// shows a real box and the posix build prints the text to stderr and takes
// the safe answer (OK for an OK box, otherwise Cancel or No).
int message_box(const Prompt& prompt);
// Installs a responder; returns the previous one.
PromptResponder set_prompt_responder(PromptResponder responder);

// ---- Text ------------------------------------------------------------------

// Lowercases a NUL-terminated string in place, by the rules of the system
// code page (the posix build knows only ASCII letters).
void lower_case(char* text);

// ---- Shared memory, events and the file-change logging driver -------------

// Unnamed read/write memory that another component (the logging driver) can
// write into; it starts all zero.
struct SharedMemory {
    std::intptr_t mapping = 0;
    void* view = nullptr;
    std::size_t size = 0;
};
bool create_shared_memory(std::size_t size, SharedMemory* out);
// Unmaps the view and closes the mapping; false when either failed.
bool release_shared_memory(SharedMemory* memory);

// An auto-reset event, created non-signalled.
using EventHandle = std::intptr_t;
constexpr EventHandle kNoEvent = 0;
EventHandle create_event();
bool set_event(EventHandle event);
// Waits without time-out; true when the event was signalled.
bool wait_event(EventHandle event);
bool close_event(EventHandle event);

// The exchange with the file-change logging driver: loaded from the
// program's folder, armed with the event and the record ring (it answers
// with the address of its status word), stopped, unloaded.
class LoggingDriver {
  public:
    virtual ~LoggingDriver() = default;
    virtual bool open(const char* program_dir) = 0;
    // A file, or a folder with everything below it, the driver never reports.
    virtual bool ignore(const char* path) = 0;
    // The status word is 1 while records wait in the ring; nullptr: refused.
    virtual std::atomic<std::int32_t>* arm(EventHandle event, void* ring) = 0;
    virtual bool stop() = 0;
    virtual bool close() = 0;
};

// The driver this build can host (win32: kestril.vxd beside the program;
// posix: none, so nullptr) or the one a test installed.
LoggingDriver* logging_driver();
// Installs a driver in place of the built-in one (nullptr restores it);
// returns the previous one.
LoggingDriver* set_logging_driver(LoggingDriver* driver);

// ---- Host paths -------------------------------------------------------------

// A path as given on a command line -> the engine's DOS path: "Z:\..." on
// posix; on win32 the full path, a Unix path being mapped by Wine itself.
std::string dos_path_from_host(const std::string& host_path);
// The engine's DOS path -> the path a user of this host knows: "/tmp/a.zip"
// for "Z:\tmp\a.zip" on posix and under Wine; on Windows the DOS path itself.
// A path the host cannot map is returned as it is.
std::string host_path_for_display(const std::string& dos_path);
// The system's folder for temporary files, as a DOS path.
std::string temp_folder();
// Creates a file that did not exist, for reading and writing. Fails (last
// error 80, file exists) when anything is at path already, a link included:
// no other file is ever opened or truncated through it.
FileHandle create_new_file(const char* path);

// ---- Program environment ---------------------------------------------------

enum class StdStream { In, Out, Err };
// Whether a person is on the other end of the stream: a terminal on posix, a
// console on win32 (where NUL is a character device, and a file or pipe is
// not a console either).
bool is_terminal(StdStream stream);
// Makes a console read and show UTF-8, as the programs' text is; nothing on posix.
void use_utf8_console();

std::string current_directory();
bool set_current_directory(const char* path);
// The Windows and system folders, without trailing backslash. The posix
// build has neither and answers with its temporary folder for both.
std::string windows_directory();
std::string system_directory();

// ---- INI files ---------------------------------------------------------------

// Values are read into buffers of 260 bytes, as the programs keep them.
std::string ini_read_string(const char* file, const char* section, const char* key,
                            const char* fallback);
int ini_read_int(const char* file, const char* section, const char* key, int fallback);
bool ini_write_string(const char* file, const char* section, const char* key, const char* value);

// ---- Registry -----------------------------------------------------------------
//
// A hierarchical store of keys and typed values: the Windows registry on
// win32; on posix an in-memory store with the same rules (key and value
// names match without regard to case, enumeration follows creation order),
// for the install monitor's tests. Results are Windows error codes (0 done,
// 2 not found, 234 buffer too small, 259 no more items).

using RegKey = std::uint32_t; // an open key, or one of the two roots
constexpr RegKey kHkeyCurrentUser = 0x80000001u;
constexpr RegKey kHkeyLocalMachine = 0x80000002u;

enum : std::uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
    kRegMultiSz = 7,
};
enum : long { kRegOk = 0, kRegNotFound = 2, kRegMoreData = 234, kRegNoMoreItems = 259 };

struct RegKeyInfo {
    std::uint32_t subkeys = 0;
    std::uint32_t longest_subkey_name = 0; // characters, without the terminator
    std::uint32_t values = 0;
    std::uint32_t longest_value_name = 0;  // characters, without the terminator
    std::uint32_t longest_value_data = 0;  // bytes
};

// Opens root\path with all access (an empty path opens the root itself).
long reg_open(RegKey root, const char* path, RegKey* key);
// Opens root\path, creating it and the keys above it as needed.
long reg_create(RegKey root, const char* path, RegKey* key);
void reg_close(RegKey key);
long reg_query_info(RegKey key, RegKeyInfo* info);
// Value index of key: *name_size holds the name buffer's size and receives
// the name's length; *data_size the data buffer's size and receives the
// data's size. 259 after the last value.
long reg_enum_value(RegKey key, std::uint32_t index, char* name, std::uint32_t* name_size, std::uint32_t* type,
                    std::uint8_t* data, std::uint32_t* data_size);
// Subkey index's name into a buffer of name_size bytes; 259 after the last.
long reg_enum_key(RegKey key, std::uint32_t index, char* name, std::uint32_t name_size);
long reg_set_value(RegKey key, const char* name, std::uint32_t type, const void* data, std::uint32_t size);
long reg_delete_value(RegKey key, const char* name);
// Deletes key\subkey with everything below it.
long reg_delete_tree(RegKey key, const char* subkey);
// Empties the posix store (tests); nothing on win32.
void reg_reset_store();

// ---- Simulated drives (posix build) ---------------------------------------

struct DriveMount {
    std::string host_folder;
    unsigned type = kDriveFixed;
    std::string label;
    std::uint32_t serial = 0;
    std::uint64_t capacity = 0; // 0: report the host file system's figures
};

// Maps letter onto a host folder; mounting again on the same letter is
// "changing the disk". Returns false on the win32 build.
bool mount_drive(char letter, const DriveMount& mount);
void unmount_drive(char letter);

} // namespace platform
