// ResultsDlg: what the monitored installation changed, as a tree with check
// marks, the report, and the choice between undoing by the monitor, the
// application's own uninstaller, or keeping it; and the results loop that
// acts on that choice.
#pragma once

#include "ui/dialog.h"

namespace kestril {

// Runs the results dialog, and the undo it asks for, until the user is done.
void resultsLoop();

} // namespace kestril
