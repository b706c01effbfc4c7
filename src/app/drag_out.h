// Members dragged out of the list: extracted into a fresh folder under the
// work folder when the drag starts, and offered to the drop target as the
// files of that folder (CF_HDROP).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/window.h"

#include <ole2.h>

// Carries out the drag; the program's own runs DoDragDrop, which needs the
// mouse, so tests put theirs in place. Returns the previous one.
using DragRunner = std::function<HRESULT(IDataObject* data, IDropSource* source, DWORD* effect)>;
DragRunner set_drag_runner(DragRunner runner);

// The data object of a drag: CF_HDROP listing these full paths.
IDataObject* new_file_drop_data(const std::vector<std::string>& paths);
IDropSource* new_drop_source();
