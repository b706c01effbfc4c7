// ProgressDlg: the modeless window that accompanies an engine job started
// from the main window. It shows the archive, the file and its number, a
// file and a job gauge, the results and the problems, and the warning count;
// its one button cancels the job (error 8) and, once the job is over,
// closes the dialog. Every call lets waiting messages be handled, which is
// how Cancel reaches the job running on the same thread.
#pragma once

#include <cstdint>
#include <functional>

#include "ui/dialog.h"
#include "zip/progress.h"

// The part still to do of u when c is done, in percent; for a file that
// shrank from u to c bytes, the percentage saved.
int progressPercent(std::uint64_t u, std::uint64_t c);

class ProgressDlg : public ui::Dialog, public JobProgress {
  public:
    // parent: the main window, whose frame is disabled while the dialog is up.
    ProgressDlg(HWND parent, std::int32_t* error, std::uint32_t* warnings);
    ~ProgressDlg() override;

    // Creates the window; false when it could not be made.
    bool open();
    // The end of the job: waits for "Done" when it must, then goes.
    void close();

    void SetCaption(const char* caption) override;
    void StartJob(const char* archive_path, int file_total) override;
    void SetFile(const char* name) override;
    void FileProgress(std::uint64_t total_bytes, std::uint64_t bytes_done) override;
    void ResetFileGauge(int value) override;
    void Step() override;
    void AddLine(const char* text, int flag) override;
    void LogLine(const char* action, const char* name) override;
    void LogResult(const char* action, const char* path, int failed) override;
    void LogAdded(const char* action, const char* path, std::uint64_t size,
                  std::uint64_t packed_size) override;
    void AddWarning(const char* text) override;
    void FinishJob() override;

    bool done() const { return done_ != 0; }

    // Tests watch the dialog while a job runs: called after every operation
    // (with its name) and, while the dialog waits for "Done", with "Waiting".
    using Observer = std::function<void(ProgressDlg& dialog, const char* operation)>;
    static Observer set_observer(Observer observer);

  protected:
    bool on_init() override;
    bool on_command(int id, int code) override;
    bool pre_translate(MSG& msg) override;

  private:
    void pressButton();
    void pump(const char* operation);
    void setJobGauge(int value);
    HWND frameOf() const;

    HWND archiveField_ = nullptr, fileField_ = nullptr, fileNumberField_ = nullptr,
         warningsField_ = nullptr, resultList_ = nullptr, problemList_ = nullptr;
    HWND fileGauge_ = nullptr, jobGauge_ = nullptr;
    int done_ = 0;
    std::int32_t* error_;
    std::uint32_t* warnings_;
    int fileTotal_ = 0;
    int fileNumber_ = 1;
    int resultRows_ = 7;
    int resultLines_ = 0;
    int problemRows_ = 3;
    int problemLines_ = 0;
    int jobGaugeValue_ = 0;
    bool frameDisabled_ = false;
    bool jobEnded_ = false;
};
