// The Select menu of TAppWin: all, by name filters, inverted; and the
// name-filter dialog.

#include "app/app.h"
#include "app/app_win.h"

#include <commctrl.h>
#include "app/dialogs.h"
#include "app/resource.h"
#include "ops/wildcard.h"

bool TSelectNameDlg::on_init() {
    set_checked(IDC_KEEP_PREVIOUS, *keepPrevious_ != 0);
    set_checked(IDC_CASE_SENSITIVE, *caseSensitive_ != 0);
    set_text(IDC_NAME_FILTER, "*.*");
    return true;
}

bool TSelectNameDlg::on_command(int id, int code) {
    if (id == IDOK) {
        *keepPrevious_ = checked(IDC_KEEP_PREVIOUS) ? 1 : 0;
        *caseSensitive_ = checked(IDC_CASE_SENSITIVE) ? 1 : 0;
        platform::copy_bounded(text_, platform::kMaxPath, text(IDC_NAME_FILTER).c_str());
        end(IDOK);
        return true;
    }
    return ui::Dialog::on_command(id, code);
}

void TAppWin::scrollIntoView(int row) {
    ListView_EnsureVisible(list_, row, FALSE);
}

void TAppWin::cmSelectAll() {
    ListView_SetItemState(list_, -1, LVIS_SELECTED, LVIS_SELECTED);
    updateSelectionFlag();
}

void TAppWin::unselectAll() {
    ListView_SetItemState(list_, -1, 0, LVIS_SELECTED);
    updateSelectionFlag();
}

void TAppWin::cmInvert() {
    int count = ListView_GetItemCount(list_);
    bool scrolled = false;
    for (int i = 0; i < count; ++i) {
        if (ListView_GetItemState(list_, i, LVIS_SELECTED) & LVIS_SELECTED) {
            ListView_SetItemState(list_, i, 0, LVIS_SELECTED);
            if (!scrolled) {
                scrollIntoView(i);
                scrolled = true;
            }
        } else {
            ListView_SetItemState(list_, i, LVIS_SELECTED, LVIS_SELECTED);
        }
    }
    updateSelectionFlag();
}

void TAppWin::cmNameFilter() {
    int count = ListView_GetItemCount(list_);
    if (count == 0) return;
    AppState& a = app();
    char text[platform::kMaxPath] = {};
    if (TSelectNameDlg(hwnd(), text, &a.keepPrevious, &a.caseSensitive).execute() != IDOK) return;
    wlist filters(text);
    filters.parse();
    bool scrolled = false;
    for (int i = 0; i < count; ++i) {
        std::string name = listRowName(list_, i);
        if (filters.matchAny(name.c_str(), a.caseSensitive)) {
            ListView_SetItemState(list_, i, LVIS_SELECTED, LVIS_SELECTED);
            if (!scrolled) {
                scrollIntoView(i);
                scrolled = true;
            }
        } else if (!a.keepPrevious) {
            ListView_SetItemState(list_, i, 0, LVIS_SELECTED);
        }
    }
    updateSelectionFlag();
}
