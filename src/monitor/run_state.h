// The install monitor's run-wide state: the first failure of a run, which
// stops every later step, and the folders and files a run works with.
#pragma once

#include "platform/platform.h"

namespace monitor {

// 0 while all is well; the first failure's code otherwise (1 out of memory,
// 3 logging could not start, 4 logging could not stop, ...).
extern int runError;

// The program's own folder (no trailing backslash), the Copy folder for the
// saved system files, and the file-change log (programDir + "\vxdlog").
extern char programDir[platform::kMaxPath];
extern char copyDir[platform::kMaxPath];
extern char logPath[platform::kMaxPath];
// The application's own uninstaller, as its Uninstall key names it; empty
// when none was found.
extern char uninstallCommand[platform::kMaxPath];

} // namespace monitor
