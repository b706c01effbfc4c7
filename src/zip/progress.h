// The progress seam: the operations an engine job reports through. The
// archive manager's progress dialog implements it; the command line shows a
// bar on a terminal; tests record the calls. Every call may let the user
// cancel, which reaches the job as error 8 in the engine's error field.
#pragma once

#include <cstdint>

class JobProgress {
  public:
    virtual ~JobProgress() = default;
    virtual void SetCaption(const char* caption) = 0;
    virtual void StartJob(const char* archive_path, int file_total) = 0;
    virtual void SetFile(const char* name) = 0;
    virtual void FileProgress(std::uint64_t total_bytes, std::uint64_t bytes_done) = 0;
    virtual void ResetFileGauge(int value) = 0;
    virtual void Step() = 0;
    // flag 0: result list; otherwise the problem list.
    virtual void AddLine(const char* text, int flag) = 0;
    virtual void LogLine(const char* action, const char* name) = 0;
    virtual void LogResult(const char* action, const char* path, int failed) = 0;
    virtual void LogAdded(const char* action, const char* path, std::uint64_t size,
                          std::uint64_t packed_size) = 0;
    virtual void AddWarning(const char* text) = 0;
    // A warning of the engine's with the file or member it is about (a DOS
    // path or a member name) apart, for a UI that shows paths its own way;
    // by default AddWarning gets warning_line's text.
    virtual void AddWarningAbout(std::int32_t code, const char* name, const char* detail);
    virtual void FinishJob() = 0;
};
