// Starting programs and asking the shell which program opens a file. Both
// are OS calls that tests stand in for through hooks, as they do for the
// shell and the file dialogs.
#pragma once

#include <functional>
#include <string>

#include "ui/window.h"

namespace ui {

// Starts command_line as a new process with folder as its working folder
// (default start-up information, no inherited handles). True when it
// started; *thread then holds the handle of its primary thread, which the
// caller closes.
bool start_process(const std::string& command_line, const std::string& folder, HANDLE* thread);
using StartProcessHook =
    std::function<bool(const std::string& command_line, const std::string& folder, HANDLE*)>;
StartProcessHook set_start_process_hook(StartProcessHook hook);

// The program the shell associates with file, the search starting in
// folder; empty when there is none.
std::string find_associated_program(const std::string& file, const std::string& folder);
using AssociationHook =
    std::function<std::string(const std::string& file, const std::string& folder)>;
AssociationHook set_association_hook(AssociationHook hook);

} // namespace ui
