#include <iostream>

#include "cli/commands.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    // Listings of large archives are written line by line; C stdio sync would slow them down.
    std::ios::sync_with_stdio(false);
    platform::use_utf8_console();
    return run_cli(argc, argv, std::cout, std::cerr);
}
