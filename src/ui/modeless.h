// The modeless dialogs that are up, so that the message loop lets them
// handle their keyboard input (Tab, Escape, Return).
#pragma once

#include "ui/window.h"

namespace ui {

void register_modeless(HWND dialog);
void unregister_modeless(HWND dialog);
// True when msg was a dialog message of one of them and has been handled.
bool dispatch_to_modeless(MSG* msg);

} // namespace ui
