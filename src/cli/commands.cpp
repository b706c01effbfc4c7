// Commands of zarvo-cli. The engine's messages (errors, warnings, disk
// prompts) arrive as message boxes; here they go to stderr, and questions are
// answered from -y / -n or, on a terminal, by the user.
#include "cli/commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <iostream>
#include <string>
#include <vector>

#include "cli/console_ui.h"
#include "ops/add.h"
#include "ops/drives.h"
#include "ops/extract.h"
#include "ops/flist.h"
#include "ops/wildcard.h"
#include "platform/platform.h"
#include "zip/errors.h"
#include "zip/list_text.h"
#include "zip/open_archive.h"
#include "zip/writer.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace {

const char kUsage[] =
    "usage: zarvo-cli COMMAND [OPTIONS] ARCHIVE\n"
    "       zarvo-cli COMMAND --help   (that command's usage)\n"
    "commands:\n"
    "  l ARCHIVE                  list the members as the archive window shows them\n"
    "  l -v ARCHIVE               list every member's header fields, tab-separated\n"
    "  x [-o DIR] ARCHIVE [FILTER...]\n"
    "                             extract (all, or the members matching the name\n"
    "                             filters) with their folder names into DIR\n"
    "  e [-o DIR] ARCHIVE [FILTER...]\n"
    "                             the same without folder names\n"
    "  t ARCHIVE                  decode every member and check its CRC\n"
    "  a|f|u [-l LEVEL] [-j N] [-r] [-p] [-D] [-m] [-S] [-i FILTERS] [-x FILTERS] ARCHIVE PATH...\n"
    "                             add (replacing members of the same name), freshen\n"
    "                             (only newer files of existing members) or update\n"
    "                             (only files not yet in the archive); a and u create\n"
    "                             the archive when it does not exist; PATH may be \".\"\n"
    "  d ARCHIVE FILTER...        remove the members matching the name filters\n"
    "  c [-f FILE] ARCHIVE        set the archive comment from FILE or standard\n"
    "                             input; empty text removes it\n"
    "options:\n"
    "  -o DIR          destination folder (default: the current folder)\n"
    "  -l LEVEL        compression level 0 (store) to 9 (default 6)\n"
    "  -j N            threads compressing new members, 1 to 64\n"
    "                  (default: one per core)\n"
    "  -r              recurse into the folders given\n"
    "  -p              store full paths (without the drive); otherwise names are\n"
    "                  relative to the current folder\n"
    "  -D              store empty folders\n"
    "  -m              delete the sources after a job without errors or warnings\n"
    "  -S, --symlinks  store symbolic links as links, not what they lead to\n"
    "  -i FILTERS      include filters for files found in folders (default *.*)\n"
    "  -x FILTERS      exclude filters\n"
    "  -y              answer yes / OK to every question (replace: Yes to All)\n"
    "  -n              answer no / Cancel to every question\n"
    "  -q              quiet: no line per file (warnings and errors still show)\n"
    "  -h, --help      this text\n"
    "A question that cannot be asked (standard input is not a terminal, or it\n"
    "ended) is answered no; each file so skipped is reported and counts as a\n"
    "warning. Exit status: 0 success, 1 warnings, 2 an error.\n";

struct CommandUsage {
    const char* names; // the command letters it serves
    const char* text;
};

