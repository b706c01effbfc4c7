// windriver: drives another program's windows from outside, as a user would,
// with messages only (no screen coordinates, no input to the screen). The
// end-to-end tests use it to run zarvo and kestril as separate processes.
//
//   windriver.exe STEP [STEP...]
//
// A step is a word followed by a fixed number of arguments. Windows are named
// by SPEC, "[CLASS|]TITLE": the title is exact, or a prefix when it ends with
// "*"; the class, when given, is exact. Controls are named by ID or
// CLASS:ID, the window's own children first, then the rest of its
// descendants (a file dialog nests its name edit in a combo box of the same
// id, and its shell view holds a list of id 1); id 0 alone is the window
// itself, CLASS:0 its child of that class that has no id (a status bar).
//
//   timeout SECONDS      how long the waits below wait (30 at first)
//   window SPEC          waits for a visible top-level window; it becomes the
//                        current window for the steps after it
//   gone SPEC            waits until no visible window matches
//   text ID              prints the control's text
//   waittext ID TEXT     waits until the control's text is TEXT
//   state ID             prints "enabled|disabled checked|unchecked"
//   tree ID              prints a tree view's items, two blanks per level,
//                        each as "TEXT [IMAGE]" and "+" when expanded
//   list ID              prints a list box's rows
//   rows ID              prints a list view's rows, columns split by a tab
//   click ID             presses a button (BM_CLICK); refused when disabled
//   command ID           posts WM_COMMAND with ID to the current window
//   settext ID TEXT      sets the control's text
//   key ID KEY           posts a key press to the control: RETURN, ESCAPE,
//                        TAB, SPACE, UP, DOWN, HOME, END, or one character
//   answer SPEC ID       waits for a dialog or message box, prints
//                        "CAPTION: TEXT" and presses its button ID
//   close                posts WM_CLOSE to the current window
//   sleep MS             pauses
//   dump                 prints the current window's controls
//   screen               prints every visible top-level window and its controls
//
// Text is read and printed as UTF-8. Exit status: 0 when every step was done;
// 1 when a step failed, 2 for a malformed step list. A failure names the
// step and lists the visible top-level windows on stderr.
#include <windows.h>

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& w) {
    if (w.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr,
                        nullptr);
    return s;
}

std::wstring window_text(HWND hwnd) {
    // WM_GETTEXT rather than GetWindowText: the latter does not ask windows
    // of other processes for their controls' texts.
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return std::wstring();
    std::vector<wchar_t> buffer(length + 2);
    DWORD_PTR got = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                        SMTO_ABORTIFHUNG, 5000, &got);
    return std::wstring(buffer.data(), got < buffer.size() ? got : buffer.size() - 1);
}

std::string class_of(HWND hwnd) {
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return utf8(name);
}

struct Spec {
    std::string cls; // empty: any
    std::string title;
    bool prefix = false;
};

Spec parse_spec(const std::string& text) {
    Spec s;
    std::string rest = text;
    std::size_t bar = rest.find('|');
    if (bar != std::string::npos) {
        s.cls = rest.substr(0, bar);
        rest = rest.substr(bar + 1);
    }
    if (!rest.empty() && rest.back() == '*') {
        s.prefix = true;
        rest.pop_back();
    }
    s.title = rest;
    return s;
}

bool matches(HWND hwnd, const Spec& s) {
    if (!IsWindowVisible(hwnd)) return false;
    if (!s.cls.empty() && class_of(hwnd) != s.cls) return false;
    std::string title = utf8(window_text(hwnd));
    if (s.prefix) return title.compare(0, s.title.size(), s.title) == 0;
    return title == s.title;
}

