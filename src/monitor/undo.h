// Undoing a monitored installation: the registry changes, the new files and
// folders and the start-up files, each only as far as the user left them
// selected; and the counts of what an application's own uninstaller left.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace monitor {

// What an undo did: how much of each kind, and a line for each thing that
// could not be undone, with the reason.
struct UndoResult {
    int filesDeleted = 0;
    int foldersRemoved = 0;
    int keysRemoved = 0;
    int valuesRemoved = 0;
    int valuesRestored = 0;
    int startupRestored = 0;
    std::vector<std::string> failures;
};

// Each adds what it did to result and returns 0, or 1 when memory ran out.
// A step that fails is noted and the rest goes on; what is no longer there
// is neither counted nor a failure.
int undoRegChanges(
    UndoResult& result); // new keys with their branch, new values, changed values back
int deleteNewFiles(UndoResult& result); // selected new files that are still there
int removeNewDirs(UndoResult& result);  // new folders, inner ones first; folders not empty stay
// The saved start-up files that differ from their copy in the Copy folder,
// copied back.
int restoreSystemFiles(UndoResult& result);

// The text the user reads after an undo: the counts, then each failure (the
// first ones, when there are very many).
std::string undoSummary(const UndoResult& result);
// Why a step failed, from the system's error code: "it is in use", ...
std::string failureReason(std::uint32_t code);

// What is still there after the application's uninstaller ran; each entry's
// `gone` flag is set on the way. Files count while they exist; a new key
// while it opens, a new value while it exists, a changed value while it
// still holds the installer's data.
int countRemainingFiles();
int countRemainingRegChanges();

} // namespace monitor
