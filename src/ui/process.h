// Starting programs and asking the shell which program opens a file. Both
// are OS calls that tests stand in for through hooks, as they do for the
// shell and the file dialogs.
#pragma once

#include <functional>
#include <string>

#include "ui/window.h"

namespace ui {

// Starts command_line as a new process with folder as its working folder
// (default start-up information, no inherited handles). True when it
// started; *thread then holds the handle of its primary thread, which the
// caller closes.
bool start_process(const std::string& command_line, const std::string& folder, HANDLE* thread);
using StartProcessHook =
    std::function<bool(const std::string& command_line, const std::string& folder, HANDLE*)>;
StartProcessHook set_start_process_hook(StartProcessHook hook);

// A program started so that the whole of it can be waited for: installers
// and uninstallers often start a second program (a copy of themselves in
// %TEMP%, msiexec, the real setup) and return at once. It runs in a job
// object that it may not leave, so every process it starts is counted; where
// no job can be had (none can be created, or this process sits in a job that
// forbids another), only its primary process is watched, and watch() says
// so. A start replaced by the start-process hook is watched through the
// handle the hook gives.
class WatchedProgram {
  public:
    enum class Watch { None, Job, PrimaryOnly };

    WatchedProgram() = default;
    ~WatchedProgram();
    WatchedProgram(const WatchedProgram&) = delete;
    WatchedProgram& operator=(const WatchedProgram&) = delete;

    // Starts command_line with folder as its working folder; a program
    // started before is let go (not ended). False when nothing started.
    bool start(const std::string& command_line, const std::string& folder);
    // True while any process of it runs.
    bool running() const;
    // Waits up to ms milliseconds for its last process to end, dispatching
    // this thread's messages meanwhile; true when none runs.
    bool wait(unsigned long ms);
    Watch watch() const { return watch_; }
    // The job, or null when there is none.
    HANDLE job() const { return job_; }
    // The first process's id, or 0 when the hook started it.
    DWORD process_id() const { return pid_; }
    // Closes the handles; the processes are left running.
    void release();

  private:
    HANDLE job_ = nullptr;
    HANDLE primary_ = nullptr; // the first process, or the hook's handle
    DWORD pid_ = 0;
    Watch watch_ = Watch::None;
};

// Stands in for CreateJobObject in WatchedProgram::start: tests give a null
// or unusable handle to make a job unavailable. The hook's handle is closed
// by WatchedProgram.
using JobHook = std::function<HANDLE()>;
JobHook set_job_hook(JobHook hook);

// The program the shell associates with file, the search starting in
// folder; empty when there is none.
std::string find_associated_program(const std::string& file, const std::string& folder);
using AssociationHook =
    std::function<std::string(const std::string& file, const std::string& folder)>;
AssociationHook set_association_hook(AssociationHook hook);

} // namespace ui
