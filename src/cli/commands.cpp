// Commands of zarvo-cli. The engine's messages (errors, warnings, disk
// prompts) arrive as message boxes; here they go to stderr, and questions are
// answered from -y / -n or, on a terminal, by the user.
#include "cli/commands.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/console_ui.h"
#include "ops/extract.h"
#include "ops/wildcard.h"
#include "platform/platform.h"
#include "zip/errors.h"
#include "zip/list_text.h"
#include "zip/open_archive.h"
#include "zip/zip.h"
#include "zip/zlist.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

const char kUsage[] =
    "usage: zarvo-cli COMMAND [OPTIONS] ARCHIVE\n"
    "commands:\n"
    "  l ARCHIVE                  list the members as the archive window shows them\n"
    "  l -v ARCHIVE               list every member's header fields, tab-separated\n"
    "  x [-o DIR] ARCHIVE [FILTER...]\n"
    "                             extract (all, or the members matching the name\n"
    "                             filters) with their folder names into DIR\n"
    "  e [-o DIR] ARCHIVE [FILTER...]\n"
    "                             the same without folder names\n"
    "  t ARCHIVE                  decode every member and check its CRC\n"
    "options:\n"
    "  -o DIR          destination folder (default: the current folder)\n"
    "  -y              answer yes / OK to every question (replace: Yes to All)\n"
    "  -n              answer no / Cancel to every question\n";

struct Options {
    Answer answer = Answer::Ask;
    bool verbose = false;
    std::string destination = ".";
    std::vector<std::string> operands;
};

bool is_yes_answer(unsigned buttons) {
    return buttons == platform::kMbOk;
}

// Answers the engine's prompts on stderr / stdin.
platform::PromptResponder make_responder(std::ostream& err, Answer answer) {
    return [&err, answer](const platform::Prompt& p) -> int {
        unsigned buttons = p.style & 0x0F;
        err << p.caption << ": " << p.text << "\n";
        err.flush();
        if (is_yes_answer(buttons)) return platform::kIdOk;
        bool yes = false;
        if (answer == Answer::Yes) {
            yes = true;
        } else if (answer == Answer::Ask && isatty(fileno(stdin))) {
            err << (buttons == platform::kMbOkCancel ? "[OK/Cancel] (o/c)? " : "[y/n]? ");
            err.flush();
            char line[32] = {};
            if (std::fgets(line, sizeof line, stdin)) yes = line[0] == 'y' || line[0] == 'Y' || line[0] == 'o' || line[0] == 'O';
        }
        if (buttons == platform::kMbOkCancel) return yes ? platform::kIdOk : platform::kIdCancel;
        return yes ? platform::kIdYes : (buttons == platform::kMbYesNoCancel && answer == Answer::Ask ? platform::kIdCancel : platform::kIdNo);
    };
}

