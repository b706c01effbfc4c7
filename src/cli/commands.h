// zarvo-cli: the archive engine behind a command line.
#pragma once

#include <iosfwd>

// Runs one command line. Exit status: 0 success, 1 warnings, 2 error.
int run_cli(int argc, char** argv, std::ostream& out, std::ostream& err);
