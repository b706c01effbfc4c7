// The New and Add commands and the Add Files dialog.
#include "app/app.h"
#include "app/app_win.h"

void TAppWin::cmNew() {}

void TAppWin::cmAdd() {}