const CommandUsage kCommandUsages[] = {
    {"l", "usage: zarvo-cli l [-v] ARCHIVE\n"
          "List the members as the archive window shows them, with the archive comment\n"
          "and the totals.\n"
          "  -v  every member's header fields instead, tab-separated, one per line\n"},
    {"xe", "usage: zarvo-cli x|e [-o DIR] [-y|-n] [-q] ARCHIVE [FILTER...]\n"
           "Extract all members, or those matching a name filter (each argument is one\n"
           "filter, blanks included); x keeps their folder names, e does not.\n"
           "  -o DIR  destination folder (default: the current folder)\n"
           "  -y      replace existing files without asking\n"
           "  -n      keep existing files without asking\n"
           "  -q      no line per file\n"
           "Without -y or -n an existing file is asked about on the terminal; when\n"
           "standard input is not one, the file is kept, reported, and the exit\n"
           "status is 1.\n"},
    {"t", "usage: zarvo-cli t [-q] ARCHIVE\n"
          "Decode every member and check its CRC.\n"
          "  -q  no line per member and no summary\n"},
    {"afu", "usage: zarvo-cli a|f|u [-l LEVEL] [-j N] [-r] [-p] [-D] [-m] [-S] [-i FILTERS] [-x FILTERS]\n"
            "                     [-y|-n] [-q] ARCHIVE PATH...\n"
            "a adds files (replacing members of the same name), f freshens members from\n"
            "newer files, u adds files not yet in the archive or newer; a and u create\n"
            "the archive. PATH is a file or folder below the current folder (\".\" is\n"
            "the current folder itself); names are stored relative to it. The archive\n"
            "is never added to itself.\n"
            "  -l LEVEL    compression level 0 (store) to 9 (default 6)\n"
            "  -j N        compress on N threads, 1 to 64 (default: one per core);\n"
            "              the archive is the same whatever N is\n"
            "  -r          recurse into the folders given\n"
            "  -p          store full paths (without the drive)\n"
            "  -D          store empty folders\n"
            "  -m          delete the sources after a job without errors or warnings\n"
            "  -S, --symlinks\n"
            "              store symbolic links as links (the text they hold), not\n"
            "              the file or folder they lead to; a link is never followed\n"
            "              into a folder\n"
            "  -i FILTERS  include filters for files found in folders (default *.*)\n"
            "  -x FILTERS  exclude filters\n"
            "  -y / -n     answer every question (a read-only source with -m)\n"
            "  -q          no line per file\n"},
    {"d", "usage: zarvo-cli d [-q] ARCHIVE FILTER...\n"
          "Remove the members matching the name filters (each argument is one filter).\n"
          "  -q  no line per member\n"},
    {"c", "usage: zarvo-cli c [-f FILE] ARCHIVE\n"
          "Set the archive comment from FILE or standard input; empty text removes it.\n"},
};

const char* command_usage(const std::string& command) {
    if (command.size() == 1)
        for (const auto& u : kCommandUsages)
            if (std::strchr(u.names, command[0])) return u.text;
    return nullptr;
}

const char* usage_of(const std::string& command) {
    const char* text = command_usage(command);
    return text ? text : kUsage;
}

struct Options {
    Answer answer = Answer::Ask;
    bool verbose = false;
    bool quiet = false;
    std::string command;
    std::string destination = ".";
    int level = 6;
    unsigned threads = 0; // 0: one per core
    bool recurse = false, full_paths = false, empty_folders = false, move = false;
    bool symlinks = false;
    std::string include = "*.*", exclude;
    std::string comment_file;
    std::vector<std::string> operands;
    Terminals terminals;
    std::istream* in = &std::cin; // answers, when terminals.in
    std::string subject;          // the archive operand as messages show it
};

bool is_yes_answer(unsigned buttons) {
    return buttons == platform::kMbOk;
}

// The archive a command is about: the engine names it by its DOS path, the
// user knows it by its host path.
struct Subject {
    std::string dos, shown;
};

