// The archive manager's side of the engine's seam: the progress dialog of a
// job started from the main window, and the two confirmation dialogs.
#pragma once

#include "ops/job_ui.h"
#include "ui/window.h"

class AppJobUi : public JobUi {
  public:
    JobProgress* create_progress(void* owner_window, std::int32_t* error,
                                 std::uint32_t* warnings) override;
    void destroy_progress(JobProgress* progress) override;
    std::uint32_t confirm_replace(JobProgress* progress, void* owner_window,
                                  const char* target_path, const zentry& e) override;
    std::uint32_t confirm_delete_read_only(void* owner_window, const char* path) override;
};

AppJobUi& app_job_ui();

// TOverWriteDlg and TReadOnlyDlg, run modally; they return the answer code
// (1 yes, 8 yes to all, 4 no, 16 cancel).
std::uint32_t runOverwriteDialog(HWND parent, const char* target_path, const zentry& e);
std::uint32_t runReadOnlyDialog(HWND parent, const char* path);