// Bytes outside printable ASCII, and backslashes, as \xNN and \\ so that one
// member stays on one line.
std::string escaped(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Opens the archive, reporting a failure as the archive window would.
int open_for_command(zip& z, zlist& list, const std::string& host_path) {
    std::string path = platform::dos_path_from_host(host_path);
    int rc = open_archive(z, list, path.c_str());
    if (rc == 0) return 0;
    if (rc == ZERR_NOEND && path.find(".exe") != std::string::npos) {
        platform::message_box({"Its not a self extracting zip file or its been corrupted.",
                               "Zip format not detected", platform::kMbOk, nullptr});
    } else {
        zip_error(z, rc);
    }
    return rc;
}

void list_brief(const zlist& list, std::ostream& out) {
    std::size_t name_width = 4;
    for (const zentry* e : list.sorted) name_width = std::max(name_width, std::strlen(e->name.c_str()));
    char buf[512];
    std::snprintf(buf, sizeof buf, "%-*s  %10s  %8s  %10s  %10s  %5s  %s", static_cast<int>(name_width),
                  "Name", "Date", "Time", "Size", "Packed", "Ratio", "Comment");
    out << buf << "\n";
    std::string line, date, time;
    for (const zentry* e : list.sorted) {
        member_date_time_texts(*e, &date, &time);
        std::snprintf(buf, sizeof buf, "  %10s  %8s  %10lu  %10lu  %5s  ", date.c_str(), time.c_str(),
                      static_cast<unsigned long>(e->uncompressed_size),
                      static_cast<unsigned long>(e->compressed_size), member_ratio_text(*e).c_str());
        line.assign(e->name.c_str());
        line.resize(std::max(name_width, line.size()), ' ');
        line += buf;
        if (e->comment_length) line += e->comment.c_str();
        line += '\n';
        out << line;
    }
    if (list.comment_length) out << "\n" << list.comment.c_str() << "\n";
    out << "\n" << totals_text(list) << "\n";
}

void list_verbose(const zlist& list, std::ostream& out) {
    out << "name\tmethod\tflags\tcrc32\tcompressed_size\tuncompressed_size\tdatetime\t"
           "external_attributes\tversion_needed\tdisk_number_start\tlocal_header_offset\tcomment\n";
    for (const auto& e : list.entries) {
        platform::DosFields f = platform::split_dos_time({e->date, e->time});
        char buf[256];
        std::snprintf(buf, sizeof buf,
                      "\t%u\t%04x\t%08lx\t%lu\t%lu\t%04d-%02d-%02d %02d:%02d:%02d\t%08lx\t%u\t%u\t%lu\t",
                      e->method, e->flags, static_cast<unsigned long>(e->crc),
                      static_cast<unsigned long>(e->compressed_size),
                      static_cast<unsigned long>(e->uncompressed_size), f.year, f.month, f.day,
                      f.hour, f.minute, f.second, static_cast<unsigned long>(e->external_attributes),
                      e->version_needed, e->disk_number_start,
                      static_cast<unsigned long>(e->local_header_offset));
        out << escaped(e->name) << buf << escaped(e->comment) << "\n";
    }
}

int exit_status(const zip& z) {
    if (z.error) return 2;
    return z.warnings ? 1 : 0;
}

// Marks the members matching the filters (every member without filters).
void mark_members(zlist& list, const std::vector<std::string>& filters) {
    if (filters.empty()) {
        list.mark_all(1);
        return;
    }
    std::string text;
    for (const auto& f : filters) text += (text.empty() ? "" : " ") + f;
    wlist w(text.c_str());
    w.parse();
    list.mark_all(0);
    for (auto& e : list.entries)
        if (w.matchAny(e->name.c_str(), 0)) list.mark(e.get());
}

// The archive named by the first operand, opened into a catalog.
struct CommandArchive {
    zip z;
    zlist list;
    std::string path; // as a DOS path
};

// Checks the operands (the archive, and filters where a command takes them)
// and opens the archive; false with *status set when that fails.
bool open_operand_archive(const Options& opt, bool takes_filters, std::ostream& err, CommandArchive& a,
                          int* status) {
    if (opt.operands.empty() || (!takes_filters && opt.operands.size() != 1)) {
        err << kUsage;
        *status = 2;
        return false;
    }
    a.path = platform::dos_path_from_host(opt.operands[0]);
    if (open_for_command(a.z, a.list, opt.operands[0]) != 0) {
        *status = 2;
        return false;
    }
    return true;
}

int command_extract(const Options& opt, bool use_folder_names, std::ostream& out, std::ostream& err) {
    CommandArchive a;
    int status = 0;
    if (!open_operand_archive(opt, true, err, a, &status)) return status;
    mark_members(a.list, std::vector<std::string>(opt.operands.begin() + 1, opt.operands.end()));
    if (a.list.marked == 0) {
        err << "zarvo-cli: no member matches\n";
        return 1;
    }
    ConsoleUi ui(out, err, opt.answer);
    a.z.ui = &ui;
    std::string destination = platform::dos_path_from_host(opt.destination);
    extract_files(a.z, a.list, nullptr, a.path.c_str(), destination.c_str(), use_folder_names, kAnswerYes);
    return exit_status(a.z);
}

int command_test(const Options& opt, std::ostream& out, std::ostream& err) {
    CommandArchive a;
    int status = 0;
    if (!open_operand_archive(opt, false, err, a, &status)) return status;
    a.list.mark_all(1);
    ConsoleUi ui(out, err, opt.answer);
    a.z.ui = &ui;
    test_files(a.z, a.list, nullptr, a.path.c_str());
    const zip& z = a.z;
    out << "Tested " << ui.results << " of " << a.list.count() << " members: " << ui.results - ui.failed_results
        << " OK, " << z.warnings << " warning" << (z.warnings == 1 ? "" : "s")
        << (z.error ? std::string(", stopped: ") + error_text(z.error, z.drive_type) : std::string()) << "\n";
    return exit_status(z);
}

int command_list(const Options& opt, std::ostream& out, std::ostream& err) {
    CommandArchive a;
    int status = 0;
    if (!open_operand_archive(opt, false, err, a, &status)) return status;
    if (opt.verbose)
        list_verbose(a.list, out);
    else
        list_brief(a.list, out);
    return exit_status(a.z);
}

} // namespace

int run_cli(int argc, char** argv, std::ostream& out, std::ostream& err) {
    if (argc < 2) {
        err << kUsage;
        return 2;
    }
    std::string command = argv[1];
    Options opt;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-v")
            opt.verbose = true;
        else if (a == "-y")
            opt.answer = Answer::Yes;
        else if (a == "-n")
            opt.answer = Answer::No;
        else if (a == "-o" && i + 1 < argc)
            opt.destination = argv[++i];
        else if (a == "--") {
            for (++i; i < argc; ++i) opt.operands.push_back(argv[i]);
        } else if (a.size() > 1 && a[0] == '-') {
            err << "zarvo-cli: unknown option " << a << "\n" << kUsage;
            return 2;
        } else
            opt.operands.push_back(a);
    }

    platform::PromptResponder previous = platform::set_prompt_responder(make_responder(err, opt.answer));
    int rc;
    if (command == "l")
        rc = command_list(opt, out, err);
    else if (command == "x" || command == "e")
        rc = command_extract(opt, command == "x", out, err);
    else if (command == "t")
        rc = command_test(opt, out, err);
    else if (command == "-h" || command == "--help" || command == "help") {
        out << kUsage;
        rc = 0;
    } else {
        err << "zarvo-cli: unknown command " << command << "\n" << kUsage;
        rc = 2;
    }
    platform::set_prompt_responder(std::move(previous));
    return rc;
}
