// Undoing a monitored installation: the registry changes, the new files and
// folders and the start-up files, each only as far as the user left them
// selected; and the counts of what an application's own uninstaller left.
#pragma once

namespace monitor {

// Each returns 0; single steps that fail are skipped and the rest goes on.
int undoRegChanges();     // new keys with their branch, new values, changed values back
int deleteNewFiles();     // selected new files that are still there
int removeNewDirs();      // new folders, inner ones first; folders not empty stay
int restoreSystemFiles(); // the saved start-up files copied back from the Copy folder

// What is still there after the application's uninstaller ran; each entry's
// `gone` flag is set on the way. Files count while they exist; a new key
// while it opens, a new value while it exists, a changed value while it
// still holds the installer's data.
int countRemainingFiles();
int countRemainingRegChanges();

} // namespace monitor
