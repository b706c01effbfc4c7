// Logging control against a scripted driver that fills the ring and signals
// the event as the real one does: the log thread's copy order, wake-ups
// without news, and stops at every moment.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "monitor/log_ring.h"
#include "monitor/logging.h"
#include "monitor/run_state.h"
#include "monitor_support.h"

namespace {

using namespace monitor;
using std::chrono::seconds;

// Ends the test program when a test hangs (a lost stop request waits forever).
class Watchdog {
  public:
    explicit Watchdog(seconds limit)
        : thread_([this, limit] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
                  std::fprintf(stderr, "logging test hung\n");
                  std::_Exit(1);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

class ScriptedDriver : public platform::LoggingDriver {
  public:
    bool refuseOpen = false;
    bool refuseIgnore = false;
    bool refuseStop = false;
    std::atomic<std::int32_t> status{0};

    bool open(const char* program_dir) override {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(std::string("open ") + program_dir);
        return !refuseOpen;
    }
    bool ignore(const char* path) override {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(std::string("ignore ") + path);
        return !refuseIgnore;
    }
    std::atomic<std::int32_t>* arm(platform::EventHandle event, void* ring) override {
        std::lock_guard<std::mutex> lock(mutex_);
        event_ = event;
        ring_ = static_cast<LogRing*>(ring);
        ++arms_;
        armed_.notify_all();
        return &status;
    }
    bool stop() override {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back("stop");
        readIndexAtStop = ring_ ? ring_->readIndex.load() : -1;
        return !refuseStop;
    }
    bool close() override {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back("close");
        return true;
    }

    // As new, for the next logging session of a test.
    void reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        refuseOpen = refuseIgnore = refuseStop = false;
        status = 0;
        readIndexAtStop = -2;
        arms_ = 0;
        event_ = platform::kNoEvent;
        ring_ = nullptr;
        calls_.clear();
    }

    // Waits until the log thread has armed the driver `n` times in all.
    void waitForArms(int n) {
        std::unique_lock<std::mutex> lock(mutex_);
        ASSERT_TRUE(armed_.wait_for(lock, seconds(10), [&] { return arms_ >= n; }))
            << "armed " << arms_ << " times";
    }
    LogRing* ring() {
        std::lock_guard<std::mutex> lock(mutex_);
        return ring_;
    }
    // Fills the slot and makes it the last one written, as the driver does.
    void put(std::int32_t slot, const std::string& path) {
        LogRing* r = ring();
        std::memset(r->slots[slot], 0, kLogRecordSize);
        std::memcpy(r->slots[slot], path.data(), path.size());
        r->writeIndex.store(slot);
    }
    void signal() {
        std::lock_guard<std::mutex> lock(mutex_);
        platform::set_event(event_);
    }
    std::vector<std::string> calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    std::int32_t readIndexAtStop = -2;

  private:
    std::mutex mutex_;
    std::condition_variable armed_;
    int arms_ = 0;
    platform::EventHandle event_ = platform::kNoEvent;
    LogRing* ring_ = nullptr;
    std::vector<std::string> calls_;
};

class LoggingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        runError = 0;
        test::setPath(programDir, dir.dos("program"));
        test::setPath(logPath, dir.dos("vxdlog"));
        test::setPath(copyDir, dir.dos("Copy"));
        logFile = platform::create_file(logPath);
        ASSERT_NE(logFile, platform::kInvalidFile);
        previous_ = platform::set_logging_driver(&driver);
    }
    void TearDown() override {
        if (LoggingState == Running) stopLogging();
        platform::set_logging_driver(previous_);
        closeLog();
        runError = 0;
    }
    void closeLog() {
        platform::close_file(logFile);
        logFile = platform::kInvalidFile;
    }
    std::vector<std::string> logged() {
        closeLog();
        return test::logRecords(dir.host("vxdlog"));
    }

    test::TempDir dir;
    ScriptedDriver driver;
    Watchdog watchdog{seconds(60)};

  private:
    platform::LoggingDriver* previous_ = nullptr;
};

TEST_F(LoggingTest, RecordsAreCopiedFromAfterTheReadIndexRoundToTheWriteIndex) {
    ASSERT_EQ(startLogging(), 0);
    driver.waitForArms(1);
    LogRing* ring = driver.ring();
    ring->readIndex = 126; // as if 126 records had been consumed already
    for (std::int32_t slot : {127, 128, 0, 1, 2, 3})
        driver.put(slot, "c:\\slot" + std::to_string(slot));
    driver.status = 1;
    driver.signal();
    driver.waitForArms(2); // the pass is over
    EXPECT_EQ(ring->readIndex.load(), 3);

    stopLogging();
    EXPECT_EQ(runError, 0);
    EXPECT_EQ(LoggingState.load(), Stopped);
    EXPECT_EQ(logged(), (std::vector<std::string>{"c:\\slot127", "c:\\slot128", "c:\\slot0",
                                                  "c:\\slot1", "c:\\slot2", "c:\\slot3"}));
    EXPECT_EQ(driver.calls(),
              (std::vector<std::string>{"open " + std::string(programDir),
                                        "ignore " + std::string(logPath),
                                        "ignore " + std::string(copyDir), "stop", "close"}));
}

