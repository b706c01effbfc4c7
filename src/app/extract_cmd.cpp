// The Extract command and its destination dialog; the confirmations the
// extraction and the deletion of sources ask.
#include "app/app.h"
#include "app/app_win.h"

void TAppWin::cmExtract() {}
