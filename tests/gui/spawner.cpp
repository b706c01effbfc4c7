// A stand-in installer for the install monitor's tests: it starts a second
// copy of itself and returns, or sleeps, so the tests can see what is waited
// for. Wide calls throughout, so paths in any letters pass through.
//
//   spawner run MS [DELETE [STAMP]]   sleeps MS (-1: for ever), deletes the
//                                     file DELETE, writes the tick count at
//                                     its end into STAMP ("-": none)
//   spawner start ARGS...             starts "spawner ARGS..." and returns
//   spawner hold ARGS...              starts "spawner ARGS..." and sleeps
//                                     for ever
//
// Started without arguments, as an installer is, it takes them from the
// file beside it with the extension .args (UTF-8, one argument a line).
#include <windows.h>

#include <shellapi.h>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::wstring quoted(const wchar_t* arg) {
    return L"\"" + std::wstring(arg) + L"\"";
}

bool startSelf(int argc, wchar_t** argv, int from) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = quoted(self);
    for (int i = from; i < argc; ++i)
        line += L" " + quoted(argv[i]);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

// The command line, or for a bare start the one from the .args file.
std::wstring commandLine() {
    std::wstring line = GetCommandLineW();
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(line.c_str(), &argc);
    if (!argv || argc > 1) return line;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring args = self;
    args.replace(args.size() - 4, 4, L".args");
    HANDLE f = CreateFileW(args.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return line;
    char text[4096] = {};
    DWORD read = 0;
    ReadFile(f, text, sizeof text - 1, &read, nullptr);
    CloseHandle(f);
    wchar_t wide[4096] = {};
    MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(read), wide, 4095);
    std::wstring from = wide;
    line = quoted(self);
    std::size_t at = 0;
    while (at < from.size()) {
        std::size_t end = from.find(L'\n', at);
        if (end == std::wstring::npos) end = from.size();
        std::wstring arg = from.substr(at, end - at);
        if (!arg.empty() && arg.back() == L'\r') arg.pop_back();
        if (!arg.empty()) line += L" " + quoted(arg.c_str());
        at = end + 1;
    }
    return line;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(commandLine().c_str(), &argc);
    if (!argv || argc < 3) return 2;
    if (std::wcscmp(argv[1], L"start") == 0) return startSelf(argc, argv, 2) ? 0 : 1;
    if (std::wcscmp(argv[1], L"hold") == 0) {
        if (!startSelf(argc, argv, 2)) return 1;
        Sleep(INFINITE);
    }
    if (std::wcscmp(argv[1], L"run") != 0) return 2;
    long ms = std::wcstol(argv[2], nullptr, 10);
    Sleep(ms < 0 ? INFINITE : static_cast<DWORD>(ms));
    if (argc > 3 && std::wcscmp(argv[3], L"-") != 0) DeleteFileW(argv[3]);
    if (argc > 4 && std::wcscmp(argv[4], L"-") != 0) {
        HANDLE f = CreateFileW(argv[4], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) return 1;
        char text[32];
        int n = std::snprintf(text, sizeof text, "%llu",
                              static_cast<unsigned long long>(GetTickCount64()));
        DWORD written = 0;
        WriteFile(f, text, static_cast<DWORD>(n), &written, nullptr);
        CloseHandle(f);
    }
    return 0;
}
