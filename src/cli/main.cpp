#include <iostream>

#include "cli/commands.h"

int main(int argc, char** argv) { return run_cli(argc, argv, std::cout, std::cerr); }
