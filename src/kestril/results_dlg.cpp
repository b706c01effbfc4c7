#include "kestril/results_dlg.h"

namespace kestril {

void resultsLoop() {}

} // namespace kestril
