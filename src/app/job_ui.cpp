#include "app/job_ui.h"

#include "app/progress_dlg.h"

JobProgress* AppJobUi::create_progress(void* owner_window, std::int32_t* error,
                                       std::uint32_t* warnings) {
    // Jobs started without a window (View, Run, the freshen after a view)
    // run silently.
    if (!owner_window) return nullptr;
    auto* dialog = new ProgressDlg(static_cast<HWND>(owner_window), error, warnings);
    if (!dialog->open()) {
        delete dialog;
        return nullptr;
    }
    return dialog;
}

void AppJobUi::destroy_progress(JobProgress* progress) {
    auto* dialog = static_cast<ProgressDlg*>(progress);
    if (!dialog) return;
    dialog->close();
    delete dialog;
}

std::uint32_t AppJobUi::confirm_replace(JobProgress* progress, void* owner_window,
                                        const char* target_path, const zentry& e) {
    HWND parent =
        progress ? static_cast<ProgressDlg*>(progress)->hwnd() : static_cast<HWND>(owner_window);
    return runOverwriteDialog(parent, target_path, e);
}

std::uint32_t AppJobUi::confirm_delete_read_only(void* owner_window, const char* path) {
    return runReadOnlyDialog(static_cast<HWND>(owner_window), path);
}

AppJobUi& app_job_ui() {
    static AppJobUi ui;
    return ui;
}
