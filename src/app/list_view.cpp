// The member list of TAppWin: columns, cell texts made when the list asks
// for them, refilling from the catalog, sorting by column and the pop-up.
// Only the names go into the list, so filling it costs one insertion per
// member however large the archive.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/app.h"
#include "app/app_win.h"

#include <commctrl.h>
#include "app/resource.h"
#include "ui/application.h"
#include "ui/dpi.h"
#include "zip/list_text.h"

namespace {

struct Column {
    const char* header;
    int width;
    int format;
};

const Column kColumns[] = {
    {"Name", 175, LVCFMT_LEFT},    {"Date", 75, LVCFMT_RIGHT},   {"Time", 65, LVCFMT_RIGHT},
    {"Size", 70, LVCFMT_RIGHT},    {"Packed", 70, LVCFMT_RIGHT}, {"Ratio", 40, LVCFMT_RIGHT},
    {"Comment", 100, LVCFMT_LEFT},
};

enum {
    kColumnName,
    kColumnDate,
    kColumnTime,
    kColumnSize,
    kColumnPacked,
    kColumnRatio,
    kColumnComment
};

void copy_out(char* out, int out_size, const std::string& text) {
    if (out_size <= 0) return;
    platform::copy_bounded(out, static_cast<std::size_t>(out_size), text.c_str());
}

} // namespace

// Rows hold their names in UTF-16, so they read back the same whatever the
// system's code page; under Wine an ANSI insertion also costs five times as
// much, which is most of the time a large archive takes to show.
std::string listRowName(HWND list, int row) {
    wchar_t text[platform::kMaxPath] = {};
    LVITEMW item = {};
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = platform::kMaxPath;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    text[platform::kMaxPath - 1] = 0;
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string name(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &name[0], n, nullptr, nullptr);
    name.resize(static_cast<std::size_t>(n - 1));
    return name;
}

int isInstallerName(const char* name) {
    std::string lower = name;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    for (const char* installer : {"setup.exe", "setup32.exe", "install.exe", "install.bat"})
        if (lower.find(installer) != std::string::npos) return 1;
    return 0;
}

void TAppWin::insertColumns() {
    for (int i = 0; i < static_cast<int>(sizeof kColumns / sizeof kColumns[0]); ++i) {
        LVCOLUMNA c = {};
        c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        c.fmt = kColumns[i].format;
        c.cx = ui::scale_px(kColumns[i].width, dpi_);
        c.pszText = const_cast<char*>(kColumns[i].header);
        c.iSubItem = i;
        SendMessageA(list_, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&c));
    }
}

void TAppWin::setColumnWidths() {
    for (int i = 0; i < static_cast<int>(sizeof kColumns / sizeof kColumns[0]); ++i)
        ListView_SetColumnWidth(list_, i, ui::scale_px(kColumns[i].width, dpi_));
}

void TAppWin::cellText(int row, int column, char* out, int out_size) {
    ++cellTextsMade_;
    zlist& catalog = app().catalog;
    if (row < 0 || static_cast<std::size_t>(row) >= catalog.sorted.size()) {
        copy_out(out, out_size, "");
        return;
    }
    const zentry& e = *catalog.sorted[static_cast<std::size_t>(row)];
    char number[32];
    switch (column) {
    case kColumnName:
        copy_out(out, out_size, e.name);
        break;
    case kColumnDate:
        copy_out(out, out_size, member_date_text(e));
        break;
    case kColumnTime:
        copy_out(out, out_size, member_time_text(e));
        break;
    case kColumnSize:
        std::snprintf(number, sizeof number, "%llu",
                      static_cast<unsigned long long>(e.uncompressed_size));
        copy_out(out, out_size, number);
        break;
    case kColumnPacked:
        std::snprintf(number, sizeof number, "%llu",
                      static_cast<unsigned long long>(e.compressed_size));
        copy_out(out, out_size, number);
        break;
    case kColumnRatio:
        copy_out(out, out_size, member_ratio_text(e));
        break;
    case kColumnComment:
        copy_out(out, out_size, e.comment_length ? e.comment : std::string());
        break;
    default:
        copy_out(out, out_size, "");
    }
}

