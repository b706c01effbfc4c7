#include "gui_support.h"

#include <fstream>

#include "app/resource.h"

namespace test {

bool same_dos_path(std::string a, std::string b) {
    for (std::string* s : {&a, &b}) {
        while (s->size() > 3 && s->back() == '\\')
            s->pop_back();
        for (char& c : *s)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return a == b;
}

bool host_path_of(const std::string& dos_path, std::string* host_path) {
    using ToUnix = char* (*)(const WCHAR*);
    auto to_unix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!to_unix) return false;
    WCHAR wide[MAX_PATH + 1] = {};
    if (!MultiByteToWideChar(CP_ACP, 0, dos_path.c_str(), -1, wide, MAX_PATH)) return false;
    char* unix_name = to_unix(wide);
    if (!unix_name) return false;
    *host_path = unix_name;
    HeapFree(GetProcessHeap(), 0, unix_name);
    return true;
}

bool run_host_command(const std::string& command, std::string* output) {
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string out_path = std::string(temp) + "zarvo-host-output.txt";
    std::string done_path = std::string(temp) + "zarvo-host-done.txt";
    std::string out_host, done_host;
    if (!host_path_of(out_path, &out_host) || !host_path_of(done_path, &done_host)) return false;
    DeleteFileA(out_path.c_str());
    DeleteFileA(done_path.c_str());
    // Wine does not wait for a host process the way it waits for its own,
    // so the shell leaves a file behind when the command has finished.
    std::string line = "Z:\\bin\\sh -c \"" + command + " >'" + out_host + "' 2>&1; echo $? >'" + done_host + "'\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    for (int i = 0; i < 3000 && GetFileAttributesA(done_path.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(10);
    bool finished = GetFileAttributesA(done_path.c_str()) != INVALID_FILE_ATTRIBUTES;
    Sleep(20); // the status line may still be on its way
    std::ifstream f(out_path, std::ios::binary);
    output->assign(std::istreambuf_iterator<char>(f), {});
    f.close();
    DeleteFileA(out_path.c_str());
    DeleteFileA(done_path.c_str());
    return finished;
}

void ZarvoWindowTest::SetUp() {
    reset_app_state();
    previous_responder_ = platform::set_prompt_responder([this](const platform::Prompt& p) {
        prompts.push_back(p);
        if (answer) return answer(p);
        return (p.style & 0xF) == platform::kMbOk ? int(platform::kIdOk) : int(platform::kIdCancel);
    });
    ui::set_dialog_hook([this](ui::Dialog& d) {
        dialogs.push_back(d.template_name());
        if (on_dialog)
            on_dialog(d);
        else
            d.click(IDCANCEL);
    });
    ui::set_file_dialog_hook([this](const ui::FileDialogRequest& r, std::string* path) {
        file_requests.push_back(r);
        if (file_answer.empty()) return false;
        *path = file_answer;
        return true;
    });
    ui::set_shell_hook([this](const ui::ShellRequest& r) {
        shell_requests.push_back(r);
        return shell_result;
    });
    ProgressDlg::set_observer([this](ProgressDlg& d, const char* op) {
        if (progress_ops.empty() || progress_ops.back() != op || std::string(op) != "Waiting")
            progress_ops.push_back(op);
        if (on_progress) on_progress(d, op);
        if (std::string(op) == "Waiting" && !d.done()) d.click(IDC_PROGRESS_BUTTON);
    });
    ui::set_popup_menu_hook([this](HMENU menu) {
        std::vector<std::pair<std::string, bool>> items;
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            char text[128] = {};
            GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
            UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
            items.emplace_back(state & MF_SEPARATOR ? "-" : text,
                               !(state & (MF_GRAYED | MF_DISABLED)));
        }
        popups.push_back(items);
        return popup_choice;
    });
}

void ZarvoWindowTest::TearDown() {
    close_program();
    ui::set_dialog_hook(nullptr);
    ui::set_file_dialog_hook(nullptr);
    ui::set_shell_hook(nullptr);
    ui::set_popup_menu_hook(nullptr);
    ProgressDlg::set_observer(nullptr);
    platform::set_prompt_responder(previous_responder_);
    reset_app_state();
}

