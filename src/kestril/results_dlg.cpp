#include "kestril/results_dlg.h"

#include <cstring>
#include <new>
#include <string>

#include "kestril/resource.h"
#include "monitor/file_changes.h"
#include "monitor/report.h"
#include "monitor/run_state.h"
#include "monitor/undo.h"
#include "platform/platform.h"
#include "ui/application.h"
#include "ui/dpi.h"
#include "ui/process.h"

namespace kestril {

bool appUninstallTried = false;

namespace {

using monitor::FileChange;
using monitor::RegChange;

const char kNewFiles[] = "New Files";
const char kReplacedFiles[] = "Replaced Files";
const char kRegistry[] = "Changes to Registry";
const char kNewKeys[] = "New Keys";
const char kChangedKeys[] = "Changed Keys";

constexpr int kImageEmpty = 0;
constexpr int kImageTicked = 1;
constexpr int kImageWidth = 20;

int imageOf(std::int16_t selected) {
    return selected ? kImageTicked : kImageEmpty;
}

std::string rootPrefix(std::int32_t root) {
    return root == static_cast<std::int32_t>(platform::kHkeyCurrentUser) ? "HKEY_CURRENT_USER\\"
                                                                         : "HKEY_LOCAL_MACHINE\\";
}

std::string itemText(HWND tree, HTREEITEM item) {
    char text[1024] = {};
    TVITEMA tv = {};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = sizeof text;
    if (!TreeView_GetItem(tree, &tv)) return std::string();
    return text;
}

} // namespace

ResultsDlg::ResultsDlg(HWND parent) : ui::Dialog(parent, "RESULTS_DLG") {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&icc);
}

ResultsDlg::~ResultsDlg() {
    // The tree does not own its image list; it must outlive the window.
    destroy();
    if (images_) ImageList_Destroy(images_);
}

HWND ResultsDlg::tree() const {
    return item(IDC_RESULTS_TREE);
}

HTREEITEM ResultsDlg::insert(HTREEITEM parent, const std::string& text, int image, LPARAM change) {
    TVINSERTSTRUCTA is = {};
    is.hParent = parent;
    is.hInsertAfter = TVI_LAST;
    is.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    is.item.pszText = const_cast<char*>(text.c_str());
    is.item.iImage = image;
    is.item.iSelectedImage = image;
    is.item.lParam = change;
    return reinterpret_cast<HTREEITEM>(
        SendMessageA(tree(), TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&is)));
}

void ResultsDlg::rememberLayout() {
    static const int ids[] = {IDC_RESULTS_TREE, IDC_RESULTS_APP_UNINSTALL, IDC_RESULTS_UNINSTALL,
                              IDCANCEL,         IDC_RESULTS_REPORT,        IDC_RESULTS_HELP};
    static_assert(sizeof ids / sizeof ids[0] == sizeof placed_ / sizeof placed_[0],
                  "one place per control");
    for (std::size_t i = 0; i < sizeof ids / sizeof ids[0]; ++i) {
        placed_[i].id = ids[i];
        GetWindowRect(item(ids[i]), &placed_[i].rect);
        MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&placed_[i].rect), 2);
    }
    RECT client = {};
    GetClientRect(hwnd(), &client);
    templateClient_ = {client.right, client.bottom};
    RECT window = {};
    GetWindowRect(hwnd(), &window);
    minWindow_ = {window.right - window.left, window.bottom - window.top};
}

