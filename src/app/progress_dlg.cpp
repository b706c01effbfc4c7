#include "app/progress_dlg.h"

#include <commctrl.h>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/app.h"
#include "app/resource.h"
#include "ui/application.h"

namespace {

ProgressDlg::Observer& observer() {
    static ProgressDlg::Observer o;
    return o;
}

// The part of a path after its last separator, or the whole path.
const char* after_last(const char* path, char separator) {
    const char* cut = std::strrchr(path, separator);
    return cut ? cut + 1 : path;
}

// Lines are formatted into a buffer sized for their texts, so none is cut.
template <class... Args>
std::string format_line(std::size_t texts_length, const char* format, Args... args) {
    std::string line(texts_length + 25, '\0');
    int n = std::snprintf(&line[0], line.size(), format, args...);
    line.resize(n < 0                                       ? 0
                : static_cast<std::size_t>(n) < line.size() ? static_cast<std::size_t>(n)
                                                            : line.size() - 1);
    return line;
}

} // namespace

int progressPercent(std::uint64_t u, std::uint64_t c) {
    // Large sizes are scaled down first, so that the product below cannot
    // wrap; members past 4 GB are brought into that range before.
    std::uint64_t total = u, done = c;
    while (total > 0xFFFFFFFFu) {
        total = (total + 128) / 256;
        done = (done + 128) / 256;
    }
    if (total > 16777215u) {
        total = (total + 128) / 256;
        done = (done + 128) / 256;
    }
    if (total == 0 || done >= total) return 0;
    std::uint64_t p = ((total - done) * 200u / total + 1) / 2;
    return p > 100 ? 100 : static_cast<int>(p);
}

ProgressDlg::Observer ProgressDlg::set_observer(Observer o) {
    Observer previous = std::move(observer());
    observer() = std::move(o);
    return previous;
}

ProgressDlg::ProgressDlg(HWND parent, std::int32_t* error, std::uint32_t* warnings)
    : ui::Dialog(parent, "PROGRESS_DLG"), error_(error), warnings_(warnings) {}

ProgressDlg::~ProgressDlg() {
    if (frameDisabled_) EnableWindow(frameOf(), TRUE);
}

HWND ProgressDlg::frameOf() const {
    HWND root = parent() ? GetAncestor(parent(), GA_ROOT) : nullptr;
    return root ? root : parent();
}

bool ProgressDlg::open() {
    return create_modeless() != nullptr;
}

bool ProgressDlg::on_init() {
    archiveField_ = item(IDC_ARCHIVE_FIELD);
    fileField_ = item(IDC_FILE_FIELD);
    fileNumberField_ = item(IDC_FILE_NUMBER);
    warningsField_ = item(IDC_WARNINGS);
    resultList_ = item(IDC_RESULT_LIST);
    problemList_ = item(IDC_PROBLEM_LIST);
    fileGauge_ = item(IDC_FILE_GAUGE);
    jobGauge_ = item(IDC_JOB_GAUGE);
    for (HWND gauge : {fileGauge_, jobGauge_}) {
        SendMessageA(gauge, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        SendMessageA(gauge, PBM_SETPOS, 0, 0);
    }
    resultLines_ = problemLines_ = 0;
    resultRows_ = 7;
    problemRows_ = 3;
    SetWindowTextA(warningsField_, "Warnings: 0");
    // No menu, accelerator or button of the main window may start another
    // command while this job runs on the same thread.
    if (HWND frame = frameOf()) {
        EnableWindow(frame, FALSE);
        frameDisabled_ = true;
    }
    return true;
}

void ProgressDlg::pump(const char* operation) {
    ui::pump_messages();
    if (observer()) observer()(*this, operation);
}

void ProgressDlg::setJobGauge(int value) {
    jobGaugeValue_ = value;
    SendMessageA(jobGauge_, PBM_SETPOS, static_cast<WPARAM>(value), 0);
}

void ProgressDlg::SetCaption(const char* caption) {
    SetWindowTextA(hwnd(), caption);
    pump("SetCaption");
}

void ProgressDlg::StartJob(const char* archive_path, int file_total) {
    SetWindowTextA(archiveField_, after_last(archive_path, '\\'));
    fileTotal_ = file_total;
    fileNumber_ = 0;
    pump("StartJob");
}

void ProgressDlg::SetFile(const char* name) {
    const char* shown = std::strrchr(name, '/') ? after_last(name, '/') : after_last(name, '\\');
    SetWindowTextA(fileField_, shown);
    SendMessageA(fileGauge_, PBM_SETPOS, 0, 0);
    ++fileNumber_;
    char number[64];
    std::snprintf(number, sizeof number, " %d  of  %d ", fileNumber_, fileTotal_);
    SetWindowTextA(fileNumberField_, number);
    pump("SetFile");
}

void ProgressDlg::FileProgress(std::uint64_t total_bytes, std::uint64_t bytes_done) {
    SendMessageA(fileGauge_, PBM_SETPOS,
                 static_cast<WPARAM>(100 - progressPercent(total_bytes, bytes_done)), 0);
    pump("FileProgress");
}

void ProgressDlg::ResetFileGauge(int value) {
    SendMessageA(fileGauge_, PBM_SETPOS, static_cast<WPARAM>(value), 0);
    pump("ResetFileGauge");
}

void ProgressDlg::Step() {
    setJobGauge(100 - progressPercent(static_cast<std::uint32_t>(fileTotal_),
                                      static_cast<std::uint32_t>(fileNumber_)));
    pump("Step");
}

void ProgressDlg::AddLine(const char* text, int flag) {
    HWND list = flag == 0 ? resultList_ : problemList_;
    int& lines = flag == 0 ? resultLines_ : problemLines_;
    int rows = flag == 0 ? resultRows_ : problemRows_;
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    // Once the list is full every new line scrolls it by one, so the newest
    // line stays in view.
    if (++lines == rows) {
        LRESULT top = SendMessageA(list, LB_GETTOPINDEX, 0, 0);
        SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(top + 1), 0);
        --lines;
    }
    pump("AddLine");
}

