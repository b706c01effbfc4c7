// The install monitor's run: one monitored installation per start. The
// settings, the program to run, the snapshots and logging around it, the
// wait while the user tries it, the results, and the clean-up that leaves
// no log and no Copy folder behind, whatever happened.
#pragma once

#include <string>
#include <vector>

#include "monitor/registry_snapshot.h"
#include "platform/platform.h"
#include "ui/process.h"
#include "ui/window.h"

namespace kestril {

extern char startDir[platform::kMaxPath];
extern char installerDir[platform::kMaxPath];
extern char pickedName[platform::kMaxPath];
extern char installerPath[platform::kMaxPath];
extern bool guardOnly;
// The installer with every process it starts, while it may run.
extern ui::WatchedProgram installer;
// The four snapshots of the run, compared when the user is done.
extern monitor::regkey snapshots[4];

// The folder a program runs in: its path cut at the last backslash, keeping
// the backslash of a drive root (c:\setup.exe runs in c:\).
std::string installerDirOf(const std::string& program);
// The command line that runs the program at path: the path quoted, and a
// Windows Installer package through the system's msiexec.
std::string installerCommandLine(const std::string& path);
// Kestril.ini beside the program: [Paths] Copy, created with its default.
void loadMonitorSettings();
// Deletes folder with everything below it; files that stay are shown.
void removeFolderTree(const char* folder);
// "Error: " and the text of runError, once, at the end of a run.
void showRunError();

// The whole program (args without the program name); the exit code.
int kestril_main(const std::vector<std::string>& args, const char* program_path);

} // namespace kestril
