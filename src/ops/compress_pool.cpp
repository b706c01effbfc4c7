#include "ops/compress_pool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "codec/crc32.h"
#include "codec/deflate.h"
#include "ops/add.h"
#include "ops/add_member.h"
#include "ops/flist.h"
#include "ops/paths.h"
#include "zip/progress.h"
#include "zip/writer.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

// Members whose source is larger than this are compressed into a temporary
// file, so that memory stays bounded whatever the sources are.
constexpr std::uint64_t kSpillAt = std::uint64_t(8) << 20;
// Members handed out beyond one per worker, so no worker waits for the writer.
constexpr unsigned kQueueExtra = 2;
constexpr std::uint32_t kCopyPiece = 256 * 1024;
constexpr unsigned kMaxThreads = 64;

struct Warning {
    std::int32_t code;
    std::string name, detail;
    bool has_detail;
};

// One file of the list on its way from a worker to the writer.
struct Task {
    std::string path, name;
    // Set by the worker; the writer reads them once finished is set.
    bool opened = false;
    bool folder = false;
    std::vector<Warning> warnings;
    std::unique_ptr<zentry> entry;
    std::vector<std::uint8_t> data;
    platform::FileHandle spill = platform::kInvalidFile;
    char spill_path[platform::kMaxPath] = {};
    std::uint64_t compressed = 0;
    std::int32_t error = 0;
    bool finished = false; // guarded by the pool's mutex
    // The file gauge while the worker is at it.
    std::atomic<std::uint64_t> total{0}, done{0};

    Task(std::string p, std::string n) : path(std::move(p)), name(std::move(n)) {}
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    ~Task() { drop_spill(); }

    void drop_spill() {
        platform::close_file(spill);
        spill = platform::kInvalidFile;
        if (spill_path[0]) platform::delete_file(spill_path);
        spill_path[0] = '\0';
    }
};

// A worker engine's progress: collects the warnings of the member at hand
// for the writer to give in order, and stops the member once the job is
// cancelled (the codec looks at the engine's error between window refills).
class WorkerProgress final : public JobProgress {
  public:
    WorkerProgress(zip& engine, const std::atomic<bool>& cancel)
        : engine_(engine), cancel_(cancel) {}
    Task* task = nullptr;

    void FileProgress(std::uint64_t total_bytes, std::uint64_t bytes_done) override {
        if (task) {
            task->total.store(total_bytes, std::memory_order_relaxed);
            task->done.store(bytes_done, std::memory_order_relaxed);
        }
        if (cancel_.load(std::memory_order_relaxed)) set_error(engine_, ZERR_CANCEL);
    }
    void AddWarningAbout(std::int32_t code, const char* name, const char* detail) override {
        if (task)
            task->warnings.push_back(
                {code, name ? name : "", detail ? detail : "", detail != nullptr});
    }
    void SetCaption(const char*) override {}
    void StartJob(const char*, int) override {}
    void SetFile(const char*) override {}
    void ResetFileGauge(int) override {}
    void Step() override {}
    void AddLine(const char*, int) override {}
    void LogLine(const char*, const char*) override {}
    void LogResult(const char*, const char*, int) override {}
    void LogAdded(const char*, const char*, std::uint64_t, std::uint64_t) override {}
    void AddWarning(const char*) override {}
    void FinishJob() override {}

  private:
    zip& engine_;
    const std::atomic<bool>& cancel_;
};

class Pool {
  public:
    Pool(unsigned threads, std::uint32_t level, bool store_links, std::string temp_folder)
        : level_(level), store_links_(store_links), temp_folder_(std::move(temp_folder)) {
        workers_.reserve(threads);
        for (unsigned i = 0; i < threads; ++i)
            workers_.emplace_back([this] { run(); });
    }

    // Stops the workers (a member in progress ends at its next refill) and
    // waits for them: no thread outlives the job.
    ~Pool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        cancel_.store(true);
        work_ready_.notify_all();
        for (std::thread& t : workers_)
            t.join();
    }

    void submit(Task* task) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(task);
        }
        work_ready_.notify_one();
    }

    // Waits for the task, keeping the file gauge moving; the progress calls
    // are also where a Cancel reaches the job. False when the job stopped.
    bool wait(zip& z, Task& task) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!task.finished) {
            task_done_.wait_for(lock, std::chrono::milliseconds(100));
            if (task.finished) break;
            lock.unlock();
            if (z.progress)
                z.progress->FileProgress(task.total.load(std::memory_order_relaxed),
                                         task.done.load(std::memory_order_relaxed));
            lock.lock();
            if (z.error) return false;
        }
        return true;
    }

  private:
    void run() {
        zip engine;
        WorkerProgress progress(engine, cancel_);
        engine.progress = &progress;
        std::int32_t setup_error = makeCrcTable(engine) != 0 ? ZERR_MEMORY : 0;
        if (setup_error == 0 && level_ != 0 && startDeflateJob(engine) != 0)
            setup_error = ZERR_MEMORY;
        for (;;) {
            Task* task = nullptr;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                work_ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (stopping_) break;
                task = queue_.front();
                queue_.pop_front();
            }
            if (setup_error)
                task->error = setup_error;
            else
                compress(engine, progress, *task);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                task->finished = true;
            }
            task_done_.notify_all();
        }
        engine.progress = nullptr;
        releaseDeflateJob(engine);
    }

    // What add_member does up to the writing, into memory or a temporary file.
    void compress(zip& engine, WorkerProgress& progress, Task& task) {
        engine.error = 0;
        progress.task = &task;
        SourceFile src;
        task.opened = open_source(engine, task.path, src, store_links_);
        if (task.opened) {
            task.folder = src.folder;
            std::unique_ptr<zentry> e = new_member(engine, src, task.name, level_);
            if (!src.folder && src.size > kSpillAt) {
                task.spill = create_unique_file(temp_folder_, task.spill_path);
                if (task.spill == platform::kInvalidFile) set_error(engine, ZERR_TEMP);
                engine.output_handle = task.spill;
            } else {
                engine.output_memory = &task.data;
            }
            task.compressed = compress_member(engine, *e, src, level_);
            engine.output_memory = nullptr;
            engine.output_handle = platform::kInvalidFile; // the task owns the spill
            engine.current_entry = nullptr;
            task.entry = std::move(e);
        }
        task.error = engine.error;
        if (task.error) {
            task.drop_spill();
            task.data = {};
        }
        progress.task = nullptr;
    }

    const std::uint32_t level_;
    const bool store_links_;
    const std::string temp_folder_;
    std::mutex mutex_;
    std::condition_variable work_ready_, task_done_;
    std::deque<Task*> queue_;
    bool stopping_ = false;
    std::atomic<bool> cancel_{false};
    std::vector<std::thread> workers_;
};

