#include "monitor/logging.h"

#include <chrono>
#include <system_error>
#include <thread>

#include "monitor/log_ring.h"
#include "monitor/run_state.h"

namespace monitor {

std::atomic<std::int32_t> LoggingState{0};
platform::FileHandle logFile = platform::kInvalidFile;
std::atomic<bool> logWriteFailed{false};

namespace {

// The session's resources: taken by startLogging, released by stopLogging.
platform::LoggingDriver* driver = nullptr;
platform::SharedMemory ringMemory;
platform::EventHandle event = platform::kNoEvent;
std::thread thread;

LogRing* ring() { return static_cast<LogRing*>(ringMemory.view); }

void writeSlot(std::int32_t slot) {
    std::uint32_t written = 0;
    if (!platform::write_file(logFile, ring()->slots[slot], kLogRecordSize, &written))
        logWriteFailed = true;
}

// Copies the waiting records (readIndex + 1 .. writeIndex, wrapping after
// the last slot) into the log file in that order and marks them consumed.
void copyPendingRecords() {
    LogRing* r = ring();
    const std::int32_t w = r->writeIndex.load(std::memory_order_acquire);
    const std::int32_t last = r->readIndex.load(std::memory_order_relaxed);
    // An index outside the ring names no slot; nothing sensible can be copied.
    if (w < 0 || w >= kLogRingSlots || last < 0 || last >= kLogRingSlots) return;
    if (last > w) {
        for (std::int32_t i = last + 1; i < kLogRingSlots; ++i) writeSlot(i);
        for (std::int32_t i = 0; i <= w; ++i) writeSlot(i);
    } else if (last < w) {
        for (std::int32_t i = last + 1; i <= w; ++i) writeSlot(i);
    }
    r->readIndex.store(w, std::memory_order_release);
}

bool releaseLogging() {
    bool ok = true;
    if (driver && !driver->close()) ok = false;
    driver = nullptr;
    if (ringMemory.view && !platform::release_shared_memory(&ringMemory)) ok = false;
    if (event != platform::kNoEvent && !platform::close_event(event)) ok = false;
    event = platform::kNoEvent;
    return ok;
}

void stopFailed() {
    if (runError == 0) runError = 4;
}

void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

} // namespace

int startLogging() {
    // A driver that refused to stop is still loaded and may still write.
    if (driver || thread.joinable()) return 3;
    LoggingState = Starting;
    logWriteFailed = false;
    platform::LoggingDriver* d = platform::logging_driver();
    if (!d || !d->open(programDir)) return 3;
    driver = d;
    // The monitor's own writes are no change of the installation.
    const bool ready = d->ignore(logPath) && (copyDir[0] == '\0' || d->ignore(copyDir)) &&
                       platform::create_shared_memory(sizeof(LogRing), &ringMemory) &&
                       (event = platform::create_event()) != platform::kNoEvent;
    if (ready) {
        try {
            thread = std::thread(logThread);
            return 0;
        } catch (const std::system_error&) {
        }
    }
    releaseLogging();
    return 3;
}

void logThread() {
    LoggingState = Running;
    std::atomic<std::int32_t>* status = nullptr;
    while (LoggingState == Running) {
        status = driver->arm(event, ring());
        if (!platform::wait_event(event)) continue;
        if (status && status->load(std::memory_order_acquire) == 1) copyPendingRecords();
    }
    const bool stopped = driver->stop();
    // Records completed between the last pass and the stop are kept too.
    if (stopped && status && status->load(std::memory_order_acquire) == 1) copyPendingRecords();
    LoggingState = stopped ? Stopped : StopFailed;
}

void stopLogging() {
    if (thread.joinable()) {
        // The thread's first step sets Running; a stop request written before
        // it would be overwritten and lost, so it waits for that step.
        while (LoggingState == Starting) pause();
        LoggingState = Starting;
        platform::set_event(event);
        while (LoggingState != Stopped && LoggingState != StopFailed) pause();
        thread.join();
    } else if (driver) {
        // Held without a thread: the driver refused the last stop; try again.
        LoggingState = driver->stop() ? Stopped : StopFailed;
    }
    if (LoggingState == StopFailed) {
        stopFailed();
        return;
    }
    if (!releaseLogging()) stopFailed();
}

} // namespace monitor