std::vector<HWND> top_level_windows() {
    std::vector<HWND> found;
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND find_top(const Spec& s) {
    for (HWND hwnd : top_level_windows())
        if (matches(hwnd, s)) return hwnd;
    return nullptr;
}

std::vector<HWND> descendants(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(
        parent,
        [](HWND hwnd, LPARAM param) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND find_control(HWND parent, int id, const std::string& cls = std::string()) {
    if (id == 0 && cls.empty()) return parent;
    auto fits = [&](HWND child) {
        return GetDlgCtrlID(child) == id && (cls.empty() || class_of(child) == cls);
    };
    for (HWND child : descendants(parent))
        if (GetParent(child) == parent && fits(child)) return child;
    for (HWND child : descendants(parent))
        if (fits(child)) return child;
    return nullptr;
}

// ---- memory in the other process -----------------------------------------------

// A block in the process that owns a window, for messages whose arguments
// point at memory: Windows copies only the standard controls' messages below
// WM_USER between processes.
class RemoteBlock {
  public:
    RemoteBlock(HWND hwnd, std::size_t size) : size_(size) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        process_ =
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process_)
            at_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBlock() {
        if (at_) VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    bool ok() const { return at_ != nullptr; }
    char* address(std::size_t offset = 0) const { return static_cast<char*>(at_) + offset; }
    bool write(std::size_t offset, const void* data, std::size_t n) const {
        SIZE_T done = 0;
        return offset + n <= size_ &&
               WriteProcessMemory(process_, address(offset), data, n, &done) && done == n;
    }
    bool read(std::size_t offset, void* data, std::size_t n) const {
        SIZE_T done = 0;
        return offset + n <= size_ &&
               ReadProcessMemory(process_, address(offset), data, n, &done) && done == n;
    }

  private:
    HANDLE process_ = nullptr;
    void* at_ = nullptr;
    std::size_t size_;
};

constexpr std::size_t kTextChars = 1024;
constexpr std::size_t kTextOffset = 256; // after the item structure

bool tree_lines(HWND tree, std::vector<std::string>* lines) {
    RemoteBlock block(tree, kTextOffset + kTextChars * sizeof(wchar_t));
    if (!block.ok()) return false;
    bool ok = true;
    std::function<void(HTREEITEM, int)> walk = [&](HTREEITEM item, int depth) {
        for (; item && ok; item = TreeView_GetNextSibling(tree, item)) {
            TVITEMW tv = {};
            tv.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_STATE;
            tv.hItem = item;
            tv.stateMask = TVIS_EXPANDED;
            tv.pszText = reinterpret_cast<wchar_t*>(block.address(kTextOffset));
            tv.cchTextMax = kTextChars;
            wchar_t text[kTextChars] = {};
            ok = block.write(0, &tv, sizeof tv) && block.write(kTextOffset, text, sizeof text) &&
                 SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(block.address())) &&
                 block.read(0, &tv, sizeof tv) && block.read(kTextOffset, text, sizeof text);
            if (!ok) return;
            text[kTextChars - 1] = L'\0';
            lines->push_back(std::string(2 * static_cast<std::size_t>(depth), ' ') + utf8(text) +
                             " [" + std::to_string(tv.iImage) + "]" +
                             ((tv.state & TVIS_EXPANDED) ? "+" : ""));
            walk(TreeView_GetChild(tree, item), depth + 1);
        }
    };
    walk(TreeView_GetRoot(tree), 0);
    return ok;
}

bool list_view_rows(HWND list, std::vector<std::string>* lines) {
    RemoteBlock block(list, kTextOffset + kTextChars * sizeof(wchar_t));
    if (!block.ok()) return false;
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
    if (columns < 1) columns = 1;
    int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        std::string line;
        for (int column = 0; column < columns; ++column) {
            LVITEMW lv = {};
            lv.iSubItem = column;
            lv.pszText = reinterpret_cast<wchar_t*>(block.address(kTextOffset));
            lv.cchTextMax = kTextChars;
            wchar_t text[kTextChars] = {};
            if (!block.write(0, &lv, sizeof lv) || !block.write(kTextOffset, text, sizeof text))
                return false;
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                         reinterpret_cast<LPARAM>(block.address()));
            if (!block.read(kTextOffset, text, sizeof text)) return false;
            text[kTextChars - 1] = L'\0';
            if (column) line += '\t';
            line += utf8(text);
        }
        lines->push_back(line);
    }
    return true;
}

// ---- steps ---------------------------------------------------------------------

struct Failure {
    std::string why;
};

