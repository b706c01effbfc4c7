#include "monitor/run_state.h"

namespace monitor {

int runError = 0;
char programDir[platform::kMaxPath] = {};
char copyDir[platform::kMaxPath] = {};
char logPath[platform::kMaxPath] = {};
char uninstallCommand[platform::kMaxPath] = {};

} // namespace monitor
