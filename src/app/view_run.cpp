// View, Run and Remove, and the watcher that offers to freshen a viewed file.
#include "app/app.h"
#include "app/app_win.h"

void TAppWin::cmView() {}

void TAppWin::runByAssociation() {}

void TAppWin::cmRemove() {}

void TAppWin::onViewWatchDone(WPARAM, LPARAM) {}
