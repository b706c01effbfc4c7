// kestril.vxd: the file-change logging driver, a DLL loaded into the install
// monitor. While open it watches every fixed drive for created, renamed and
// written files and created folders; once armed it hands their full paths to
// the monitor through the shared record ring and signals the monitor's event.
//
// Each path is reported once per session: the monitor counts files, not
// writes, and a file written in many pieces would otherwise fill the ring.
// A written folder (an entry inside it changed) is no change of its own and
// is not reported. Paths the monitor names (its log file, its Copy folder)
// are left out, and so, under Wine, is the drive that maps the whole host
// (its root is "/"), unless KESTRIL_WATCH_HOST_ROOT is set.
//
// Windows watches a whole drive through one request on its root. Wine's
// requests on a folder tree see the folder itself and folders made later,
// not the folders that were there already, so under Wine every folder of
// the drive gets a request of its own. All requests complete on one port
// served by one thread.
//
// The ring holds at most 128 waiting records; further paths wait in a queue
// here until the monitor has consumed slots, so no record is overwritten.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "driver/vxd_exchange.h"
#include "monitor/log_ring.h"

namespace {

constexpr DWORD kWatchFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                               FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE;
// A drive's root request sees the whole drive; a folder's sees little.
constexpr DWORD kDriveBufferBytes = 64 * 1024;
constexpr DWORD kFolderBufferBytes = 4 * 1024;
// Folder requests under Wine hold a handle and a watch on the host each;
// beyond this many folders are left unwatched.
constexpr std::size_t kMaxFolderWatches = 8192;
// While the ring is full the writer looks again this often (milliseconds).
constexpr DWORD kFullRingPause = 5;
// Completion key that ends the watching thread.
constexpr ULONG_PTR kStopKey = 0;

std::string lowered(std::string s) {
    if (!s.empty()) CharLowerA(&s[0]);
    return s;
}

void* kernel_export(const char* module, const char* name) {
    HMODULE m = GetModuleHandleA(module);
    return m ? reinterpret_cast<void*>(GetProcAddress(m, name)) : nullptr;
}

bool under_wine() {
    return kernel_export("ntdll.dll", "wine_get_version") != nullptr;
}

// Under Wine a drive may map the host's root; watching it would report every
// change on the host machine.
bool maps_host_root(const wchar_t* root) {
    using UnixFileName = char*(CDECL*)(const wchar_t*);
    auto unix_name =
        reinterpret_cast<UnixFileName>(kernel_export("kernel32.dll", "wine_get_unix_file_name"));
    if (!unix_name) return false;
    char* name = unix_name(root);
    if (!name) return false;
    std::string s = name;
    HeapFree(GetProcessHeap(), 0, name);
    while (!s.empty() && (s.back() == '/' || s.back() == '.'))
        s.pop_back();
    return s.empty();
}

bool watch_host_root() {
    const char* v = std::getenv("KESTRIL_WATCH_HOST_ROOT");
    return v && *v && std::strcmp(v, "0") != 0;
}

// One outstanding change request on a folder (with its trailing backslash).
struct Watch {
    std::wstring folder;
    HANDLE handle = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped = {};
    std::vector<DWORD> buffer; // DWORD elements: notifications are DWORD-aligned
    bool pending = false;
};

class Driver {
  public:
    bool open() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (open_) return false;
        queue_.clear();
        reported_.clear();
        ignored_.clear();
        ring_ = nullptr;
        event_ = nullptr;
        stopping_ = false;
        status_ = 0;
        stop_event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        port_ = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
        if (stop_event_ && port_) {
            // The first requests are in place before open() returns, so
            // nothing that happens afterwards is missed.
            std::promise<bool> ready;
            std::future<bool> watching = ready.get_future();
            watcher_ = std::thread(&Driver::watch, this, std::move(ready));
            if (watching.get()) {
                open_ = true;
                return true;
            }
            watcher_.join();
        }
        release_handles();
        return false;
    }

