// Browsing drives and folders in the dialogs that pick a folder: the drive
// list with one "[-x-]" entry per drive (the letter is the third
// character), the folder list with one "[name]" entry per sub-folder and
// "[..]" for the parent, and the step a chosen entry makes.
#pragma once

#include "platform/platform.h"
#include "ui/drive_list.h"
#include "ui/window.h"

// Clears both lists and fills them from folder: sub-folders into folders,
// every other entry's name into files (which may be null). A folder that
// cannot be listed leaves both empty.
void fill_folder_lists(HWND folders, HWND files, const char* folder);
// Applies a folder-list entry to folder: "[..]" goes up to the parent (a
// drive root stays itself), any other entry goes into that sub-folder.
// False, with folder unchanged, when the new path would not fit.
bool enter_folder(char (&folder)[platform::kMaxPath], const char* entry);