void ProgressDlg::LogLine(const char* action, const char* name) {
    AddLine(format_line(std::strlen(action) + std::strlen(name), "%s:  %s", action, name).c_str(),
            0);
}

void ProgressDlg::LogResult(const char* action, const char* path, int failed) {
    const char* file = after_last(path, '\\');
    std::size_t length = std::strlen(action) + std::strlen(file);
    std::string line = failed ? format_line(length, "%s:  %s  [FAIL]", action, file)
                              : format_line(length, "%s:  %s", action, file);
    AddLine(line.c_str(), failed);
}

void ProgressDlg::LogAdded(const char* action, const char* path, std::uint64_t size,
                           std::uint64_t packed_size) {
    const char* file = after_last(path, '\\');
    AddLine(format_line(std::strlen(action) + std::strlen(file), "%s:  %s  [%d%%]", action, file,
                        progressPercent(size, packed_size))
                .c_str(),
            0);
}

void ProgressDlg::AddWarning(const char* text) {
    char field[32];
    std::snprintf(field, sizeof field, "Warnings: %d", static_cast<int>(*warnings_));
    SetWindowTextA(warningsField_, field);
    AddLine(text, 1);
}

void ProgressDlg::FinishJob() {
    setJobGauge(100);
    SetDlgItemTextA(hwnd(), IDC_PROGRESS_BUTTON, "Done");
    jobEnded_ = true;
    // Done becomes the default button, with the focus when the dialog is
    // the active window, so that Return is seen to act on it.
    SendMessageA(hwnd(), DM_SETDEFID, IDC_PROGRESS_BUTTON, 0);
    if (GetActiveWindow() == hwnd())
        SendMessageA(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(IDC_PROGRESS_BUTTON)),
                     TRUE);
    pump("FinishJob");
}

void ProgressDlg::pressButton() {
    if (*error_ == 0 && jobGaugeValue_ < 100) {
        *error_ = 8; // the job sees it at its next step and winds down
        SetDlgItemTextA(hwnd(), IDC_PROGRESS_BUTTON, "Done");
        ui::pump_messages();
    } else {
        setJobGauge(100);
        done_ = 1;
    }
}

bool ProgressDlg::pre_translate(MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_RETURN) return false;
    // Return acts as Done once the job has ended, whichever control has the
    // focus; while the job runs it does nothing, not even on a focused
    // Cancel button, so that a stray key never cancels a job.
    if (jobEnded_) pressButton();
    return true;
}

bool ProgressDlg::on_command(int id, int code) {
    // The close box and Escape act as the button.
    if (id == IDC_PROGRESS_BUTTON || id == IDCANCEL) {
        if (code == BN_CLICKED) pressButton();
        return true;
    }
    return id == IDOK; // Return must not close the dialog
}

void ProgressDlg::close() {
    if (!hwnd()) return;
    if (app().settings.pauseWhenDone || *error_ != 0 || *warnings_ != 0) {
        while (!done_ && hwnd()) {
            if (!ui::pump_messages()) break; // the program is ending
            if (observer()) observer()(*this, "Waiting");
            if (!done_) MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
    }
    if (frameDisabled_) {
        EnableWindow(frameOf(), TRUE);
        frameDisabled_ = false;
    }
    destroy();
}
