// Adding on several threads: the archive, the progress and the warnings are
// those of one thread, and a job that fails leaves nothing behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#ifdef __linux__
#include <dirent.h>
#include <unistd.h>
#endif

#include "ops/add.h"
#include "ops/flist.h"
#include "ops/job_ui.h"
#include "test_support.h"
#include "zip/open_archive.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

using test::Bytes;

// Deterministic data: words (deflate shrinks them) or noise (it does not).
Bytes words(std::size_t n, std::uint32_t seed) {
    static const char* const kWords[] = {"archive ", "member ", "header ", "deflate ", "window ",
                                         "the ",     "of ",     "\n",      "{ ",       "} ",
                                         "return ",  "int ",    "0x1F ",   "// ",      "data "};
    Bytes out;
    out.reserve(n);
    while (out.size() < n) {
        seed = seed * 1103515245u + 12345u;
        const char* w = kWords[(seed >> 16) % (sizeof kWords / sizeof *kWords)];
        for (; *w && out.size() < n; ++w)
            out.push_back(static_cast<std::uint8_t>(*w));
    }
    return out;
}

Bytes noise(std::size_t n, std::uint32_t seed) {
    Bytes out(n);
    for (auto& b : out) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(seed >> 24);
    }
    return out;
}

// Records the progress and can cancel at the first gauge move of a file.
class Ui : public JobUi {
  public:
    class Progress : public test::RecordingProgress {
      public:
        Ui* ui = nullptr;
        void SetFile(const char* name) override {
            RecordingProgress::SetFile(name);
            ui->cancelling = !ui->cancel_on.empty() &&
                             std::string(name).find(ui->cancel_on) != std::string::npos;
        }
        void FileProgress(std::uint64_t total, std::uint64_t done) override {
            // Only the order of the other calls is the job's; the gauge's
            // moves depend on timing.
            if (ui->cancelling) *ui->error = ZERR_CANCEL;
            (void)total;
            (void)done;
        }
    } live;
    std::int32_t* error = nullptr;
    std::string cancel_on;
    bool cancelling = false;

    JobProgress* create_progress(void*, std::int32_t* e, std::uint32_t*) override {
        error = e;
        live.ui = this;
        live.calls.clear();
        return &live;
    }
    void destroy_progress(JobProgress*) override {}
    std::uint32_t confirm_replace(JobProgress*, void*, const char*, const zentry&) override {
        return kAnswerYesToAll;
    }
    std::uint32_t confirm_delete_read_only(void*, const char*) override { return kAnswerNo; }
};

struct Area {
    test::TempDir dir;
    std::vector<std::string> sources; // DOS paths, in list order

    Area() {
        platform::create_directory(dir.dos("src").c_str());
        platform::create_directory(dir.dos("work").c_str());
    }
    std::string add(const std::string& name, const Bytes& data) {
        sources.push_back(dir.write("src/" + name, data));
        return sources.back();
    }
    // Runs one job into archive (a file name in the area) on `threads`.
    int run(const std::string& archive, std::uint32_t action, std::uint32_t level, unsigned threads,
            Ui& ui, const std::string& work = "work") {
        zip z;
        zlist list;
        z.ui = &ui;
        z.threads = threads;
        const std::string work_dos = work.find(':') != std::string::npos ? work : dir.dos(work);
        platform::copy_bounded(z.work_folder, sizeof z.work_folder, work_dos.c_str());
        const std::string path = dir.dos(archive);
        if (action != kActionCreate && open_archive(z, list, path.c_str()) != 0) return -1;
        auto files = std::make_unique<flist>();
        files->set_source_folder(dir.dos("src"));
        for (const auto& p : sources)
            files->append(p);
        z.file_list = files.release();
        return zip_operation(z, list, nullptr, path.c_str(), action, level, 0);
    }
    Bytes bytes(const std::string& archive) const {
        return test::read_host_file(dir.host(archive));
    }
    bool empty(const std::string& folder) const {
        std::vector<platform::FindData> found;
        platform::find_files((folder + "\\*").c_str(), &found);
        return found.empty();
    }
};

