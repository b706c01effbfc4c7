// The archive manager's program-wide state and its start and end. One
// instance of each field lives from start-up to the end of the program; the
// engine state and the catalog are among them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "zip/zip.h"
#include "zip/zlist.h"

namespace ui {
class NamedMutex;
}
class TAppWin;

struct Settings {
    char workDir[platform::kMaxPath] = {};
    char viewerProgram[platform::kMaxPath] = {};
    char installerProgram[platform::kMaxPath] = {};
    int pauseWhenDone = 0;
    int threads = 0; // compressing threads of add jobs; 0: one per core
};

struct AppState {
    char archivePath[platform::kMaxPath] = {};
    char lastFolder[platform::kMaxPath] = {};
    char extractFolder[platform::kMaxPath] = {};
    char programFolder[platform::kMaxPath] = {};
    char includeFilter[platform::kMaxPath] = {};
    char excludeFilter[platform::kMaxPath] = {};
    Settings settings;
    // The name-filter dialog's check boxes, kept until the program ends.
    int keepPrevious = 1;
    int caseSensitive = 0;

    zip engine;
    zlist catalog;

    // Start-up bookkeeping: the instance mutex, the directory to go back to,
    // and whether the work folder was taken on (only then is it emptied).
    std::unique_ptr<ui::NamedMutex> instance;
    std::string startDirectory;
    bool workFolderReady = false;
};

// The one instance.
AppState& app();
// Forgets everything (tests start each case from a fresh program state).
void reset_app_state();

// The main window, for the thread that watches a viewed file.
extern TAppWin* g_appWin;

struct StartupOutcome {
    bool run;        // go on to the message loop
    int exit_status; // when not
};

// Start-up up to the message loop: single instance, folders, the archive of
// the command line (args without the program name), settings, work folder.
StartupOutcome start_program(const std::vector<std::string>& args, const char* program_path);
// The full DOS path of an archive the user named: a relative path taken
// against the current folder, a Unix path given under Wine turned into the
// drive path that reaches it. False, with out untouched, when that path does
// not fit out's size bytes.
bool full_archive_path(const char* given, char* out, std::size_t size);
// Tells the user that an archive's path is too long to be opened.
void archive_path_too_long(const std::string& given, void* owner);

// The end: back to the start directory, the work folder emptied and removed,
// the mutex released.
void end_program();

// The file the work folder is marked with while it is ours; it keeps a
// hand-edited setting from making the program empty someone else's folder.
constexpr char kWorkFolderMark[] = "ZARVO.WRK";
// Empties the work folder (before a member is viewed or run) and keeps it
// marked as ours.
void empty_work_folder();
