// kestril.exe: the install monitor. One optional argument, the program to run.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "kestril/run.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::vector<std::string> args;
    for (int i = 1; i < __argc; ++i)
        args.push_back(__argv[i]);
    char program[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    kestril::kestril_main(args, program);
    return 0;
}