// Members of every kind the writer treats apart: empty, stored because
// deflate does not shrink them, already packed, text, a folder, a name that
// needs UTF-8, and more of them than the workers and their queue hold.
void fill_corpus(Area& a) {
    a.add("empty.txt", {});
    for (int i = 0; i < 18; ++i)
        a.add("text" + std::to_string(i) + ".txt",
              words(static_cast<std::size_t>(i * i * 700 + 1), i + 1));
    a.add("noise.bin", noise(70000, 7));
    a.add("tiny-noise.bin", noise(40, 8));
    a.add("zeros.bin", Bytes(300000, 0));
    a.add("caf\xC3\xA9.txt", words(5000, 99));
    a.add("packed.zip", test::read_host_file(test::data_host_path("zip/7z_deflate_mx9.zip")));
    platform::create_directory(a.dir.dos("src/folder").c_str());
    a.sources.push_back(a.dir.dos("src/folder") + "\\");
    a.add("last.txt", words(123456, 5));
}

// The calls with the archive's name taken out, to set two archives' side by side.
std::vector<std::string> calls_about(const Ui& ui, const std::string& archive) {
    std::vector<std::string> out;
    for (std::string c : ui.live.calls) {
        for (std::size_t at; (at = c.find(archive)) != std::string::npos;)
            c.replace(at, archive.size(), "ARCHIVE");
        out.push_back(c);
    }
    return out;
}

#ifdef __linux__
int thread_count() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}
#endif

TEST(AddThreads, SameBytesAsOneThreadAtEveryLevel) {
    Area a;
    fill_corpus(a);
    for (std::uint32_t level = 0; level <= 9; ++level) {
        Ui one;
        ASSERT_EQ(a.run("one.zip", kActionCreate, level, 1, one), 0) << level;
        const Bytes expected = a.bytes("one.zip");
        for (unsigned threads : {2u, 4u}) {
            Ui many;
            const std::string name = "n" + std::to_string(threads) + ".zip";
            ASSERT_EQ(a.run(name, kActionCreate, level, threads, many), 0)
                << level << " " << threads;
            EXPECT_TRUE(a.bytes(name) == expected)
                << "level " << level << ", " << threads << " threads";
            EXPECT_EQ(calls_about(many, name), calls_about(one, "one.zip"))
                << level << " " << threads;
        }
    }
}

// Sources over the size kept in memory go through a temporary file: the
// bytes are the same, stored data too, and the file is gone afterwards.
TEST(AddThreads, LargeMembersSameBytesAndNoTemporaryFileLeft) {
    Area a;
    a.add("big.txt", words(9u << 20, 3));
    a.add("small.txt", words(1000, 4));
    a.add("big-noise.bin", noise((8u << 20) + 5, 5));
    for (std::uint32_t level : {1u, 6u}) {
        Ui one, two;
        ASSERT_EQ(a.run("one.zip", kActionCreate, level, 1, one), 0);
        ASSERT_EQ(a.run("two.zip", kActionCreate, level, 2, two), 0);
        EXPECT_TRUE(a.bytes("one.zip") == a.bytes("two.zip")) << level;
        EXPECT_TRUE(a.empty(a.dir.dos("work"))) << level;
    }
}

