#include "cli/console_ui.h"

#include <cstdio>
#include <cstring>
#include <iostream>

#include "zip/zlist.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

std::string display_path(const std::string& dos_path) {
#ifdef _WIN32
    return dos_path;
#else
    // Z: is the host root on this build.
    if (dos_path.size() >= 2 && (dos_path[0] == 'Z' || dos_path[0] == 'z') && dos_path[1] == ':') {
        std::string p = dos_path.substr(2);
        for (char& c : p)
            if (c == '\\') c = '/';
        return p.empty() ? "/" : p;
    }
    return dos_path;
#endif
}

ConsoleProgress::ConsoleProgress(std::ostream& out, std::ostream& err, bool bar) : out_(out), err_(err), bar_(bar) {}

void ConsoleProgress::SetFile(const char* name) {
    file_ = name;
    pending_warning_.clear();
}

void ConsoleProgress::FileProgress(std::uint32_t total_bytes, std::uint32_t bytes_done) {
    if (!bar_ || total_bytes < (1u << 20)) return; // only long jobs earn a bar
    int width = 30;
    int filled = static_cast<int>(std::uint64_t(bytes_done) * width / total_bytes);
    if (filled > width) filled = width;
    err_ << "\r[" << std::string(filled, '#') << std::string(width - filled, ' ') << "] " << done_ + 1 << "/"
         << total_ << " " << file_;
    err_.flush();
    bar_shown_ = true;
}

void ConsoleProgress::clear_bar() {
    if (bar_shown_) {
        err_ << "\r\033[K";
        err_.flush();
        bar_shown_ = false;
    }
}

void ConsoleProgress::AddLine(const char* text, int flag) {
    clear_bar();
    if (flag)
        err_ << "Error: " << text << "\n";
    else
        out_ << text << "\n";
}

void ConsoleProgress::LogLine(const char* action, const char* name) {
    clear_bar();
    out_ << action << ":  " << display_path(name) << "\n";
}

void ConsoleProgress::LogResult(const char* action, const char* path, int failed) {
    clear_bar();
    ++results;
    if (failed) ++failed_results;
    if (std::strcmp(action, "Test") == 0) {
        out_ << "Test:  " << path << "  " << (failed ? (pending_warning_.empty() ? "FAILED" : pending_warning_) : "OK")
             << "\n";
    } else {
        out_ << action << ":  " << display_path(path) << (failed ? "  [FAIL]" : "") << "\n";
    }
}

void ConsoleProgress::LogAdded(const char* action, const char* path, std::uint32_t size, std::uint32_t packed) {
    clear_bar();
    unsigned long saved = 0;
    if (size > packed && size) saved = static_cast<unsigned long>((std::uint64_t(size - packed) * 100 + size / 2) / size);
    out_ << action << ":  " << display_path(path) << "  [" << saved << "%]\n";
}

void ConsoleProgress::AddWarning(const char* text) {
    clear_bar();
    pending_warning_ = text;
    err_ << text << "\n";
}

JobProgress* ConsoleUi::create_progress(void*, std::int32_t*, std::uint32_t*) {
    last_ = new ConsoleProgress(out_, err_, isatty(fileno(stderr)) != 0);
    return last_;
}

void ConsoleUi::destroy_progress(JobProgress* progress) {
    if (progress == last_) {
        results += last_->results;
        failed_results += last_->failed_results;
        last_ = nullptr;
    }
    delete progress;
}

std::uint32_t ConsoleUi::ask(const std::string& question) {
    if (answer_ == Answer::Yes) return kAnswerYesToAll;
    if (answer_ == Answer::No || !isatty(fileno(stdin))) return kAnswerNo;
    for (;;) {
        err_ << question << " [y]es, [A]ll, [n]o, [c]ancel? ";
        err_.flush();
        char line[32] = {};
        if (!std::fgets(line, sizeof line, stdin)) return kAnswerCancel;
        switch (line[0]) {
        case 'y': return kAnswerYes;
        case 'A': case 'a': return kAnswerYesToAll;
        case 'n': case 'N': return kAnswerNo;
        case 'c': case 'C': return kAnswerCancel;
        default: break;
        }
    }
}

std::uint32_t ConsoleUi::confirm_replace(JobProgress* progress, void*, const char* target_path, const zentry&) {
    if (auto* p = dynamic_cast<ConsoleProgress*>(progress)) p->FinishJob(); // the bar makes room for the question
    return ask("Replace " + display_path(target_path) + "?");
}

std::uint32_t ConsoleUi::confirm_delete_read_only(void*, const char* path) {
    return ask(display_path(path) + " is marked READONLY. Delete it?");
}
