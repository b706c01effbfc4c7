// zarvo-cli: the archive engine behind a command line.
#pragma once

#include <iosfwd>

#include "cli/console_ui.h"

// Runs one command line. Exit status: 0 success, 1 warnings, 2 error.
// Archive names and comments are escaped on the streams that are terminals
// (std::cout and std::cerr when they are; the second form says so itself).
int run_cli(int argc, char** argv, std::ostream& out, std::ostream& err);
int run_cli(int argc, char** argv, std::ostream& out, std::ostream& err, Terminals terminals);
// Answers to questions are read from in when terminals.in is set.
int run_cli(int argc, char** argv, std::ostream& out, std::ostream& err, Terminals terminals,
            std::istream& in);