// Add, freshen and update keep the old members and put the new ones in
// the order one thread does; warnings come between the members they are about.
TEST(AddThreads, UpdateJobsAndWarningsInListOrder) {
    for (std::uint32_t action : {kActionAdd, kActionUpdate, kActionFreshen}) {
        Area a;
        const platform::DosTime old_time{0x4E21, 0x6000}; // 2019
        for (const char* name : {"first.txt", "second.txt"}) {
            platform::ScopedFile f(platform::open_write(a.add(name, words(3000, name[0])).c_str()));
            platform::set_file_time(f.get(), old_time);
        }
        Ui setup;
        ASSERT_EQ(a.run("one.zip", kActionCreate, 6, 1, setup), 0);
        ASSERT_EQ(a.run("two.zip", kActionCreate, 6, 1, setup), 0);
        // Newer sources, so freshen takes them.
        for (int i = 0; i < 8; ++i) {
            if (i == 3) a.sources.push_back(a.dir.dos("src/vanished.txt"));
            a.add("more" + std::to_string(i) + ".txt", words(20000 + i, 10 + i));
        }
        a.dir.write("src/first.txt", words(4000, 11)); // newer than its member
        Ui one, two;
        ASSERT_EQ(a.run("one.zip", action, 6, 1, one), 0) << action;
        ASSERT_EQ(a.run("two.zip", action, 6, 2, two), 0) << action;
        EXPECT_TRUE(a.bytes("one.zip") == a.bytes("two.zip")) << action;
        EXPECT_EQ(calls_about(two, "two.zip"), calls_about(one, "one.zip")) << action;
        if (action != kActionFreshen)
            EXPECT_EQ(two.live.calls_starting("AddWarning").size(), 1u) << action;
    }
}

#ifndef _WIN32
// A job stopped in the middle leaves the archive as it was, no temporary
// file, and no thread: by Cancel, by a full disk and by a source whose data
// cannot be read (the worker's own error stops the job).
TEST(AddThreads, FailuresInTheMiddleLeaveNothingBehind) {
    enum Fault { Cancel, DiskFull, ReadError };
    for (Fault fault : {Cancel, DiskFull, ReadError}) {
        Area a;
        a.add("old.txt", words(2000, 1));
        Ui setup;
        ASSERT_EQ(a.run("a.zip", kActionCreate, 6, 1, setup), 0);
        const Bytes before = a.bytes("a.zip");
        for (int i = 0; i < 12; ++i) {
            if (i == 6 && fault == ReadError) {
                // A link to a file that opens as a regular one and whose
                // first page fails to read (EIO).
                const std::string mem = "/proc/" + std::to_string(getpid()) + "/mem";
                ASSERT_EQ(symlink(mem.c_str(), a.dir.host("src/unreadable").c_str()), 0);
                a.sources.push_back(a.dir.dos("src/unreadable"));
            }
            if (i == 6 && fault == DiskFull) a.add("m-big.bin", noise((8u << 20) + 100, 3));
            a.add("m" + std::to_string(i) + ".txt", words(40000, 20 + i));
        }
        test::TempDir small;
        std::string work = "work";
        if (fault == DiskFull) {
            platform::DriveMount m;
            m.host_folder = small.host();
            m.capacity = 300000;
            ASSERT_TRUE(platform::mount_drive('W', m));
            work = "W:\\";
        }
        Ui ui;
        if (fault == Cancel) ui.cancel_on = "m6.txt";
#ifdef __linux__
        const int threads_before = thread_count();
#endif
        const int expected = fault == Cancel     ? ZERR_CANCEL
                             : fault == DiskFull ? ZERR_DISKFULL
                                                 : ZERR_READ;
        EXPECT_EQ(a.run("a.zip", kActionAdd, 6, 2, ui, work), expected) << fault;
#ifdef __linux__
        EXPECT_EQ(thread_count(), threads_before) << fault;
#endif
        EXPECT_TRUE(a.bytes("a.zip") == before) << fault;
        EXPECT_TRUE(a.empty(a.dir.dos("work"))) << fault;
        if (fault == DiskFull) {
            EXPECT_TRUE(a.empty("W:")) << fault;
            platform::unmount_drive('W');
        }
        // What came before the stop was reported in list order, nothing after it.
        const auto added = ui.live.calls_starting("LogAdded");
        ASSERT_FALSE(added.empty()) << fault;
        EXPECT_NE(added[0].find("old.txt"), std::string::npos) << added[0];
        for (std::size_t i = 1; i < added.size(); ++i)
            EXPECT_NE(added[i].find("\\m" + std::to_string(i - 1) + ".txt:"), std::string::npos)
                << added[i];
    }
}
#endif

} // namespace
