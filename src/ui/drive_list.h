// The drop-down list of drives that the folder-picking dialogs of both
// programs share: one "[-x-]" entry per drive, the letter being the entry's
// third character.
#pragma once

#include "platform/platform.h"
#include "ui/window.h"

namespace ui {

// Fills combo with the drives and selects the drive of folder.
void fill_drive_list(HWND combo, const char* folder);
// The root ("X:\\") of the drive chosen in combo; false when none is chosen.
bool chosen_drive_root(HWND combo, char (&folder)[platform::kMaxPath]);

} // namespace ui
