#include <iostream>

#include "cli/commands.h"

int main(int argc, char** argv) {
    // Listings of large archives are written line by line; C stdio sync would slow them down.
    std::ios::sync_with_stdio(false);
    return run_cli(argc, argv, std::cout, std::cerr);
}
