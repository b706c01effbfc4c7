// The job UI of the command line: result lines on stdout, warnings and errors
// on stderr, a progress bar on stderr when it is a terminal, and replace
// questions answered from -y / -n or asked on the terminal. A question that
// cannot be asked (no terminal, or the input ended) is answered No, and each
// file left as it was is reported.
#pragma once

#include <iosfwd>
#include <istream>
#include <string>

#include "ops/job_ui.h"
#include "zip/progress.h"

enum class Answer { Ask, Yes, No };

// Which of the two streams are terminals. Names and comments come from the
// archive: printed raw on a terminal, their control bytes could move the
// cursor, set the title or clear the screen.
// Whether standard input is one decides if questions can be asked.
struct Terminals {
    bool out = false;
    bool err = false;
    bool in = false;
};

// text with control characters, C1 controls and bytes that are not UTF-8
// shown as \xNN. keep_lines keeps line feeds, tabs and CR LF pairs (a
// comment's lines).
std::string terminal_safe(const std::string& text, bool keep_lines = false);

// A DOS path of the engine in the host's own form (a member name stays as
// it is).
std::string display_path(const std::string& dos_path);

class ConsoleProgress : public JobProgress {
  public:
    // subject: the archive the job is about, as shown in its error lines.
    ConsoleProgress(std::ostream& out, std::ostream& err, bool bar, Terminals terminals = {},
                    bool quiet = false, std::string subject = std::string());
    void SetCaption(const char*) override {}
    void StartJob(const char*, int file_total) override { total_ = file_total; }
    void SetFile(const char* name) override;
    void FileProgress(std::uint64_t total_bytes, std::uint64_t bytes_done) override;
    void ResetFileGauge(int) override {}
    void Step() override { ++done_; }
    void AddLine(const char* text, int flag) override;
    void LogLine(const char* action, const char* name) override;
    void LogResult(const char* action, const char* path, int failed) override;
    void LogAdded(const char* action, const char* path, std::uint64_t size, std::uint64_t packed) override;
    void AddWarning(const char* text) override;
    void AddWarningAbout(std::int32_t code, const char* name, const char* detail) override;
    void FinishJob() override { clear_bar(); }

    int results = 0;
    int failed_results = 0;

  private:
    void clear_bar();
    std::string out_text(const std::string& text) const;
    std::string err_text(const std::string& text) const;
    std::ostream& out_;
    std::ostream& err_;
    bool bar_;
    Terminals terminals_;
    bool quiet_;
    std::string subject_;
    bool bar_shown_ = false;
    int total_ = 0;
    int done_ = 0;
    std::string file_;
    std::string pending_warning_;
};

class ConsoleUi : public JobUi {
  public:
    // Answers are read from in when terminals.in says a person types there.
    ConsoleUi(std::ostream& out, std::ostream& err, std::istream& in, Answer answer,
              Terminals terminals = {}, bool quiet = false, std::string subject = std::string())
        : out_(out), err_(err), in_(in), answer_(answer), terminals_(terminals), quiet_(quiet),
          subject_(std::move(subject)) {}
    JobProgress* create_progress(void* owner_window, std::int32_t* error, std::uint32_t* warnings) override;
    void destroy_progress(JobProgress* progress) override;
    std::uint32_t confirm_replace(JobProgress* progress, void* owner_window, const char* target_path,
                                  const zentry& e) override;
    std::uint32_t confirm_delete_read_only(void* owner_window, const char* path) override;
    ConsoleProgress* last_progress() const { return last_; }
    // Writes the line that counts the files skipped unasked; false when none were.
    bool report_skipped() const;
    int results = 0, failed_results = 0;
    int skipped = 0; // questions that could not be asked, answered No

  private:
    std::uint32_t ask(const std::string& question, const std::string& skipped_line);
    std::ostream& out_;
    std::ostream& err_;
    std::istream& in_;
    Answer answer_;
    Terminals terminals_;
    bool quiet_;
    std::string subject_;
    bool input_ended_ = false;
    ConsoleProgress* last_ = nullptr;
};