    bool ignore(const char* path) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!open_) return false;
        std::string p = lowered(path);
        while (p.size() > 3 && p.back() == '\\')
            p.pop_back();
        ignored_.push_back(p);
        return true;
    }

    void* arm(HANDLE event, monitor::LogRing* ring) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!open_ || stopping_ || !event || !ring) return nullptr;
        event_ = event;
        ring_ = ring;
        if (!writer_.joinable()) writer_ = std::thread(&Driver::write_records, this);
        queued_.notify_all();
        return &status_;
    }

    // Afterwards nothing is written into the ring any more.
    bool stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!open_) return false;
        }
        end_threads();
        return true;
    }

    void close() {
        end_threads();
        std::lock_guard<std::mutex> lock(mutex_);
        release_handles();
        open_ = false;
    }

  private:
    void end_threads() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
            if (stop_event_) SetEvent(stop_event_);
            if (port_ && watcher_.joinable())
                PostQueuedCompletionStatus(port_, 0, kStopKey, nullptr);
        }
        queued_.notify_all();
        if (watcher_.joinable()) watcher_.join();
        if (writer_.joinable()) writer_.join();
    }

    void release_handles() {
        if (stop_event_) CloseHandle(stop_event_);
        if (port_) CloseHandle(port_);
        stop_event_ = nullptr;
        port_ = nullptr;
    }

    // The folders to watch on one drive: its root, and under Wine every
    // folder below it that is no link to somewhere else.
    void add_folders(const std::wstring& root, bool every_folder,
                     std::vector<std::unique_ptr<Watch>>* watches) {
        std::deque<std::wstring> folders{root};
        while (!folders.empty() && watches->size() < kMaxFolderWatches) {
            auto watch = std::make_unique<Watch>();
            watch->folder = folders.front();
            folders.pop_front();
            watch->buffer.resize(
                (every_folder && watch->folder != root ? kFolderBufferBytes : kDriveBufferBytes) /
                sizeof(DWORD));
            watches->push_back(std::move(watch));
            if (!every_folder) break;
            WIN32_FIND_DATAW found;
            HANDLE find = FindFirstFileW((watches->back()->folder + L"*").c_str(), &found);
            if (find == INVALID_HANDLE_VALUE) continue;
            do {
                const DWORD a = found.dwFileAttributes;
                if ((a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT) &&
                    std::wcscmp(found.cFileName, L".") != 0 &&
                    std::wcscmp(found.cFileName, L"..") != 0)
                    folders.push_back(watches->back()->folder + found.cFileName + L"\\");
            } while (FindNextFileW(find, &found));
            FindClose(find);
        }
    }

    bool request(Watch* watch) {
        watch->overlapped = OVERLAPPED();
        watch->pending =
            ReadDirectoryChangesW(watch->handle, watch->buffer.data(),
                                  static_cast<DWORD>(watch->buffer.size() * sizeof(DWORD)), TRUE,
                                  kWatchFilter, nullptr, &watch->overlapped, nullptr);
        return watch->pending;
    }

    // The watching thread: places the requests, tells open() whether any
    // is in place, then serves their completions until the stop.
    void watch(std::promise<bool> ready) {
        std::vector<std::unique_ptr<Watch>> watches;
        const bool every_folder = under_wine();
        const DWORD drives = GetLogicalDrives();
        for (int i = 0; i < 26; ++i) {
            if (!(drives & (1u << i))) continue;
            const wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', L'\0'};
            if (GetDriveTypeW(root) != DRIVE_FIXED) continue;
            if (maps_host_root(root) && !watch_host_root()) continue;
            add_folders(root, every_folder, &watches);
        }
        std::size_t pending = 0;
        for (auto& watch : watches) {
            watch->handle = CreateFileW(watch->folder.c_str(), FILE_LIST_DIRECTORY,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
            if (watch->handle == INVALID_HANDLE_VALUE) continue;
            if (CreateIoCompletionPort(watch->handle, port_,
                                       reinterpret_cast<ULONG_PTR>(watch.get()), 0) &&
                request(watch.get()))
                ++pending;
        }
        ready.set_value(pending > 0);

        bool stopping = pending == 0;
        while (pending > 0 || !stopping) {
            DWORD bytes = 0;
            ULONG_PTR key = 0;
            OVERLAPPED* overlapped = nullptr;
            const BOOL ok = GetQueuedCompletionStatus(port_, &bytes, &key, &overlapped, INFINITE);
            if (!overlapped) {
                if (!ok && key != kStopKey) break; // the port itself failed
                stopping = true;
                // Every request must have completed before its buffer goes.
                for (auto& watch : watches)
                    if (watch->pending) CancelIoEx(watch->handle, &watch->overlapped);
                continue;
            }
            Watch* watch = reinterpret_cast<Watch*>(key);
            watch->pending = false;
            --pending;
            // A failed request (the folder was removed) is not renewed. Zero
            // bytes: more changes came than the buffer holds; they are lost.
            if (!ok || stopping) continue;
            if (bytes > 0) report(*watch, bytes);
            if (request(watch)) ++pending;
        }
        for (auto& watch : watches)
            if (watch->handle != INVALID_HANDLE_VALUE) CloseHandle(watch->handle);
    }

    void report(const Watch& watch, DWORD size) {
        const auto* data = reinterpret_cast<const unsigned char*>(watch.buffer.data());
        for (DWORD at = 0; at + sizeof(FILE_NOTIFY_INFORMATION) <= size;) {
            const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(data + at);
            const DWORD action = info->Action;
            if (action == FILE_ACTION_ADDED || action == FILE_ACTION_MODIFIED ||
                action == FILE_ACTION_RENAMED_NEW_NAME)
                add(watch.folder +
                        std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t)),
                    action == FILE_ACTION_MODIFIED);
            if (info->NextEntryOffset == 0) break;
            at += info->NextEntryOffset;
        }
    }

    void add(const std::wstring& wide, bool written) {
        if (written) {
            const DWORD attributes = GetFileAttributesW(wide.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
                return;
        }
        // The record holds 253 bytes and a NUL, in UTF-8 as every path of the
        // programs; a longer path is left out, since cut short it would name
        // another file.
        char path[monitor::kLogRecordSize];
        const int n =
            WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), path,
                                static_cast<int>(sizeof path - 1), nullptr, nullptr);
        if (n <= 0) return;
        path[n] = '\0';
        const std::string key = lowered(path);
        std::lock_guard<std::mutex> lock(mutex_);
        for (const std::string& ignored : ignored_) {
            if (key.compare(0, ignored.size(), ignored) == 0 &&
                (key.size() == ignored.size() || key[ignored.size()] == '\\'))
                return;
        }
        if (!reported_.insert(key).second) return;
        queue_.emplace_back(path);
        queued_.notify_all();
    }

    // Moves queued paths into free slots of the ring, then tells the monitor.
    void write_records() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            bool wrote = false;
            while (!queue_.empty()) {
                const std::int32_t next = (ring_->writeIndex.load(std::memory_order_relaxed) + 1) %
                                          monitor::kLogRingSlots;
                // Writing the slot the monitor consumed last would make the
                // ring read as empty: it is full.
                if (next == ring_->readIndex.load(std::memory_order_acquire)) break;
                char* slot = ring_->slots[next];
                std::memset(slot, 0, monitor::kLogRecordSize);
                std::memcpy(slot, queue_.front().data(), queue_.front().size());
                ring_->writeIndex.store(next, std::memory_order_release);
                queue_.pop_front();
                wrote = true;
            }
            if (wrote) {
                status_.store(1, std::memory_order_release);
                SetEvent(event_);
            }
            if (!queue_.empty()) {
                lock.unlock();
                WaitForSingleObject(stop_event_, kFullRingPause);
                lock.lock();
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::string> queue_;
    std::set<std::string> reported_;   // lowercased
    std::vector<std::string> ignored_; // lowercased, without trailing backslash
    HANDLE event_ = nullptr;
    monitor::LogRing* ring_ = nullptr;
    HANDLE stop_event_ = nullptr;
    HANDLE port_ = nullptr;
    bool open_ = false;
    bool stopping_ = false;
    std::atomic<std::int32_t> status_{0};
    std::thread watcher_;
    std::thread writer_;
};