void ZarvoWindowTest::write_ini(const std::string& text) {
    std::ofstream(dir.host("zarvo.ini"), std::ios::binary) << text;
}

void ZarvoWindowTest::write_ini_with_work() {
    write_ini("[Directores]\r\nWork=" + work_dos() +
              "\r\n[Programs]\r\nViewer=NOTEPAD.EXE\r\n[Done]\r\nPause=0\r\n");
}

bool ZarvoWindowTest::start(const std::vector<std::string>& args) {
    outcome = start_program(args, program_path().c_str());
    if (!outcome.run) {
        for (const platform::Prompt& p : prompts) ADD_FAILURE() << "start-up said: " << p.caption << ": " << p.text;
        return false;
    }
    application = std::make_unique<Zarvo95App>();
    // Hidden: a shown window costs two seconds at its end under Xvfb, where
    // no window manager answers Wine's wait for the window to be withdrawn.
    if (!application->init_main_window(false)) {
        ADD_FAILURE() << "the main window could not be made";
        return false;
    }
    pump();
    return true;
}

void ZarvoWindowTest::close_program() {
    if (application) {
        application.reset();
        pump();
    }
    if (outcome.run) end_program();
    outcome = {false, 0};
}

std::string ZarvoWindowTest::write_zip(const std::string& name,
                                       const std::vector<ZipMember>& members,
                                       const ZipLayout& layout) {
    return dir.write(name, build_zip(members, layout));
}

std::string ZarvoWindowTest::cell(int row, int column) {
    char buf[260] = {};
    ListView_GetItemText(list(), row, column, buf, sizeof buf);
    return buf;
}

std::vector<std::string> ZarvoWindowTest::names() {
    std::vector<std::string> out;
    for (int i = 0; i < rows(); ++i)
        out.push_back(cell(i, 0));
    return out;
}

void ZarvoWindowTest::click_column(int column) {
    NMLISTVIEW nm = {};
    nm.hdr.hwndFrom = list();
    nm.hdr.idFrom = 5000;
    nm.hdr.code = LVN_COLUMNCLICK;
    nm.iItem = -1;
    nm.iSubItem = column;
    SendMessageA(win().hwnd(), WM_NOTIFY, 5000, reinterpret_cast<LPARAM>(&nm));
}

void ZarvoWindowTest::select_rows(const std::vector<int>& which) {
    ListView_SetItemState(list(), -1, 0, LVIS_SELECTED);
    for (int r : which)
        ListView_SetItemState(list(), r, LVIS_SELECTED, LVIS_SELECTED);
    pump();
}

std::vector<int> ZarvoWindowTest::selected_rows() {
    std::vector<int> out;
    for (int i = 0; i < rows(); ++i)
        if (ListView_GetItemState(list(), i, LVIS_SELECTED) & LVIS_SELECTED) out.push_back(i);
    return out;
}

void ZarvoWindowTest::command(int id) {
    SendMessageA(frame().hwnd(), WM_COMMAND, MAKEWPARAM(id, 1), 0);
    pump();
}

bool ZarvoWindowTest::button_enabled(int id) {
    frame().refresh_commands();
    return SendMessageA(frame().toolbar(), TB_ISBUTTONENABLED, static_cast<WPARAM>(id), 0) != 0;
}

bool ZarvoWindowTest::menu_item_enabled(int id) {
    HMENU bar = GetMenu(frame().hwnd());
    // The frame enables a drop-down's items when it opens; open each in turn.
    for (int i = 0; i < GetMenuItemCount(bar); ++i) {
        HMENU sub = GetSubMenu(bar, i);
        SendMessageA(frame().hwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(sub), i);
        for (int j = 0; j < GetMenuItemCount(sub); ++j)
            if (HMENU inner = GetSubMenu(sub, j))
                SendMessageA(frame().hwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(inner), j);
    }
    UINT state = GetMenuState(bar, static_cast<UINT>(id), MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
}

void ZarvoWindowTest::pump() {
    ui::pump_messages();
}

} // namespace test
