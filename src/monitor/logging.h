// Logging control: starts the file-change logging driver, runs the thread
// that copies the driver's records from the shared ring into the log file,
// and stops it all again.
//
// The main thread and the log thread share LoggingState, the event and the
// ring without a lock: the main thread writes Starting (also as the stop
// request), the log thread Running, Stopped or StopFailed.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

namespace monitor {

enum LoggingStates : std::int32_t {
    Starting = 2,   // set by startLogging; set again by stopLogging as the stop request
    Running = 4,    // set by the log thread when it begins
    Stopped = 8,    // the driver accepted the stop request
    StopFailed = 16 // the driver refused it
};

extern std::atomic<std::int32_t> LoggingState;

// The log file, open for writing while logging runs; the run creates it
// before logging starts and closes it after stopLogging.
extern platform::FileHandle logFile;

// Set by the log thread when a record could not be written to the log
// file: the results then miss changes, which the user must be told.
extern std::atomic<bool> logWriteFailed;

// 0 when logging runs, 3 when it could not be started (nothing is left held).
int startLogging();

// The log thread's body (started by startLogging).
void logThread();

// Stops logging and releases the driver, the ring and the event; returns
// once the log thread has ended. Any failure sets runError to 4; when the
// driver refused to stop, the ring stays mapped and the driver loaded (it
// may still write into the ring) and a later call tries the stop again.
void stopLogging();

} // namespace monitor
