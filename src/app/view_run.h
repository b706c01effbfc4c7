// View and Run: the member opened in a program from the work folder, the
// thread that waits for that program, and the question whether to freshen
// the archive with the changed file.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "ui/dialog.h"

// Made by View or Run for the watcher thread, which owns it from then on.
// When the file was changed the watcher hands it on to the main window with
// WM_VIEW_WATCH_DONE, and the window frees it.
struct ViewWatchRecord {
    HANDLE thread = nullptr; // primary thread of the started program
    char memberName[platform::kMaxPath] = {};
    char extractedPath[platform::kMaxPath] = {};
    std::uint16_t date = 0;
    std::uint16_t time = 0;
    // Where the answer goes: the window, a tag that tells it from a later
    // window with the same handle, and the archive the member came from.
    HWND window = nullptr;
    LONG_PTR windowTag = 0;
    char archivePath[platform::kMaxPath] = {};
};

// Starts program with filePath (quoted) as its argument, in the file's
// folder. True when it started; *thread is then the primary thread's handle.
bool startViewer(const char* program, const char* filePath, HANDLE* thread);

// The watcher thread: waits for the program, then posts the record to its
// window when the file's date or time no longer match the member's.
DWORD WINAPI viewWatch(LPVOID record);

// Watchers that have not ended yet (tests wait for them).
int viewWatchersRunning();

// "ZARVO - File has changed": Yes (IDOK) or No (IDCANCEL, the default).
class FreshenDlg : public ui::Dialog {
  public:
    FreshenDlg(HWND parent, const char* memberName)
        : ui::Dialog(parent, "FRESHEN_DLG"), memberName_(memberName) {}

  protected:
    bool on_init() override;

  private:
    const char* memberName_;
};
