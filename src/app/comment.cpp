// The archive comment: editing it and taking it from a member.
#include "app/app.h"
#include "app/app_win.h"

void TAppWin::cmEditComment() {}

void TAppWin::cmUseFileComment() {}
