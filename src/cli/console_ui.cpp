#include "cli/console_ui.h"

#include <cstdio>
#include <cstring>
#include <iostream>

#include "platform/platform.h"
#include "zip/errors.h"
#include "zip/zlist.h"

std::string display_path(const std::string& dos_path) {
    return platform::host_path_for_display(dos_path);
}

namespace {

// Length of the well-formed UTF-8 sequence at p (n bytes left), 0 if none.
std::size_t utf8_length(const unsigned char* p, std::size_t n) {
    std::size_t len;
    std::uint32_t min;
    if (p[0] >= 0xC2 && p[0] <= 0xDF) {
        len = 2, min = 0x80;
    } else if (p[0] >= 0xE0 && p[0] <= 0xEF) {
        len = 3, min = 0x800;
    } else if (p[0] >= 0xF0 && p[0] <= 0xF4) {
        len = 4, min = 0x10000;
    } else {
        return 0;
    }
    if (n < len) return 0;
    std::uint32_t cp = p[0] & (0x7F >> len);
    for (std::size_t i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    // C1 controls (U+0080 to U+009F) act on terminals as their escapes do.
    if (cp <= 0x9F) return 0;
    return len;
}

void append_escaped(std::string& out, unsigned char c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02x", c);
    out += buf;
}

} // namespace

std::string terminal_safe(const std::string& text, bool keep_lines) {
    std::string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        unsigned char c = p[i];
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
        } else if (keep_lines && (c == '\n' || c == '\t')) {
            out += static_cast<char>(c);
            ++i;
        } else if (keep_lines && c == '\r' && i + 1 < n && p[i + 1] == '\n') {
            out += "\r\n";
            i += 2;
        } else if (std::size_t len = c >= 0x80 ? utf8_length(p + i, n - i) : 0) {
            out.append(text, i, len);
            i += len;
        } else {
            append_escaped(out, c);
            ++i;
        }
    }
    return out;
}

ConsoleProgress::ConsoleProgress(std::ostream& out, std::ostream& err, bool bar,
                                 Terminals terminals, bool quiet, std::string subject)
    : out_(out), err_(err), bar_(bar), terminals_(terminals), quiet_(quiet),
      subject_(std::move(subject)) {}

std::string ConsoleProgress::out_text(const std::string& text) const {
    return terminals_.out ? terminal_safe(text) : text;
}

std::string ConsoleProgress::err_text(const std::string& text) const {
    return terminals_.err ? terminal_safe(text) : text;
}

void ConsoleProgress::SetFile(const char* name) {
    file_ = name;
    pending_warning_.clear();
}

void ConsoleProgress::FileProgress(std::uint64_t total_bytes, std::uint64_t bytes_done) {
    if (!bar_ || total_bytes < (1u << 20)) return; // only long jobs earn a bar
    int width = 30;
    int filled = static_cast<int>(std::uint64_t(bytes_done) * width / total_bytes);
    if (filled > width) filled = width;
    err_ << "\r[" << std::string(filled, '#') << std::string(width - filled, ' ') << "] "
         << done_ + 1 << "/" << total_ << " " << err_text(file_);
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
        err_ << "Error: " << err_text(subject_.empty() ? text : subject_ + ": " + text) << "\n";
    else if (!quiet_)
        out_ << out_text(text) << "\n";
}

void ConsoleProgress::LogLine(const char* action, const char* name) {
    clear_bar();
    if (quiet_) return;
    out_ << action << ":  " << out_text(display_path(name)) << "\n";
}

void ConsoleProgress::LogResult(const char* action, const char* path, int failed) {
    clear_bar();
    ++results;
    if (failed) ++failed_results;
    if (quiet_) return;
    if (std::strcmp(action, "Test") == 0) {
        out_ << "Test:  " << out_text(path) << "  "
             << (failed ? (pending_warning_.empty() ? "FAILED" : out_text(pending_warning_)) : "OK")
             << "\n";
    } else {
        out_ << action << ":  " << out_text(display_path(path)) << (failed ? "  [FAIL]" : "")
             << "\n";
    }
}

void ConsoleProgress::LogAdded(const char* action, const char* path, std::uint64_t size, std::uint64_t packed) {
    clear_bar();
    if (quiet_) return;
    unsigned long saved = 0;
    if (size > packed && size) saved = static_cast<unsigned long>(((size - packed) * 100 + size / 2) / size);
    out_ << action << ":  " << out_text(display_path(path)) << "  [" << saved << "%]\n";
}

void ConsoleProgress::AddWarning(const char* text) {
    clear_bar();
    pending_warning_ = text;
    err_ << err_text(text) << "\n";
}

void ConsoleProgress::AddWarningAbout(std::int32_t code, const char* name, const char* detail) {
    AddWarning(warning_line(code, name ? display_path(name).c_str() : nullptr, detail).c_str());
}

JobProgress* ConsoleUi::create_progress(void*, std::int32_t*, std::uint32_t*) {
    last_ = new ConsoleProgress(out_, err_, platform::is_terminal(platform::StdStream::Err),
                                terminals_, quiet_, subject_);
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

std::uint32_t ConsoleUi::ask(const std::string& question, const std::string& skipped_line) {
    if (answer_ == Answer::Yes) return kAnswerYesToAll;
    if (answer_ == Answer::No) return kAnswerNo;
    // Nobody to answer: leaving the file is the answer that loses nothing,
    // but the caller must learn of it.
    auto unasked = [&] {
        ++skipped;
        err_ << (terminals_.err ? terminal_safe(skipped_line) : skipped_line) << "\n";
        return kAnswerNo;
    };
    if (!terminals_.in || input_ended_) return unasked();
    for (;;) {
        err_ << (terminals_.err ? terminal_safe(question) : question)
             << " [y]es, [A]ll, [n]o, [c]ancel? ";
        err_.flush();
        std::string line;
        if (!std::getline(in_, line)) {
            input_ended_ = true;
            err_ << "\n";
            return unasked();
        }
        switch (line.empty() ? '\0' : line[0]) {
        case 'y': return kAnswerYes;
        case 'A': case 'a': return kAnswerYesToAll;
        case 'n': case 'N': return kAnswerNo;
        case 'c': case 'C': return kAnswerCancel;
        default: break;
        }
    }
}

bool ConsoleUi::report_skipped() const {
    if (skipped == 0) return false;
    err_ << "Warning: " << skipped << (skipped == 1 ? " file was" : " files were")
         << " skipped, as no one could be asked (-y replaces, -n keeps without a warning)\n";
    return true;
}

std::uint32_t ConsoleUi::confirm_replace(JobProgress* progress, void*, const char* target_path, const zentry&) {
    if (auto* p = dynamic_cast<ConsoleProgress*>(progress)) p->FinishJob(); // the bar makes room for the question
    const std::string shown = display_path(target_path);
    return ask("Replace " + shown + "?", "Skipped (exists, not replaced): " + shown);
}

std::uint32_t ConsoleUi::confirm_delete_read_only(void*, const char* path) {
    const std::string shown = display_path(path);
    return ask(shown + " is marked READONLY. Delete it?",
               "Kept (read-only, not deleted): " + shown);
}