TEST_F(LoggingTest, AWakeUpWithoutNewsWritesNothing) {
    for (std::int32_t status : {0, 2, -1}) {
        SCOPED_TRACE(status);
        ASSERT_EQ(startLogging(), 0);
        driver.waitForArms(1);
        driver.put(1, "c:\\not yet");
        driver.status = status;
        driver.signal();
        driver.waitForArms(2);
        EXPECT_EQ(driver.ring()->readIndex.load(), 0);
        stopLogging();
        EXPECT_EQ(LoggingState.load(), Stopped);
        EXPECT_EQ(driver.readIndexAtStop, 0);
        driver.reset();
    }
    EXPECT_TRUE(logged().empty());
}

TEST_F(LoggingTest, AStopCopiesWaitingRecordsBeforeTheDriverIsStopped) {
    ASSERT_EQ(startLogging(), 0);
    driver.waitForArms(1);
    for (std::int32_t slot = 1; slot <= 3; ++slot)
        driver.put(slot, "c:\\new" + std::to_string(slot));
    driver.status = 1; // not signalled: the stop's own wake-up finds them

    stopLogging();
    EXPECT_EQ(driver.readIndexAtStop, 3);
    EXPECT_EQ(logged(), (std::vector<std::string>{"c:\\new1", "c:\\new2", "c:\\new3"}));
}

// Right after startLogging the thread has usually not begun; its first step
// must not swallow the stop request.
TEST_F(LoggingTest, AStopRightAfterTheStartIsNotLost) {
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(startLogging(), 0);
        stopLogging();
        ASSERT_EQ(LoggingState.load(), Stopped) << "round " << i;
    }
    EXPECT_EQ(runError, 0);
}

TEST_F(LoggingTest, AStartThatFailsLeavesNothingHeld) {
    struct Case {
        const char* what;
        bool refuseOpen, refuseIgnore;
        std::vector<std::string> calls;
    };
    const std::string open = "open " + std::string(programDir);
    const std::string ignore = "ignore " + std::string(logPath);
    for (const Case& c : {Case{"open refused", true, false, {open}},
                          Case{"ignore refused", false, true, {open, ignore, "close"}}}) {
        SCOPED_TRACE(c.what);
        driver.reset();
        driver.refuseOpen = c.refuseOpen;
        driver.refuseIgnore = c.refuseIgnore;
        EXPECT_EQ(startLogging(), 3);
        EXPECT_EQ(driver.calls(), c.calls);
    }
    // Nothing of the failed starts stands in the way of the next one.
    driver.reset();
    ASSERT_EQ(startLogging(), 0);
    stopLogging();
    EXPECT_EQ(runError, 0);
}

TEST_F(LoggingTest, NoDriverMeansLoggingCannotStart) {
    platform::LoggingDriver* scripted = platform::set_logging_driver(nullptr);
    // This build's own driver, if any, is looked for in a folder without it.
    EXPECT_EQ(startLogging(), 3);
    platform::set_logging_driver(scripted);
    EXPECT_EQ(runError, 0);
}

TEST_F(LoggingTest, ADriverThatRefusesToStopStaysLoadedUntilAStopSucceeds) {
    driver.refuseStop = true;
    ASSERT_EQ(startLogging(), 0);
    stopLogging();
    EXPECT_EQ(LoggingState.load(), StopFailed);
    EXPECT_EQ(runError, 4);
    EXPECT_EQ(driver.calls().back(), "stop"); // not unloaded: it may still write
    EXPECT_EQ(startLogging(), 3);

    driver.refuseStop = false;
    stopLogging();
    EXPECT_EQ(LoggingState.load(), Stopped);
    EXPECT_EQ(driver.calls().back(), "close");
    EXPECT_EQ(runError, 4); // the first failure stays the run's
}

#ifndef _WIN32
// A record that cannot be written is remembered, so the results can say the
// log is incomplete.
TEST_F(LoggingTest, ARecordThatCannotBeWrittenMarksTheLogIncomplete) {
    test::TempDir small;
    platform::DriveMount mount;
    mount.host_folder = small.host();
    mount.capacity = kLogRecordSize + 10;
    ASSERT_TRUE(platform::mount_drive('Q', mount));
    closeLog();
    logFile = platform::create_file("Q:\\vxdlog");
    ASSERT_NE(logFile, platform::kInvalidFile);

    ASSERT_EQ(startLogging(), 0);
    driver.waitForArms(1);
    driver.put(1, "c:\\fits");
    driver.put(2, "c:\\does not fit");
    driver.status = 1;
    driver.signal();
    driver.waitForArms(2);
    stopLogging();
    closeLog();
    platform::unmount_drive('Q');
    EXPECT_TRUE(logWriteFailed.load());
    EXPECT_EQ(test::logRecords(small.host("vxdlog")), std::vector<std::string>{"c:\\fits"});
}
#endif

} // namespace
