// zarvo.exe: the archive manager. One optional argument, the archive to open.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/zarvo_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::vector<std::string> args;
    for (int i = 1; i < __argc; ++i)
        args.push_back(__argv[i]);
    char program[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    return zarvo_main(args, program);
}
