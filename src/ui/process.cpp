#include "ui/process.h"

#include <shellapi.h>
#include <vector>

namespace ui {

namespace {

StartProcessHook& start_process_hook() {
    static StartProcessHook hook;
    return hook;
}

AssociationHook& association_hook() {
    static AssociationHook hook;
    return hook;
}

JobHook& job_hook() {
    static JobHook hook;
    return hook;
}

// A job that holds every process started in it until they end: no
// breakaway is allowed (none of the limit flags), so a child asking for
// CREATE_BREAKAWAY_FROM_JOB is refused rather than lost to the count.
HANDLE create_job() {
    if (job_hook()) return job_hook()();
    return CreateJobObjectA(nullptr, nullptr);
}

DWORD active_processes(HANDLE job) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info,
                                   nullptr))
        return 0;
    return info.ActiveProcesses;
}

} // namespace

StartProcessHook set_start_process_hook(StartProcessHook hook) {
    StartProcessHook previous = std::move(start_process_hook());
    start_process_hook() = std::move(hook);
    return previous;
}

bool start_process(const std::string& command_line, const std::string& folder, HANDLE* thread) {
    *thread = nullptr;
    if (start_process_hook()) return start_process_hook()(command_line, folder, thread);
    // CreateProcessA may write into the command line, so it gets a copy.
    std::vector<char> line(command_line.begin(), command_line.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi))
        return false;
    CloseHandle(pi.hProcess);
    *thread = pi.hThread;
    return true;
}

JobHook set_job_hook(JobHook hook) {
    JobHook previous = std::move(job_hook());
    job_hook() = std::move(hook);
    return previous;
}

WatchedProgram::~WatchedProgram() {
    release();
}

void WatchedProgram::release() {
    if (job_) CloseHandle(job_);
    if (primary_) CloseHandle(primary_);
    job_ = primary_ = nullptr;
    pid_ = 0;
    watch_ = Watch::None;
}

bool WatchedProgram::start(const std::string& command_line, const std::string& folder) {
    release();
    if (start_process_hook()) {
        HANDLE handle = nullptr;
        if (!start_process_hook()(command_line, folder, &handle)) return false;
        primary_ = handle;
        watch_ = Watch::PrimaryOnly;
        return true;
    }
    // The job is made before the process: it is suspended until it is in
    // the job, so not even its first child can start outside.
    HANDLE job = create_job();
    std::vector<char> line(command_line.begin(), command_line.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
        if (job) CloseHandle(job);
        return false;
    }
    if (job && AssignProcessToJobObject(job, pi.hProcess)) {
        job_ = job;
        watch_ = Watch::Job;
    } else {
        if (job) CloseHandle(job);
        watch_ = Watch::PrimaryOnly;
    }
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);
    primary_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    return true;
}

bool WatchedProgram::running() const {
    // The first process counts on its own as well: it is in the job's count
    // anyway, and so a count that missed it cannot end the wait early.
    if (primary_ && WaitForSingleObject(primary_, 0) == WAIT_TIMEOUT) return true;
    return job_ && active_processes(job_) > 0;
}

bool WatchedProgram::wait(unsigned long ms) {
    // The count is polled: it answers at any moment, where the job's
    // completion port cannot be waited on together with the message queue
    // and its messages are not guaranteed to arrive.
    const DWORD step = 20;
    const DWORD started = GetTickCount();
    bool quit = false;
    WPARAM quit_code = 0;
    bool ended;
    for (;;) {
        ended = !running();
        DWORD spent = GetTickCount() - started;
        if (ended || (ms != INFINITE && spent >= ms)) break;
        DWORD slice = ms == INFINITE || ms - spent > step ? step : ms - spent;
        // The first process's end wakes at once; later ones within a step.
        bool first_runs = primary_ && WaitForSingleObject(primary_, 0) == WAIT_TIMEOUT;
        MsgWaitForMultipleObjects(first_runs ? 1 : 0, &primary_, FALSE, slice, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // Kept for the loop that called us, after the wait.
                quit = true;
                quit_code = msg.wParam;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    if (quit) PostQuitMessage(static_cast<int>(quit_code));
    return ended;
}

AssociationHook set_association_hook(AssociationHook hook) {
    AssociationHook previous = std::move(association_hook());
    association_hook() = std::move(hook);
    return previous;
}

std::string find_associated_program(const std::string& file, const std::string& folder) {
    if (association_hook()) return association_hook()(file, folder);
    char program[MAX_PATH] = {};
    HINSTANCE r = FindExecutableA(file.c_str(), folder.empty() ? nullptr : folder.c_str(), program);
    if (reinterpret_cast<INT_PTR>(r) <= 32) return std::string();
    program[MAX_PATH - 1] = '\0';
    return program;
}

} // namespace ui