// The tree takes all the room the dialog gains; the check box and the
// buttons keep their distance from the bottom and their left offsets, so
// that the buttons stay together in the order the keyboard visits them.
void ResultsDlg::layout(int clientWidth, int clientHeight) {
    const int dx = clientWidth - templateClient_.cx;
    const int dy = clientHeight - templateClient_.cy;
    HDWP moves = BeginDeferWindowPos(static_cast<int>(sizeof placed_ / sizeof placed_[0]));
    for (const Placed& p : placed_) {
        RECT r = p.rect;
        if (p.id == IDC_RESULTS_TREE) {
            r.right += dx;
            r.bottom += dy;
        } else {
            OffsetRect(&r, 0, dy);
            // The check box's text is long; let it use the width it gets.
            if (p.id == IDC_RESULTS_APP_UNINSTALL) r.right += dx;
        }
        if (moves)
            moves = DeferWindowPos(moves, item(p.id), nullptr, r.left, r.top, r.right - r.left,
                                   r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (moves) EndDeferWindowPos(moves);
    InvalidateRect(hwnd(), nullptr, TRUE);
}

HIMAGELIST ResultsDlg::checkImages(int dpi) {
    HINSTANCE inst = GetModuleHandleA(nullptr);
    if (dpi == ui::kBaseDpi)
        return ImageList_LoadImageA(inst, MAKEINTRESOURCEA(IDB_CHECKS), kImageWidth, 0,
                                    RGB(255, 255, 255), IMAGE_BITMAP, 0);
    // Larger boxes for a larger font: the strip stretched, white still the mask.
    HBITMAP strip = static_cast<HBITMAP>(
        LoadImageA(inst, MAKEINTRESOURCEA(IDB_CHECKS), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    BITMAP info = {};
    if (!strip || !GetObjectA(strip, sizeof info, &info)) {
        if (strip) DeleteObject(strip);
        return nullptr;
    }
    int count = info.bmWidth / kImageWidth;
    int width = ui::scale_px(kImageWidth, dpi), height = ui::scale_px(info.bmHeight, dpi);
    HBITMAP stretched = ui::stretch_bitmap(strip, width * count, height);
    DeleteObject(strip);
    HIMAGELIST images = ImageList_Create(width, height, ILC_COLOR24 | ILC_MASK, count, 0);
    if (images && stretched) ImageList_AddMasked(images, stretched, RGB(255, 255, 255));
    if (stretched) DeleteObject(stretched);
    return images;
}

bool ResultsDlg::on_init() {
    rememberLayout();
    images_ = checkImages(ui::dpi_of(hwnd()));
    TreeView_SetImageList(tree(), images_, TVSIL_NORMAL);
    try {
        fillFiles();
        fillRegistry();
    } catch (const std::bad_alloc&) {
        monitor::runError = 1;
    }
    if (!appUninstallTried) {
        uninstallKey_ = monitor::findUninstallKey();
        if (uninstallKey_) EnableWindow(item(IDC_RESULTS_APP_UNINSTALL), TRUE);
    }
    return true;
}

void ResultsDlg::fillFiles() {
    HTREEITEM newFiles = insert(TVI_ROOT, kNewFiles, kImageTicked);
    HTREEITEM replaced = nullptr;
    for (FileChange* f : monitor::filechanges.index()) {
        bool added = true;
        if (f->kind == monitor::FileNew && !f->gone) {
            added = insert(newFiles, f->path, imageOf(f->selected), reinterpret_cast<LPARAM>(f));
        } else if (f->kind == monitor::FileReplaced) {
            if (!replaced) replaced = insert(TVI_ROOT, kReplacedFiles, kImageTicked);
            added = replaced && insert(replaced, f->path, kImageEmpty);
        }
        if (!added) {
            monitor::runError = 1;
            break;
        }
    }
    TreeView_Expand(tree(), newFiles, TVE_EXPAND);
}

void ResultsDlg::fillRegistry() {
    HTREEITEM registry = insert(TVI_ROOT, kRegistry, kImageTicked);
    HTREEITEM newKeys = nullptr;
    HTREEITEM changedKeys = nullptr;
    for (RegChange* r : monitor::regchanges.index) {
        if (monitor::runError != 0) break;
        if (r->gone) continue;
        std::string text = rootPrefix(r->root) + r->keyPath;
        if (r->kind != monitor::KeyNew && !r->valueName.empty()) text += "\\" + r->valueName;
        HTREEITEM added = nullptr;
        if (r->kind == monitor::ValueChanged) {
            if (!changedKeys) changedKeys = insert(registry, kChangedKeys, kImageTicked);
            if (changedKeys) added = insert(changedKeys, text, kImageTicked);
        } else {
            if (!newKeys) newKeys = insert(registry, kNewKeys, kImageTicked);
            if (newKeys)
                added = insert(newKeys, text, imageOf(r->selected), reinterpret_cast<LPARAM>(r));
        }
        if (!added) monitor::runError = 1;
    }
    TreeView_Expand(tree(), registry, TVE_EXPAND);
    if (newKeys) TreeView_Expand(tree(), newKeys, TVE_EXPAND);
    if (changedKeys) TreeView_Expand(tree(), changedKeys, TVE_EXPAND);
}

void ResultsDlg::toggle(HTREEITEM item) {
    if (!item) return;
    HTREEITEM parent = TreeView_GetParent(tree(), item);
    if (!parent) return;
    const std::string group = itemText(tree(), parent);
    TVITEMA tv = {};
    tv.mask = TVIF_PARAM;
    tv.hItem = item;
    if (!TreeView_GetItem(tree(), &tv) || !tv.lParam) return;
    std::int16_t* selected = nullptr;
    if (group == kNewFiles)
        selected = &reinterpret_cast<FileChange*>(tv.lParam)->selected;
    else if (group == kNewKeys)
        selected = &reinterpret_cast<RegChange*>(tv.lParam)->selected;
    else
        return;
    *selected = *selected ? 0 : 1;
    tv.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    tv.iImage = tv.iSelectedImage = imageOf(*selected);
    TreeView_SetItem(tree(), &tv);
}

bool ResultsDlg::on_command(int id, int code) {
    switch (id) {
    case IDC_RESULTS_UNINSTALL:
        uninstall();
        return true;
    case IDC_RESULTS_REPORT:
        writeReport();
        return true;
    case IDC_RESULTS_HELP:
        help();
        return true;
    case IDOK:
        // Enter has no button of its own here; it must not undo anything.
        return true;
    default:
        return ui::Dialog::on_command(id, code);
    }
}

INT_PTR ResultsDlg::on_message(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_GETMINMAXINFO:
        // Also sent while the window is made, before the template's size is known.
        if (minWindow_.cx <= 0) return FALSE;
        reinterpret_cast<MINMAXINFO*>(lp)->ptMinTrackSize = {minWindow_.cx, minWindow_.cy};
        return TRUE;
    case WM_SIZE:
        if (wp != SIZE_MINIMIZED && templateClient_.cx > 0)
            layout(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
        return TRUE;
    case WM_NOTIFY:
        break;
    default:
        return ui::Dialog::on_message(msg, wp, lp);
    }
    const auto* header = reinterpret_cast<const NMHDR*>(lp);
    if (header->idFrom != IDC_RESULTS_TREE) return FALSE;
    LONG_PTR result = 0;
    switch (header->code) {
    case TVN_SELCHANGEDA:
    case TVN_SELCHANGEDW: {
        // Both forms share the layout of the fields read here.
        // Only a click toggles: the tree also selects an item by itself,
        // e.g. when it gets the focus back from another program's window.
        const auto* change = reinterpret_cast<const NMTREEVIEWA*>(lp);
        if (change->action == TVC_BYMOUSE) toggle(change->itemNew.hItem);
        break;
    }
    case NM_CLICK:
        // Without a selection the next click on the same item is a change
        // of selection again, so every click toggles.
        if (TreeView_GetSelection(tree())) TreeView_SelectItem(tree(), nullptr);
        break;
    case TVN_KEYDOWN:
        if (reinterpret_cast<const NMTVKEYDOWN*>(lp)->wVKey == VK_SPACE) {
            toggle(TreeView_GetSelection(tree()));
            result = 1; // not part of an incremental search
        }
        break;
    default:
        return FALSE;
    }
    SetWindowLongPtrA(hwnd(), DWLP_MSGRESULT, result);
    return TRUE;
}

void ResultsDlg::uninstall() {
    const HWND box = item(IDC_RESULTS_APP_UNINSTALL);
    const bool offered = IsWindowEnabled(box) != FALSE;
    if (offered) appUninstallTried = checked(IDC_RESULTS_APP_UNINSTALL);
    if (!offered || !checked(IDC_RESULTS_APP_UNINSTALL) || !uninstallKey_) {
        end(1);
        return;
    }
    // Found or not: without a command the loop offers the monitor's own undo.
    monitor::readUninstallString(uninstallKey_->root, uninstallKey_->keyPath);
    end(4);
}

void ResultsDlg::writeReport() {
    ui::FileDialogRequest request;
    request.owner = hwnd();
    request.save = true;
    request.overwrite_prompt = true;
    request.hide_read_only = true;
    request.filter = "Kestril Report Files (*.Kes)|*.Kes";
    request.default_ext = "KES";
    request.initial_dir = monitor::programDir;
    std::string path;
    if (!ui::ask_file_name(request, &path)) return;
    if (!monitor::writeReportFile(path.c_str()))
        platform::message_box({"Can't create the report file", "Warning", platform::kMbOk, hwnd()});
}

void ResultsDlg::help() {
    ui::ShellRequest request;
    request.owner = hwnd();
    request.verb = "open";
    request.file = "WINHELP";
    request.parameters = std::string(" -i install ") + monitor::programDir + "\\ZARVO.HLP";
    request.show = SW_SHOW;
    ui::shell_execute(request);
}

namespace {

// The four undo steps, each whatever the others did, and then what they
// did and what they could not, in one message.
void undoByMonitor() {
    monitor::UndoResult done;
    int outOfMemory = monitor::undoRegChanges(done);
    outOfMemory |= monitor::deleteNewFiles(done);
    outOfMemory |= monitor::removeNewDirs(done);
    outOfMemory |= monitor::restoreSystemFiles(done);
    if (outOfMemory) monitor::runError = 1;
    unsigned icon =
        done.failures.empty() ? platform::kMbIconInformation : platform::kMbIconExclamation;
    try {
        platform::message_box(
            {monitor::undoSummary(done), "Undo", platform::kMbOk | icon, nullptr});
    } catch (const std::bad_alloc&) {
        monitor::runError = 1;
    }
}

bool asked(const char* text, const char* caption) {
    return platform::message_box({text, caption, platform::kMbYesNo}) == platform::kIdYes;
}

} // namespace

void resultsLoop() {
    for (;;) {
        INT_PTR d;
        {
            ResultsDlg dialog(nullptr);
            d = dialog.execute();
        }
        // A tree that could not be built in full hid changes from the user:
        // nothing is undone on its word, and the run reports the failure.
        if (monitor::runError != 0) return;
        if (d == 4) {
            appUninstallTried = true;
            // No window of ours is open meanwhile: the uninstaller's own
            // windows are what the user answers, and nothing may be counted
            // until its last process has ended.
            ui::WatchedProgram uninstaller;
            if (monitor::uninstallCommand[0] != '\0' &&
                uninstaller.start(monitor::uninstallCommand, std::string())) {
                uninstaller.wait(INFINITE);
                const int files = monitor::countRemainingFiles();
                const int keys = monitor::countRemainingRegChanges();
                if ((files != 0 || keys != 0) &&
                    asked("Some componants were left. Want to see them?", "Uninstall incomplete"))
                    continue;
                return;
            }
            if (!asked("Can't start program. Uninstall with ZARVO?", "Alert")) return;
            d = 1;
        }
        if (d == 1) undoByMonitor();
        return;
    }
}

} // namespace kestril