void write_memory(zip& z, const std::vector<std::uint8_t>& data) {
    std::size_t at = 0;
    while (z.error == 0 && at < data.size()) {
        const auto n =
            static_cast<std::uint32_t>(std::min<std::size_t>(data.size() - at, kCopyPiece));
        write_member_output(z, data.data() + at, n);
        at += n;
    }
}

void copy_spill(zip& z, Task& task) {
    if (!platform::seek_file(task.spill, 0)) {
        set_error(z, ZERR_READ);
        return;
    }
    std::unique_ptr<std::uint8_t[]> buf = allocate_buffer(z, kCopyPiece);
    std::uint64_t left = task.compressed;
    while (z.error == 0 && left > 0) {
        const auto want = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, kCopyPiece));
        std::uint32_t got = 0;
        if (!platform::read_file(task.spill, buf.get(), want, &got) || got == 0) {
            set_error(z, ZERR_READ);
            break;
        }
        write_member_output(z, buf.get(), got);
        left -= got;
    }
}

// The writer's half of add_member, for a finished task.
void write_task(zip& z, zlist& list, Task& task) {
    for (const Warning& w : task.warnings)
        zip_warning(z, w.code, w.name.c_str(), w.has_detail ? w.detail.c_str() : nullptr);
    if (!task.opened) {
        set_error(z, task.error);
        if (z.progress) z.progress->Step();
        return;
    }
    std::unique_ptr<zentry> e = std::move(task.entry);
    set_error(z, task.error);
    if (z.error == 0) {
        write_local_header(z, *e);
        e->local_header_offset = z.output_position - 30 - e->name_length - e->local_extra_length;
        if (task.spill != platform::kInvalidFile)
            copy_spill(z, task);
        else
            write_memory(z, task.data);
        if (z.error == 0) {
            z.output_position += task.compressed;
            rewrite_local_header(z, *e);
        }
    }
    task.drop_spill();
    task.data = {};
    if (z.error == 0 && z.progress && !task.folder)
        z.progress->FileProgress(e->uncompressed_size, e->uncompressed_size);
    SourceFile src;
    src.folder = task.folder;
    finish_member(z, list, std::move(e), src, task.path, true);
}

std::string archive_folder(const zip& z) {
    char folder[platform::kMaxPath];
    platform::copy_bounded(folder, sizeof folder, z.archive_path);
    stripFileName(folder);
    return folder;
}

} // namespace

unsigned compress_threads(const zip& z) {
    unsigned n = z.threads ? z.threads : std::thread::hardware_concurrency();
    return std::clamp(n, 1u, kMaxThreads);
}

std::uint32_t add_files_parallel(zip& z, zlist& list, flist& files, std::uint32_t level,
                                 unsigned threads) {
    std::vector<std::unique_ptr<Task>> tasks;
    tasks.reserve(files.entries.size());
    for (const fentry& f : files.entries)
        tasks.push_back(std::make_unique<Task>(
            f.path, stored_name(f.path, files.prefix_length, files.full_paths)));

    std::uint32_t added = 0;
    {
        // Declared after the tasks: the workers end before the tasks go.
        Pool pool(threads, level, files.store_links != 0, temporary_folder(z, archive_folder(z)));
        const std::size_t ahead = threads + kQueueExtra;
        std::size_t next = 0;
        for (std::size_t i = 0; i < tasks.size() && z.error == 0; ++i) {
            for (; next < tasks.size() && next < i + ahead; ++next)
                if (!tasks[next]->name.empty()) pool.submit(tasks[next].get());
            Task& task = *tasks[i];
            if (z.progress) z.progress->SetFile(task.path.c_str());
            if (task.name.empty()) continue;
            if (!pool.wait(z, task)) {
                // Stopped while the member was compressed, as one thread reports it.
                if (z.progress) {
                    z.progress->LogResult("Add", task.path.c_str(), z.error);
                    z.progress->Step();
                }
                break;
            }
            const std::uint32_t before = list.count();
            write_task(z, list, task);
            if (list.count() > before) ++added;
            tasks[i].reset();
        }
    }
    return added;
}