Driver g_driver;

} // namespace

extern "C" {

__declspec(dllexport) int kestril_open() {
    return g_driver.open() ? 1 : 0;
}

__declspec(dllexport) int kestril_control(std::uint32_t code, const void* in, std::uint32_t in_size,
                                          void* out, std::uint32_t out_size) {
    switch (code) {
    case vxd::kArm: {
        if (!in || in_size < sizeof(vxd::ArmRequest) || !out || out_size < sizeof(void*)) return 0;
        const auto* request = static_cast<const vxd::ArmRequest*>(in);
        void* status = g_driver.arm(static_cast<HANDLE>(request->event),
                                    static_cast<monitor::LogRing*>(request->ring));
        std::memcpy(out, &status, sizeof status);
        return status ? 1 : 0;
    }
    case vxd::kStop:
        return g_driver.stop() ? 1 : 0;
    case vxd::kIgnore: {
        const char* path = static_cast<const char*>(in);
        if (!path || in_size == 0 || !std::memchr(path, '\0', in_size)) return 0;
        return g_driver.ignore(path) ? 1 : 0;
    }
    default:
        return 0;
    }
}

__declspec(dllexport) void kestril_close() {
    g_driver.close();
}
}

// The exports must keep the types the monitor calls them with.
static_assert(std::is_same<decltype(&kestril_open), vxd::OpenFunction>::value, "open export");
static_assert(std::is_same<decltype(&kestril_control), vxd::ControlFunction>::value,
              "control export");
static_assert(std::is_same<decltype(&kestril_close), vxd::CloseFunction>::value, "close export");
