#include "ui/process.h"

#include <shellapi.h>
#include <vector>

namespace ui {

namespace {

StartProcessHook& start_process_hook() {
    static StartProcessHook hook;
    return hook;
}

AssociationHook& association_hook() {
    static AssociationHook hook;
    return hook;
}

} // namespace

StartProcessHook set_start_process_hook(StartProcessHook hook) {
    StartProcessHook previous = std::move(start_process_hook());
    start_process_hook() = std::move(hook);
    return previous;
}

bool start_process(const std::string& command_line, const std::string& folder, HANDLE* thread) {
    *thread = nullptr;
    if (start_process_hook()) return start_process_hook()(command_line, folder, thread);
    // CreateProcessA may write into the command line, so it gets a copy.
    std::vector<char> line(command_line.begin(), command_line.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi))
        return false;
    CloseHandle(pi.hProcess);
    *thread = pi.hThread;
    return true;
}

AssociationHook set_association_hook(AssociationHook hook) {
    AssociationHook previous = std::move(association_hook());
    association_hook() = std::move(hook);
    return previous;
}

std::string find_associated_program(const std::string& file, const std::string& folder) {
    if (association_hook()) return association_hook()(file, folder);
    char program[MAX_PATH] = {};
    HINSTANCE r = FindExecutableA(file.c_str(), folder.empty() ? nullptr : folder.c_str(), program);
    if (reinterpret_cast<INT_PTR>(r) <= 32) return std::string();
    program[MAX_PATH - 1] = '\0';
    return program;
}

} // namespace ui