class Driver {
  public:
    void run(const std::string& verb, const std::vector<std::string>& a) {
        if (verb == "timeout") {
            timeout_ms_ = static_cast<DWORD>(std::strtod(a[0].c_str(), nullptr) * 1000);
        } else if (verb == "window") {
            current_ = wait_for(a[0]);
        } else if (verb == "gone") {
            Spec s = parse_spec(a[0]);
            wait_until([&] { return find_top(s) == nullptr; }, "\"" + a[0] + "\" is still there");
        } else if (verb == "text") {
            print(utf8(window_text(control(a[0]))));
        } else if (verb == "waittext") {
            HWND c = control(a[0]);
            std::string last;
            wait_until(
                [&] {
                    last = utf8(window_text(c));
                    return last == a[1];
                },
                "control " + a[0] + " shows \"" + last + "\", not \"" + a[1] + "\"");
        } else if (verb == "state") {
            HWND c = control(a[0]);
            LRESULT check = SendMessageW(c, BM_GETCHECK, 0, 0);
            print(std::string(IsWindowEnabled(c) ? "enabled" : "disabled") +
                  (check == BST_CHECKED ? " checked" : " unchecked"));
        } else if (verb == "tree") {
            std::vector<std::string> lines;
            if (!tree_lines(control(a[0]), &lines))
                throw Failure{"cannot read the tree's items from its process"};
            for (const std::string& l : lines)
                print(l);
        } else if (verb == "list") {
            HWND c = control(a[0]);
            LRESULT n = SendMessageW(c, LB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < n; ++i) {
                LRESULT length = SendMessageW(c, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
                std::wstring row(static_cast<std::size_t>(length < 0 ? 0 : length) + 1, L'\0');
                SendMessageW(c, LB_GETTEXT, static_cast<WPARAM>(i),
                             reinterpret_cast<LPARAM>(&row[0]));
                row.resize(row.size() - 1);
                print(utf8(row));
            }
        } else if (verb == "rows") {
            std::vector<std::string> lines;
            if (!list_view_rows(control(a[0]), &lines))
                throw Failure{"cannot read the list view's rows from its process"};
            for (const std::string& l : lines)
                print(l);
        } else if (verb == "click") {
            HWND c = control(a[0]);
            if (!IsWindowEnabled(c)) throw Failure{"control " + a[0] + " is disabled"};
            // Posted: the press may open a modal window, whose loop would
            // hold a sent message until it closes.
            PostMessageW(c, BM_CLICK, 0, 0);
        } else if (verb == "command") {
            int id = number(a[0]);
            HWND c = id ? find_control(need_current(), id, "Button") : nullptr;
            PostMessageW(need_current(), WM_COMMAND, MAKEWPARAM(id, c ? BN_CLICKED : 0),
                         reinterpret_cast<LPARAM>(c));
        } else if (verb == "settext") {
            std::wstring w = wide(a[1]);
            SendMessageW(control(a[0]), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str()));
        } else if (verb == "key") {
            press(control(a[0]), a[1]);
        } else if (verb == "answer") {
            HWND box = wait_for(a[0]);
            std::string said;
            for (HWND child : descendants(box)) {
                if (class_of(child) != "Static") continue;
                std::string t = utf8(window_text(child));
                if (t.empty()) continue;
                said += (said.empty() ? "" : " ") + t;
            }
            print(utf8(window_text(box)) + ": " + said);
            HWND button = find_control(box, number(a[1]), "Button");
            if (!button) throw Failure{"the dialog has no button " + a[1]};
            PostMessageW(button, BM_CLICK, 0, 0);
            // The next step must not find this box again.
            wait_until([&] { return !IsWindow(box) || !IsWindowVisible(box); },
                       "\"" + a[0] + "\" did not close");
        } else if (verb == "close") {
            PostMessageW(need_current(), WM_CLOSE, 0, 0);
        } else if (verb == "sleep") {
            Sleep(static_cast<DWORD>(number(a[0])));
        } else if (verb == "dump") {
            dump(need_current());
        } else if (verb == "screen") {
            for (HWND hwnd : top_level_windows()) {
                if (!IsWindowVisible(hwnd)) continue;
                print(class_of(hwnd) + "|" + utf8(window_text(hwnd)));
                dump(hwnd);
            }
        }
    }

