// The seam between engine jobs and whoever shows them: the progress dialog
// of a job and the confirmations it asks for. The archive manager implements
// it with its dialogs, the command line with a terminal, tests with a script.
#pragma once

#include <cstdint>

class JobProgress;
struct zentry;

// Answers of the confirmations, also the running mode of a job before any
// question: 1 ask (or "Yes"), 8 yes to all, 4 no, 16 cancel.
enum : std::uint32_t {
    kAnswerYes = 1,
    kAnswerNo = 4,
    kAnswerYesToAll = 8,
    kAnswerCancel = 16,
};

class JobUi {
  public:
    virtual ~JobUi() = default;
    // The progress dialog of a job started with owner_window (none when the
    // owner is none, in the windowed program). The dialog may set *error to 8.
    virtual JobProgress* create_progress(void* owner_window, std::int32_t* error,
                                         std::uint32_t* warnings) = 0;
    virtual void destroy_progress(JobProgress* progress) = 0;
    // Replace the existing file target_path with member e? The dialog is owned
    // by the progress dialog when there is one, else by owner_window.
    virtual std::uint32_t confirm_replace(JobProgress* progress, void* owner_window,
                                          const char* target_path, const zentry& e) = 0;
    // Delete the read-only file path?
    virtual std::uint32_t confirm_delete_read_only(void* owner_window, const char* path) = 0;
};