// Answers the engine's prompts on stderr / stdin. Every message names the
// archive, in its host form.
platform::PromptResponder make_responder(std::ostream& err, std::istream& in, Answer answer,
                                         Terminals terminals, const Subject& subject) {
    return [&err, &in, answer, terminals, &subject](const platform::Prompt& p) -> int {
        unsigned buttons = p.style & 0x0F;
        std::string text = p.text;
        if (!subject.dos.empty()) {
            for (std::size_t at = text.find(subject.dos); at != std::string::npos;
                 at = text.find(subject.dos, at + subject.shown.size()))
                text.replace(at, subject.dos.size(), subject.shown);
            if (text.find(subject.shown) == std::string::npos) text = subject.shown + ": " + text;
        }
        // A warning's text starts with its own "Warning: "; the caption is not said twice.
        const std::string lead = p.caption + ": ";
        if (text.compare(0, lead.size(), lead) == 0) text.erase(0, lead.size());
        if (terminals.err)
            err << terminal_safe(p.caption) << ": " << terminal_safe(text) << "\n";
        else
            err << p.caption << ": " << text << "\n";
        err.flush();
        if (is_yes_answer(buttons)) return platform::kIdOk;
        bool yes = false;
        if (answer == Answer::Yes) {
            yes = true;
        } else if (answer == Answer::Ask && terminals.in) {
            err << (buttons == platform::kMbOkCancel ? "[OK/Cancel] (o/c)? " : "[y/n]? ");
            err.flush();
            std::string line;
            if (std::getline(in, line))
                yes = !line.empty() &&
                      (line[0] == 'y' || line[0] == 'Y' || line[0] == 'o' || line[0] == 'O');
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

void list_brief(const zlist& list, std::ostream& out, bool terminal) {
    auto shown = [terminal](const std::string& text, bool keep_lines = false) {
        return terminal ? terminal_safe(text, keep_lines) : text;
    };
    // Names are UTF-8: columns are counted in characters, not bytes.
    auto width = [](const std::string& text) {
        std::size_t n = 0;
        for (unsigned char c : text)
            n += (c & 0xC0) != 0x80;
        return n;
    };
    std::size_t name_width = 4;
    for (const zentry* e : list.sorted)
        name_width = std::max(name_width, width(shown(e->name.c_str())));
    char buf[512];
    std::snprintf(buf, sizeof buf, "%-*s  %10s  %8s  %10s  %10s  %5s  %s", static_cast<int>(name_width),
                  "Name", "Date", "Time", "Size", "Packed", "Ratio", "Comment");
    out << buf << "\n";
    std::string line, date, time;
    for (const zentry* e : list.sorted) {
        member_date_time_texts(*e, &date, &time);
        std::snprintf(buf, sizeof buf, "  %10s  %8s  %10llu  %10llu  %5s  ", date.c_str(), time.c_str(),
                      static_cast<unsigned long long>(e->uncompressed_size),
                      static_cast<unsigned long long>(e->compressed_size), member_ratio_text(*e).c_str());
        line.assign(shown(e->name.c_str()));
        line.append(name_width - std::min(name_width, width(line)), ' ');
        line += buf;
        if (e->comment_length) line += shown(e->comment.c_str());
        line += '\n';
        out << line;
    }
    if (list.comment_length) out << "\n" << shown(list.comment.c_str(), true) << "\n";
    out << "\n" << totals_text(list) << "\n";
}

void list_verbose(const zlist& list, std::ostream& out) {
    out << "name\tmethod\tflags\tcrc32\tcompressed_size\tuncompressed_size\tdatetime\t"
           "external_attributes\tversion_needed\tdisk_number_start\tlocal_header_offset\tcomment\n";
    for (const auto& e : list.entries) {
        platform::DosFields f = platform::split_dos_time({e->date, e->time});
        char buf[256];
        std::snprintf(buf, sizeof buf,
                      "\t%u\t%04x\t%08lx\t%llu\t%llu\t%04d-%02d-%02d %02d:%02d:%02d\t%08lx\t%u\t%u\t%llu\t",
                      e->method, e->flags, static_cast<unsigned long>(e->crc),
                      static_cast<unsigned long long>(e->compressed_size),
                      static_cast<unsigned long long>(e->uncompressed_size), f.year, f.month, f.day,
                      f.hour, f.minute, f.second, static_cast<unsigned long>(e->external_attributes),
                      e->version_needed, e->disk_number_start,
                      static_cast<unsigned long long>(e->local_header_offset));
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
    // Each argument is one filter: a member name with blanks is matched whole.
    wlist w(filters);
    list.mark_all(0);
    for (auto& e : list.entries)
        if (w.matchAny(e->name.c_str(), 0)) list.mark(e.get());
}

// The archive named by the first operand, opened into a catalog.
struct CommandArchive {
    zip z;
    zlist list;
    std::string path; // as a DOS path
    std::uint32_t open_warnings = 0; // reading the archive found figures that lie

    // The command's exit status, counting what reading the archive reported.
    int status() const { return std::max(exit_status(z), open_warnings ? 1 : 0); }
};

// Checks the operands (the archive, and filters where a command takes them)
// and opens the archive; false with *status set when that fails.
bool open_operand_archive(const Options& opt, bool takes_filters, std::ostream& err, CommandArchive& a,
                          int* status) {
    if (opt.operands.empty() || (!takes_filters && opt.operands.size() != 1)) {
        err << usage_of(opt.command);
        *status = 2;
        return false;
    }
    a.path = platform::dos_path_from_host(opt.operands[0]);
    if (open_for_command(a.z, a.list, opt.operands[0]) != 0) {
        *status = 2;
        return false;
    }
    a.open_warnings = a.z.warnings;
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
    ConsoleUi ui(out, err, *opt.in, opt.answer, opt.terminals, opt.quiet, opt.subject);
    a.z.ui = &ui;
    std::string destination = platform::dos_path_from_host(opt.destination);
    extract_files(a.z, a.list, nullptr, a.path.c_str(), destination.c_str(), use_folder_names, kAnswerYes);
    return ui.report_skipped() ? std::max(a.status(), 1) : a.status();
}

int command_test(const Options& opt, std::ostream& out, std::ostream& err) {
    CommandArchive a;
    int status = 0;
    if (!open_operand_archive(opt, false, err, a, &status)) return status;
    a.list.mark_all(1);
    ConsoleUi ui(out, err, *opt.in, opt.answer, opt.terminals, opt.quiet, opt.subject);
    a.z.ui = &ui;
    test_files(a.z, a.list, nullptr, a.path.c_str());
    const zip& z = a.z;
    const std::uint32_t warnings = z.warnings + a.open_warnings;
    if (opt.quiet) return a.status();
    out << "Tested " << ui.results << " of " << a.list.count()
        << " members: " << ui.results - ui.failed_results << " OK, " << warnings << " warning"
        << (warnings == 1 ? "" : "s")
        << (z.error ? std::string(", stopped: ") + error_text(z.error, z.drive_type)
                    : std::string())
        << "\n";
    return a.status();
}

int command_list(const Options& opt, std::ostream& out, std::ostream& err) {
    CommandArchive a;
    int status = 0;
    if (!open_operand_archive(opt, false, err, a, &status)) return status;
    if (opt.verbose)
        list_verbose(a.list, out);
    else
        list_brief(a.list, out, opt.terminals.out);
    return a.status();
}

// The archive's drive must allow changing it, as in the archive window.
bool drive_allows_changes(zip& z) {
    if (z.drive_type == kDriveTypeFixed || z.drive_type == kDriveTypeNetwork) return true;
    zip_error(z, ZERR_DRIVE);
    return false;
}

// A folder for temporary archives outside the user's folders.
void use_temporary_folder(zip& z) {
    platform::copy_bounded(z.work_folder, sizeof z.work_folder, platform::temp_folder().c_str());
}

int command_add(const Options& opt, char which, std::ostream& out, std::ostream& err) {
    if (opt.operands.size() < 2) {
        err << usage_of(opt.command);
        return 2;
    }
    zip z;
    zlist list;
    use_temporary_folder(z);
    std::string archive = platform::dos_path_from_host(opt.operands[0]);
    std::uint32_t action = which == 'a' ? kActionAdd : which == 'f' ? kActionFreshen : kActionUpdate;
    bool exists = platform::get_attributes(archive.c_str()) != platform::kInvalidAttributes;
    if (!exists && which == 'f') {
        zip_error(z, ZERR_NOZIP);
        return 2;
    }
    std::uint32_t open_warnings = 0;
    if (exists) {
        if (open_for_command(z, list, opt.operands[0]) != 0) return 2;
        open_warnings = z.warnings;
        if (!drive_allows_changes(z)) return 2;
    } else {
        action = kActionCreate;
        get_drive_type(z, archive.c_str());
    }

    auto files = std::make_unique<flist>();
    files->recurse = opt.recurse;
    files->full_paths = opt.full_paths;
    files->empty_folders = opt.empty_folders;
    files->delete_sources = opt.move;
    files->store_links = opt.symlinks;
    files->level = opt.level;
    files->action = static_cast<int>(action);
    std::string base = platform::dos_path_from_host(".");
    files->set_source_folder(base);
    std::string base_slash = base.back() == '\\' ? base : base + "\\";
    int own_archive_named = 0;
    wlist include(opt.include.c_str()), exclude(opt.exclude.c_str());
    include.parse();
    if (!opt.exclude.empty()) exclude.parse();
    for (std::size_t i = 1; i < opt.operands.size(); ++i) {
        std::string path = platform::dos_path_from_host(opt.operands[i]);
        // "." (or any name of the current folder) is the folder itself.
        const bool current_folder = compare_names(path.c_str(), base.c_str()) == 0;
        if (!opt.full_paths && !current_folder &&
            compare_names(path.substr(0, base_slash.size()).c_str(), base_slash.c_str()) != 0) {
            err << "zarvo-cli: " << opt.operands[i]
                << " is outside the current folder; use -p to store full paths\n";
            return 2;
        }
        std::uint32_t attributes = platform::get_attributes(path.c_str());
        platform::UnixStat link;
        const bool stored_as_link = opt.symlinks &&
                                    platform::get_unix_stat(path.c_str(), false, &link) &&
                                    (link.mode & kUnixTypeMask) == kUnixLink;
        if (attributes != platform::kInvalidAttributes && (attributes & platform::kAttrDirectory) &&
            !stored_as_link) {
            if (!collectFiles(*files, path, include, exclude)) {
                err << "zarvo-cli: out of memory\n";
                return 2;
            }
        } else if (compare_names(path.c_str(), archive.c_str()) == 0) {
            err << "Warning: " << display_path(archive)
                << " is the archive itself. It was skipped\n";
            ++own_archive_named;
        } else {
            files->append(path); // a missing file gives its warning in the job
        }
    }
    // A folder holding the archive lists it too: an archive never takes itself in.
    for (auto& f : files->entries)
        if (compare_names(f.path.c_str(), archive.c_str()) == 0) f.flag = kFentrySkip;
    files->remove_flagged(kFentrySkip);

    ConsoleUi ui(out, err, *opt.in, opt.answer, opt.terminals, opt.quiet, opt.subject);
    z.ui = &ui;
    z.file_list = files.release();
    z.threads = opt.threads;
    zip_operation(z, list, nullptr, archive.c_str(), action, static_cast<std::uint32_t>(opt.level),
                  0);
    const bool skipped = ui.report_skipped() || own_archive_named;
    return std::max(exit_status(z), open_warnings || skipped ? 1 : 0);
}

int command_remove(const Options& opt, std::ostream& out, std::ostream& err) {
    if (opt.operands.size() < 2) {
        err << usage_of(opt.command);
        return 2;
    }
    CommandArchive a;
    int status = 0;
    if (!open_operand_archive(opt, true, err, a, &status)) return status;
    if (!drive_allows_changes(a.z)) return 2;
    mark_members(a.list, std::vector<std::string>(opt.operands.begin() + 1, opt.operands.end()));
    if (a.list.marked == 0) {
        err << "zarvo-cli: no member matches\n";
        return 1;
    }
    if (a.list.marked == a.list.count()) {
        platform::message_box({"Can't remove all files. Delete the file instead", "Warning",
                               platform::kMbOk | platform::kMbIconExclamation, nullptr});
        return 2;
    }
    use_temporary_folder(a.z);
    ConsoleUi ui(out, err, *opt.in, opt.answer, opt.terminals, opt.quiet, opt.subject);
    a.z.ui = &ui;
    zip_operation(a.z, a.list, nullptr, a.path.c_str(), kActionRemove, 0, 0);
    return ui.report_skipped() ? std::max(a.status(), 1) : a.status();
}

int command_comment(const Options& opt, std::ostream& err) {
    CommandArchive a;
    int status = 0;
    if (!open_operand_archive(opt, false, err, a, &status)) return status;
    if (!drive_allows_changes(a.z)) return 2;
    std::string text;
    if (!opt.comment_file.empty()) {
        std::ifstream in(opt.comment_file, std::ios::binary);
        if (!in) {
            err << "zarvo-cli: cannot read " << opt.comment_file << "\n";
            return 2;
        }
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
        text.assign(std::istreambuf_iterator<char>(*opt.in), std::istreambuf_iterator<char>());
    }
    if (text.size() > 0xFFFF) {
        err << "zarvo-cli: an archive comment holds at most 65535 bytes\n";
        return 2;
    }
    platform::copy_bounded(a.z.archive_path, sizeof a.z.archive_path, a.path.c_str());
    int rc = text.empty() ? (a.z.error = 0, delete_comment(a.z, a.list))
                          : set_comment(a.z, a.list, text.data(), static_cast<std::uint32_t>(text.size()));
    if (rc) zip_error(a.z, rc);
    return a.status();
}

} // namespace

int run_cli(int argc, char** argv, std::ostream& out, std::ostream& err) {
    Terminals terminals;
    terminals.out = &out == &std::cout && platform::is_terminal(platform::StdStream::Out);
    terminals.err = &err == &std::cerr && platform::is_terminal(platform::StdStream::Err);
    terminals.in = platform::is_terminal(platform::StdStream::In);
    return run_cli(argc, argv, out, err, terminals, std::cin);
}

int run_cli(int argc, char** argv, std::ostream& out, std::ostream& err, Terminals terminals) {
    return run_cli(argc, argv, out, err, terminals, std::cin);
}

int run_cli(int argc, char** argv, std::ostream& out, std::ostream& err, Terminals terminals,
            std::istream& in) {
    if (argc < 2) {
        err << kUsage;
        return 2;
    }
    std::string command = argv[1];
    if (command == "-h" || command == "--help" || command == "help") {
        out << kUsage;
        return 0;
    }
    const char* usage = command_usage(command);
    if (!usage) {
        err << "zarvo-cli: unknown command " << command << "\n" << kUsage;
        return 2;
    }
    Options opt;
    opt.command = command;
    opt.terminals = terminals;
    opt.in = &in;
    bool help = false;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-v")
            opt.verbose = true;
        else if (a == "-y")
            opt.answer = Answer::Yes;
        else if (a == "-n")
            opt.answer = Answer::No;
        else if (a == "-q")
            opt.quiet = true;
        else if (a == "-h" || a == "--help")
            help = true;
        else if (a == "-P" || a.rfind("--password", 0) == 0) {
            // Kept for encrypted archives, so that no script comes to rely on it
            // meaning something else.
            err << "zarvo-cli: " << a << ": passwords (encryption) are not supported yet\n";
            return 2;
        } else if (a == "-o" && i + 1 < argc)
            opt.destination = argv[++i];
        else if (a == "-l" && i + 1 < argc) {
            std::string v = argv[++i];
            if (v.size() != 1 || v[0] < '0' || v[0] > '9') {
                err << "zarvo-cli: the level is a digit 0 to 9\n";
                return 2;
            }
            opt.level = v[0] - '0';
        } else if (a == "-j" && i + 1 < argc) {
            std::string v = argv[++i];
            const bool digits = !v.empty() && v.size() <= 2 &&
                                v.find_first_not_of("0123456789") == std::string::npos;
            const int n = digits ? std::stoi(v) : 0;
            if (n < 1 || n > 64) {
                err << "zarvo-cli: the number of threads is 1 to 64\n";
                return 2;
            }
            opt.threads = static_cast<unsigned>(n);
        } else if (a == "-r")
            opt.recurse = true;
        else if (a == "-p")
            opt.full_paths = true;
        else if (a == "-D")
            opt.empty_folders = true;
        else if (a == "-m")
            opt.move = true;
        else if (a == "-S" || a == "--symlinks")
            opt.symlinks = true;
        else if (a == "-i" && i + 1 < argc)
            opt.include = argv[++i];
        else if (a == "-x" && i + 1 < argc)
            opt.exclude = argv[++i];
        else if (a == "-f" && i + 1 < argc)
            opt.comment_file = argv[++i];
        else if (a == "--") {
            for (++i; i < argc; ++i) opt.operands.push_back(argv[i]);
        } else if (a.size() > 1 && a[0] == '-') {
            err << "zarvo-cli: unknown option " << a << "\n" << usage;
            return 2;
        } else
            opt.operands.push_back(a);
    }
    if (help) {
        out << usage;
        return 0;
    }

    Subject subject;
    if (!opt.operands.empty()) {
        subject.dos = platform::dos_path_from_host(opt.operands[0]);
        subject.shown = display_path(subject.dos);
        opt.subject = subject.shown;
    }
    platform::PromptResponder previous =
        platform::set_prompt_responder(make_responder(err, in, opt.answer, terminals, subject));
    int rc;
    if (command == "l")
        rc = command_list(opt, out, err);
    else if (command == "x" || command == "e")
        rc = command_extract(opt, command == "x", out, err);
    else if (command == "t")
        rc = command_test(opt, out, err);
    else if (command == "a" || command == "f" || command == "u")
        rc = command_add(opt, command[0], out, err);
    else if (command == "d")
        rc = command_remove(opt, out, err);
    else
        rc = command_comment(opt, err);
    platform::set_prompt_responder(std::move(previous));
    return rc;
}