  private:
    static void print(const std::string& line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

    static void dump(HWND parent) {
        for (HWND child : descendants(parent))
            print("  " + std::to_string(GetDlgCtrlID(child)) + "\t" + class_of(child) + "\t" +
                  (IsWindowVisible(child) ? "" : "(hidden) ") + utf8(window_text(child)));
    }

    static int number(const std::string& s) {
        char* end = nullptr;
        long v = std::strtol(s.c_str(), &end, 0);
        if (s.empty() || *end) throw Failure{"\"" + s + "\" is not a number"};
        return static_cast<int>(v);
    }

    static std::wstring wide(const std::string& s) {
        int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
        std::wstring w(static_cast<std::size_t>(n), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
        return w;
    }

    HWND need_current() const {
        if (!current_ || !IsWindow(current_)) throw Failure{"no current window (or it closed)"};
        return current_;
    }

    HWND control(const std::string& name) const {
        std::size_t colon = name.rfind(':');
        std::string cls = colon == std::string::npos ? std::string() : name.substr(0, colon);
        int id = number(colon == std::string::npos ? name : name.substr(colon + 1));
        HWND c = find_control(need_current(), id, cls);
        if (!c) throw Failure{"the window has no control " + name};
        return c;
    }

    void wait_until(const std::function<bool()>& done, const std::string& why_not) const {
        DWORD start = GetTickCount();
        for (;;) {
            if (done()) return;
            if (GetTickCount() - start >= timeout_ms_)
                throw Failure{why_not + " after " + std::to_string(timeout_ms_ / 1000) + " s"};
            Sleep(100);
        }
    }

    HWND wait_for(const std::string& spec) const {
        Spec s = parse_spec(spec);
        HWND found = nullptr;
        wait_until([&] { return (found = find_top(s)) != nullptr; },
                   "no window \"" + spec + "\" appeared");
        // Its dialog procedure has run WM_INITDIALOG once the thread answers.
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(found, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
        return found;
    }

    static void press(HWND target, const std::string& key) {
        static const struct {
            const char* name;
            UINT vk;
        } kKeys[] = {{"RETURN", VK_RETURN}, {"ESCAPE", VK_ESCAPE}, {"TAB", VK_TAB},
                     {"SPACE", VK_SPACE},   {"UP", VK_UP},         {"DOWN", VK_DOWN},
                     {"HOME", VK_HOME},     {"END", VK_END}};
        for (const auto& k : kKeys) {
            if (key != k.name) continue;
            UINT scan = MapVirtualKeyW(k.vk, MAPVK_VK_TO_VSC);
            PostMessageW(target, WM_KEYDOWN, k.vk, 1 | (scan << 16));
            if (k.vk == VK_RETURN || k.vk == VK_ESCAPE || k.vk == VK_TAB || k.vk == VK_SPACE)
                PostMessageW(target, WM_CHAR, k.vk == VK_SPACE ? L' ' : k.vk, 1 | (scan << 16));
            PostMessageW(target, WM_KEYUP, k.vk, 1 | (scan << 16) | 0xC0000000u);
            return;
        }
        std::wstring w = wide(key);
        if (w.size() != 1) throw Failure{"unknown key " + key};
        PostMessageW(target, WM_CHAR, w[0], 1);
    }

    HWND current_ = nullptr;
    DWORD timeout_ms_ = 30000;
};

int arity(const std::string& verb) {
    static const struct {
        const char* verb;
        int args;
    } kVerbs[] = {{"timeout", 1}, {"window", 1},  {"gone", 1},  {"text", 1},   {"waittext", 2},
                  {"state", 1},   {"tree", 1},    {"list", 1},  {"rows", 1},   {"click", 1},
                  {"command", 1}, {"settext", 2}, {"key", 2},   {"answer", 2}, {"close", 0},
                  {"sleep", 1},   {"dump", 0},    {"screen", 0}};
    for (const auto& v : kVerbs)
        if (verb == v.verb) return v.args;
    return -1;
}

void list_windows() {
    std::fprintf(stderr, "windriver: visible windows:\n");
    for (HWND hwnd : top_level_windows()) {
        if (!IsWindowVisible(hwnd)) continue;
        std::fprintf(stderr, "  %s|%s\n", class_of(hwnd).c_str(), utf8(window_text(hwnd)).c_str());
    }
}

} // namespace

int main() {
    _setmode(_fileno(stdout), _O_BINARY);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 1; argv && i < argc; ++i)
        args.push_back(utf8(argv[i]));

    struct Step {
        std::string verb;
        std::vector<std::string> args;
    };
    std::vector<Step> steps;
    for (std::size_t i = 0; i < args.size();) {
        int n = arity(args[i]);
        if (n < 0 || i + 1 + static_cast<std::size_t>(n) > args.size()) {
            std::fprintf(stderr, "windriver: %s \"%s\" at argument %zu\n",
                         n < 0 ? "unknown step" : "too few arguments for", args[i].c_str(), i + 1);
            return 2;
        }
        steps.push_back(
            {args[i], std::vector<std::string>(args.begin() + static_cast<long>(i) + 1,
                                               args.begin() + static_cast<long>(i) + 1 + n)});
        i += 1 + static_cast<std::size_t>(n);
    }
    if (steps.empty()) {
        std::fprintf(stderr, "usage: windriver.exe STEP [STEP...] (see windriver.cpp)\n");
        return 2;
    }

    Driver driver;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        try {
            driver.run(steps[i].verb, steps[i].args);
        } catch (const Failure& f) {
            std::string step = steps[i].verb;
            for (const std::string& a : steps[i].args)
                step += " \"" + a + "\"";
            std::fprintf(stderr, "windriver: step %zu (%s) failed: %s\n", i + 1, step.c_str(),
                         f.why.c_str());
            list_windows();
            return 1;
        }
    }
    return 0;
}
