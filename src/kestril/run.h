// The install monitor's run: one monitored installation per start.
#pragma once

#include <string>
#include <vector>

namespace kestril {

// The whole program (args without the program name); the exit code.
int kestril_main(const std::vector<std::string>& args, const char* program_path);

} // namespace kestril