void TAppWin::refreshList() {
    AppState& a = app();
    zlist& catalog = a.catalog;
    windowFlags_ &= ~std::uint32_t(hasEntries | hasInstaller);
    ListView_DeleteAllItems(list_);
    if (!archiveOpen_ || catalog.count() == 0 || catalog.sorted.size() != catalog.count()) {
        frame_->set_status_text(0, "No File Opened");
        frame_->set_status_text(1, "Files: 0    Size: 0    Pack: 0    Ratio: 0");
    } else {
        int count = static_cast<int>(catalog.sorted.size());
        SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
        ListView_SetItemCount(list_, count);
        for (int i = 0; i < count; ++i) {
            // The row keeps its own copy of the name, at most 259 bytes as
            // every path field of the program. The other cells are never set:
            // a sub-item without text is asked for with LVN_GETDISPINFO.
            char name[platform::kMaxPath];
            platform::copy_bounded(name, sizeof name,
                                   catalog.sorted[static_cast<std::size_t>(i)]->name.c_str());
            wchar_t wide[platform::kMaxPath];
            if (MultiByteToWideChar(CP_UTF8, 0, name, -1, wide, platform::kMaxPath) == 0)
                wide[0] = 0;
            LVITEMW item = {};
            item.mask = LVIF_TEXT;
            item.iItem = i;
            item.pszText = wide;
            SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
        ListView_SetItemState(list_, 0, LVIS_FOCUSED, LVIS_FOCUSED);
        SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
        windowFlags_ |= hasEntries;
        if (archiveHasInstaller()) windowFlags_ |= hasInstaller;
        const char* slash = std::strrchr(a.archivePath, '\\');
        frame_->set_status_text(0, slash ? slash + 1 : a.archivePath);
        frame_->set_status_text(1, totals_text(catalog).c_str());
    }
    showSortOrder();
    bool fixed = archiveOpen_ && a.engine.drive_type == platform::kDriveFixed;
    EnableWindow(comment_.hwnd(), fixed ? TRUE : FALSE);
    SetWindowTextA(comment_.hwnd(),
                   archiveOpen_ && catalog.comment_length ? catalog.comment.c_str() : "");
    updateSelectionFlag();
}

bool TAppWin::archiveHasInstaller() {
    int count = ListView_GetItemCount(list_);
    for (int i = 0; i < count; ++i)
        if (isInstallerName(listRowName(list_, i).c_str())) return true;
    return false;
}

void TAppWin::updateSelectionFlag() {
    if (ListView_GetSelectedCount(list_) > 0)
        windowFlags_ |= hasSelection;
    else
        windowFlags_ &= ~std::uint32_t(hasSelection);
}

void TAppWin::markSelected(std::uint32_t n) {
    zlist& catalog = app().catalog;
    catalog.mark_all(0);
    catalog.marked = 0;
    int count = ListView_GetItemCount(list_);
    for (int i = 0; i < count; ++i) {
        if (!(ListView_GetItemState(list_, i, LVIS_SELECTED) & LVIS_SELECTED)) continue;
        if (static_cast<std::size_t>(i) >= catalog.sorted.size()) break;
        zentry* e = catalog.sorted[static_cast<std::size_t>(i)];
        if (listRowName(list_, i) == e->name) catalog.mark(e);
        if (n != 0 && catalog.marked >= n) break;
    }
}

void TAppWin::columnClick(int column) {
    zlist& catalog = app().catalog;
    if (catalog.count() == 0) return;
    if (column == kColumnComment) {
        platform::message_box(
            {"Files not sortable by this criteria", "Error", platform::kMbOk, hwnd()});
        return;
    }
    static const std::uint32_t kAscending[] = {kSortNameUp, kSortDateUp,   kSortDateUp,
                                               kSortSizeUp, kSortPackedUp, kSortRatioUp};
    std::uint32_t up = kAscending[column];
    sortBy(catalog.sort_mode == up ? up + 1 : up);
}

void TAppWin::sortBy(std::uint32_t mode) {
    zlist& catalog = app().catalog;
    if (catalog.count() == 0) return;
    catalog.sort_mode = mode;
    ListView_DeleteAllItems(list_);
    catalog.zlist_sort();
    refreshList();
}

// Modes come in pairs: the ascending one is even, its descending one follows.
void TAppWin::cmSortName() {
    sortBy(kSortNameUp | (app().catalog.sort_mode & 1));
}
void TAppWin::cmSortDate() {
    sortBy(kSortDateUp | (app().catalog.sort_mode & 1));
}
void TAppWin::cmSortSize() {
    sortBy(kSortSizeUp | (app().catalog.sort_mode & 1));
}
void TAppWin::cmSortPacked() {
    sortBy(kSortPackedUp | (app().catalog.sort_mode & 1));
}
void TAppWin::cmSortRatio() {
    sortBy(kSortRatioUp | (app().catalog.sort_mode & 1));
}
void TAppWin::cmSortAscending() {
    sortBy(app().catalog.sort_mode & ~1u);
}
void TAppWin::cmSortDescending() {
    sortBy(app().catalog.sort_mode | 1u);
}

void TAppWin::showSortOrder() {
    std::uint32_t mode = app().catalog.sort_mode;
    std::uint32_t key = mode & ~1u;
    bool down = mode & 1;
    // Date and Time share one key, so both show its arrow.
    static const std::uint32_t kColumnKey[] = {kSortNameUp, kSortDateUp,   kSortDateUp,
                                               kSortSizeUp, kSortPackedUp, kSortRatioUp};
    HWND header = ListView_GetHeader(list_);
    for (int i = 0; header && i < Header_GetItemCount(header); ++i) {
        HDITEMA item = {};
        item.mask = HDI_FORMAT;
        if (!SendMessageA(header, HDM_GETITEMA, static_cast<WPARAM>(i),
                          reinterpret_cast<LPARAM>(&item)))
            continue;
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (i < static_cast<int>(sizeof kColumnKey / sizeof kColumnKey[0]) && kColumnKey[i] == key)
            item.fmt |= down ? HDF_SORTDOWN : HDF_SORTUP;
        SendMessageA(header, HDM_SETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
    if (HMENU menu = GetMenu(frame_->hwnd())) {
        CheckMenuRadioItem(menu, CM_SORT_NAME, CM_SORT_RATIO,
                           static_cast<UINT>(CM_SORT_NAME + key / 2), MF_BYCOMMAND);
        CheckMenuRadioItem(menu, CM_SORT_ASCENDING, CM_SORT_DESCENDING,
                           down ? CM_SORT_DESCENDING : CM_SORT_ASCENDING, MF_BYCOMMAND);
    }
}

void TAppWin::listPopupMenu() {
    HMENU menu = CreatePopupMenu();
    auto add = [&](int id, const char* text) {
        bool on = command_state(id) != ui::CommandState::Disabled;
        AppendMenuA(menu, MF_STRING | (on ? MF_ENABLED : MF_GRAYED), static_cast<UINT_PTR>(id),
                    text);
    };
    add(CM_VIEW, "View File");
    add(CM_EXTRACT, "Extract File(s)");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    add(CM_SELECT_ALL, "Select All");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    add(CM_USE_FILE_COMMENT, "Use for comment");
    int chosen = ui::track_popup_menu(menu, hwnd());
    DestroyMenu(menu);
    // The same handler and rule as the menu command with that id.
    if (chosen) {
        execute_command(chosen);
        frame_->refresh_commands();
    }
}

LRESULT TAppWin::on_list_notify(NMHDR* hdr) {
    switch (hdr->code) {
    case LVN_GETDISPINFOA: {
        auto* info = reinterpret_cast<NMLVDISPINFOA*>(hdr);
        if (info->item.mask & LVIF_TEXT)
            cellText(info->item.iItem, info->item.iSubItem, info->item.pszText,
                     info->item.cchTextMax);
        return 0;
    }
    case LVN_GETDISPINFOW: {
        auto* info = reinterpret_cast<NMLVDISPINFOW*>(hdr);
        if ((info->item.mask & LVIF_TEXT) && info->item.cchTextMax > 0) {
            char text[platform::kMaxPath];
            cellText(info->item.iItem, info->item.iSubItem, text, sizeof text);
            // Names are UTF-8 whatever the system's code page.
            MultiByteToWideChar(CP_UTF8, 0, text, -1, info->item.pszText, info->item.cchTextMax);
            info->item.pszText[info->item.cchTextMax - 1] = 0;
        }
        return 0;
    }
    case LVN_COLUMNCLICK:
        columnClick(reinterpret_cast<NMLISTVIEW*>(hdr)->iSubItem);
        return 0;
    case LVN_ITEMCHANGED:
        // The tool bar follows when the queue goes idle: select all on a
        // large archive changes every row, one notification each.
        if (reinterpret_cast<NMLISTVIEW*>(hdr)->uChanged & LVIF_STATE) updateSelectionFlag();
        return 0;
    case LVN_DELETEALLITEMS:
        return TRUE; // no LVN_DELETEITEM per row: rows own nothing to free
    case LVN_BEGINDRAG:
        dragMembersOut();
        return 0;
    case NM_DBLCLK:
        runByAssociation();
        return 0;
    case NM_RCLICK:
        listPopupMenu();
        return 0;
    }
    return 0;
}
