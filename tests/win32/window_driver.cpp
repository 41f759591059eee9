// window_driver: drives the Windows programs' windows from outside, as a
// user would, for the tests under Wine. It starts a program, finds its
// windows by title, clicks buttons (BM_CLICK), types into the file and
// folder dialogs, drops files (WM_DROPFILES with a DROPFILES block),
// answers message boxes and reads texts back. Every box it answers is
// printed as "box: <text>" (line breaks as "\n", backslashes doubled, as
// printf's %b reads them), so the calling script
// compares the texts with the command line's.
//
//   window_driver extract EXE IMAGE FOLDER [cancel|quit]
//     FOLDER must be the image's folder: the folder dialog offers it first.
//   window_driver import EXE IMAGE FILE yes|no     (FILE: an entry's, or a .ppf)
//   window_driver drop-inside-box EXE IMAGE PATCH FILE
//     PATCH is applied by a drop; FILE (an entry's) is dropped while the
//     size warning of the index loaded again is up, which must be refused,
//     then again once the boxes are closed, and imported.
//   window_driver drop EXE ZONE_ID FILE
//
// Exit status 0 when every step happened as expected.

#include <windows.h>
#include <shlobj.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

DWORD g_process = 0; // the program driven, for the report on failure

std::wstring TextOf(HWND w);
std::wstring ClassOf(HWND w);

// What the program shows: its visible top-level windows and their controls.
void ReportWindows() {
    EnumWindows(
        [](HWND w, LPARAM) -> BOOL {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner != g_process || !IsWindowVisible(w)) return TRUE;
            std::fwprintf(stderr, L"  window %ls \"%ls\"\n", ClassOf(w).c_str(), TextOf(w).c_str());
            EnumChildWindows(
                w,
                [](HWND c, LPARAM) -> BOOL {
                    std::fwprintf(stderr, L"    %d %ls \"%ls\"%ls\n", GetDlgCtrlID(c), ClassOf(c).c_str(),
                                  TextOf(c).c_str(), IsWindowVisible(c) ? L"" : L" (hidden)");
                    return TRUE;
                },
                0);
            return TRUE;
        },
        0);
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "window_driver: %s\n", what.c_str());
    if (g_process) ReportWindows();
    std::fflush(stderr);
    std::exit(1);
}

std::string Narrow(const std::wstring& w) {
    std::string out;
    for (const wchar_t c : w) {
        if (c == L'\n') {
            out += "\\n";
        } else if (c == L'\\') {
            out += "\\\\";
        } else if (c != L'\r') {
            out += static_cast<char>(c < 128 ? c : '?');
        }
    }
    return out;
}

// Waits up to `seconds` for `found` to give a window.
HWND WaitFor(const std::function<HWND()>& found, double seconds, const std::string& what) {
    const auto end = Clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    while (Clock::now() < end) {
        if (HWND w = found()) return w;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Fail("timed out waiting for " + what);
}

bool WaitUntil(const std::function<bool()>& done, double seconds) {
    const auto end = Clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    while (Clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

std::wstring TextOf(HWND w) {
    wchar_t buffer[4096] = {};
    // Sent across processes, the text comes back whole (the system copies it).
    SendMessageTimeoutW(w, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, nullptr);
    return buffer;
}

std::wstring ClassOf(HWND w) {
    wchar_t name[256] = {};
    GetClassNameW(w, name, 256);
    return name;
}

struct Process {
    PROCESS_INFORMATION info{};
    DWORD Id() const { return info.dwProcessId; }
};

Process Start(const std::wstring& exe) {
    Process p;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + exe + L"\"";
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &p.info))
        Fail("can not start the program");
    WaitForInputIdle(p.info.hProcess, 10000);
    g_process = p.info.dwProcessId;
    return p;
}

// The process's top-level window whose title is `title` and, when asked, visible.
HWND TopWindow(DWORD process, const std::wstring& title, bool visibleOnly = true) {
    struct Search {
        DWORD process;
        const std::wstring* title;
        bool visibleOnly;
        HWND found;
    } s{process, &title, visibleOnly, nullptr};
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            auto& found = *reinterpret_cast<Search*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner != found.process || (found.visibleOnly && !IsWindowVisible(w))) return TRUE;
            if (TextOf(w) != *found.title) return TRUE;
            found.found = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// Every descendant window of `parent`.
std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> all;
    EnumChildWindows(
        parent,
        [](HWND w, LPARAM p) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
}

// A visible message box of the process other than `except`: a dialog with
// a static text and only buttons besides; its text.
HWND MessageBoxOf(DWORD process, std::wstring* text, HWND except = nullptr) {
    struct Search {
        DWORD process;
        HWND except;
        HWND found;
        std::wstring text;
    } s{process, except, nullptr, {}};
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            auto& found = *reinterpret_cast<Search*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner != found.process || w == found.except || !IsWindowVisible(w) || ClassOf(w) != L"#32770")
                return TRUE;
            std::wstring longest;
            bool onlyStaticsAndButtons = true;
            for (HWND c : Children(w)) {
                const std::wstring cls = ClassOf(c);
                if (cls == L"Static") {
                    const std::wstring t = TextOf(c);
                    if (t.size() > longest.size()) longest = t;
                } else if (cls != L"Button") {
                    onlyStaticsAndButtons = false;
                }
            }
            if (!onlyStaticsAndButtons || longest.empty() || GetDlgItem(w, 1000) || GetDlgItem(w, 1001) ||
                GetDlgItem(w, 1002))
                return TRUE;
            found.found = w;
            found.text = longest;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&s));
    if (s.found && text) *text = s.text;
    return s.found;
}

// Waits for a box, prints its text, presses `button` (IDOK, IDYES, IDNO).
std::wstring AnswerBox(const Process& p, int button, double seconds = 30) {
    std::wstring text;
    const HWND box = WaitFor([&] { return MessageBoxOf(p.Id(), &text); }, seconds, "a message box");
    std::printf("box: %s\n", Narrow(text).c_str());
    std::fflush(stdout);
    HWND b = GetDlgItem(box, button);
    if (!b) Fail("the box has no button " + std::to_string(button));
    PostMessageW(b, BM_CLICK, 0, 0);
    WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10);
    return text;
}

void Click(HWND dialog, int id) {
    HWND b = GetDlgItem(dialog, id);
    if (!b) Fail("no control " + std::to_string(id));
    // Posted: the click's handler may open a modal dialog.
    PostMessageW(b, BM_CLICK, 0, 0);
}

void Type(HWND edit, const std::wstring& text) {
    SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000, nullptr);
}

// The first edit control below `dialog`, the one a dialog types names into.
HWND EditOf(HWND dialog) {
    for (HWND c : Children(dialog))
        if (ClassOf(c) == L"Edit" && IsWindowVisible(c)) return c;
    return nullptr;
}

HWND OwnedDialog(DWORD process, HWND except, const std::function<bool(HWND)>& test) {
    struct Search {
        DWORD process;
        HWND except;
        const std::function<bool(HWND)>* test;
        HWND found;
    } s{process, except, &test, nullptr};
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            auto& found = *reinterpret_cast<Search*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner != found.process || w == found.except || !IsWindowVisible(w) || ClassOf(w) != L"#32770")
                return TRUE;
            if (!(*found.test)(w)) return TRUE;
            found.found = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND MainWindow(const Process& p, const wchar_t* title) {
    return WaitFor([&] { return TopWindow(p.Id(), title); }, 60, "the main window");
}

void ChooseImage(const Process& p, HWND main, const std::wstring& image) {
    Click(main, 1000);
    const HWND dialog = WaitFor([&] { return TopWindow(p.Id(), L"open CD image file"); }, 30, "the file dialog");
    HWND edit = GetDlgItem(dialog, 0x47C); // the file name box
    if (edit && ClassOf(edit) != L"Edit") edit = FindWindowExW(edit, nullptr, L"Edit", nullptr);
    if (!edit) edit = EditOf(dialog);
    if (!edit) Fail("the file dialog has no name box");
    Type(edit, image);
    Click(dialog, IDOK);
    // The locator's boxes (a size warning, say) are answered on the way.
    if (!WaitUntil(
            [&] {
                if (MessageBoxOf(p.Id(), nullptr)) AnswerBox(p, IDOK);
                return TextOf(GetDlgItem(main, 1002)) == image;
            },
            30))
        Fail("the image path is not shown; edit 1002 holds \"" + Narrow(TextOf(GetDlgItem(main, 1002))) + "\"");
}

void ChooseFolder(const Process& p, HWND main, const std::wstring& folder) {
    Click(main, 1001);
    const HWND dialog = WaitFor(
        [&] {
            return OwnedDialog(p.Id(), main, [](HWND w) {
                for (HWND c : Children(w))
                    if (ClassOf(c) == L"SysTreeView32") return true;
                return false;
            });
        },
        30, "the folder dialog");
    // The dialog opens on the folder the window offers (the image's folder
    // at first); the user takes it with OK.
    Click(dialog, IDOK);
    if (!WaitUntil([&] { return TextOf(GetDlgItem(main, 1003)) == folder; }, 30))
        Fail("the folder is not shown; edit 1003 holds \"" + Narrow(TextOf(GetDlgItem(main, 1003))) + "\"");
}

// Drops `file` on `target` as the shell does: a DROPFILES block with the
// wide name list, posted as WM_DROPFILES. The shell's block lives in the
// receiver's memory, so this one is written there too: a handle of the
// driver's own heap would mean nothing to the program (the drop would
// carry no files). The receiver frees it with DragFinish.
void Drop(HWND target, const std::wstring& file) {
    DWORD process = 0;
    GetWindowThreadProcessId(target, &process);
    HANDLE handle = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, process);
    if (!handle) Fail("can not reach the program's memory");
    std::vector<char> block(sizeof(DROPFILES) + (file.size() + 2) * sizeof(wchar_t), '\0');
    auto* drop = reinterpret_cast<DROPFILES*>(block.data());
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(block.data() + sizeof(DROPFILES), file.c_str(), file.size() * sizeof(wchar_t));
    void* remote = VirtualAllocEx(handle, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    SIZE_T written = 0;
    if (!remote || !WriteProcessMemory(handle, remote, block.data(), block.size(), &written) || written != block.size())
        Fail("can not write the drop into the program's memory");
    CloseHandle(handle);
    PostMessageW(target, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
}

int EndProgram(const Process& p, HWND main, double seconds = 20) {
    PostMessageW(main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(p.info.hProcess, static_cast<DWORD>(seconds * 1000)) != WAIT_OBJECT_0)
        Fail("the program did not end after WM_CLOSE");
    DWORD code = 1;
    GetExitCodeProcess(p.info.hProcess, &code);
    return static_cast<int>(code);
}

int Extract(const std::wstring& exe, const std::wstring& image, const std::wstring& folder, const std::wstring& how) {
    const Process p = Start(exe);
    const HWND main = MainWindow(p, L"qorlu_unpacker");
    if (IsWindowEnabled(GetDlgItem(main, 1006))) Fail("Start Extract is enabled at start-up");
    ChooseImage(p, main, image);
    ChooseFolder(p, main, folder);
    if (!WaitUntil([&] { return IsWindowEnabled(GetDlgItem(main, 1006)) != FALSE; }, 10))
        Fail("Start Extract stays disabled");
    Click(main, 1006);
    const HWND progress = WaitFor([&] { return TopWindow(p.Id(), L"Progress Info"); }, 30, "the progress window");
    if (!WaitUntil([&] { return !IsWindowVisible(main); }, 10)) Fail("the main window stays visible");
    if (how == L"cancel") {
        Click(progress, IDCANCEL);
        const std::wstring end = AnswerBox(p, IDOK);
        if (end != L"Extract aborted!") Fail("a cancelled job ended with another box");
    } else if (how == L"quit") {
        // Once the job writes, the hidden main window is told to close.
        WaitUntil([&] { return !TextOf(GetDlgItem(progress, 1007)).empty(); }, 30);
        const auto start = Clock::now();
        PostMessageW(main, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(p.info.hProcess, 10000) != WAIT_OBJECT_0) Fail("the program did not end");
        const double took = std::chrono::duration<double>(Clock::now() - start).count();
        std::printf("ended %.3f s after WM_CLOSE\n", took);
        return took < 1.0 ? 0 : 1;
    } else {
        const std::wstring end = AnswerBox(p, IDOK, 120);
        if (end != L"Extract complete!") Fail("the job ended with another box");
    }
    if (!WaitUntil([&] { return IsWindowVisible(main) && !IsWindow(progress); }, 10))
        Fail("the main window is not back");
    return EndProgram(p, main);
}

int Import(const std::wstring& exe, const std::wstring& image, const std::wstring& file, const std::wstring& answer) {
    const Process p = Start(exe);
    const HWND main = MainWindow(p, L"qorlu_unpacker");
    ChooseImage(p, main, image);
    Drop(main, file);
    const std::wstring question = AnswerBox(p, answer == L"yes" ? IDYES : IDNO);
    if (question.find(L" Import this file ?") == std::wstring::npos &&
        question.rfind(L"Apply this patch to the image?", 0) != 0)
        Fail("the first box is no import question");
    if (answer == L"yes") AnswerBox(p, IDOK);
    // After a patch the index is loaded again, with the locator's boxes.
    WaitUntil(
        [&] {
            if (MessageBoxOf(p.Id(), nullptr)) AnswerBox(p, IDOK);
            return false;
        },
        2);
    return EndProgram(p, main);
}

int DropInsideBox(const std::wstring& exe, const std::wstring& image, const std::wstring& patch,
                  const std::wstring& file) {
    const Process p = Start(exe);
    const HWND main = MainWindow(p, L"qorlu_unpacker");
    ChooseImage(p, main, image);
    Drop(main, patch);
    const std::wstring question = AnswerBox(p, IDYES);
    if (question.rfind(L"Apply this patch to the image?", 0) != 0) Fail("the first box is no patch question");
    if (AnswerBox(p, IDOK) != L"patch apply OK!") Fail("the patch was not applied");
    // The index loaded again warns about the archive's size; the file is
    // dropped while that box is up.
    std::wstring warning;
    const HWND box = WaitFor([&] { return MessageBoxOf(p.Id(), &warning); }, 30, "the size warning");
    if (warning.rfind(L"Size of filedtata.afs mismatch.", 0) != 0) Fail("the box after the patch is no size warning");
    Drop(main, file);
    std::wstring other;
    if (WaitUntil([&] { return MessageBoxOf(p.Id(), &other, box) != nullptr; }, 2))
        Fail("a box came up while the size warning was up: " + Narrow(other));
    std::printf("refused inside the box\n");
    AnswerBox(p, IDOK);
    // The reload's other boxes; no question may come up.
    WaitUntil(
        [&] {
            std::wstring text;
            if (MessageBoxOf(p.Id(), &text) && text.find(L" Import this file ?") != std::wstring::npos)
                Fail("the refused drop was asked about after the box");
            if (MessageBoxOf(p.Id(), nullptr)) AnswerBox(p, IDOK);
            return false;
        },
        2);
    Drop(main, file);
    const std::wstring import = AnswerBox(p, IDYES);
    if (import.find(L" Import this file ?") == std::wstring::npos) Fail("the drop after the boxes asks no question");
    if (AnswerBox(p, IDOK) != L"file import OK!") Fail("the file was not imported");
    return EndProgram(p, main);
}

int DropOnZone(const std::wstring& exe, int zone, const std::wstring& file) {
    const Process p = Start(exe);
    const std::wstring title = exe.find(L"bitmapper") != std::wstring::npos ? L"qorlu_bitmapper" : L"qorlu_packer";
    const HWND main = MainWindow(p, title.c_str());
    HWND target = GetDlgItem(main, zone);
    if (!target) Fail("no zone " + std::to_string(zone));
    Drop(target, file);
    AnswerBox(p, IDOK, 60);
    return EndProgram(p, main);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.size() >= 4 && args[0] == L"extract")
        return Extract(args[1], args[2], args[3], args.size() > 4 ? args[4] : L"");
    if (args.size() == 5 && args[0] == L"import") return Import(args[1], args[2], args[3], args[4]);
    if (args.size() == 5 && args[0] == L"drop-inside-box") return DropInsideBox(args[1], args[2], args[3], args[4]);
    if (args.size() == 4 && args[0] == L"drop") return DropOnZone(args[1], std::stoi(args[2]), args[3]);
    std::fprintf(stderr, "usage: window_driver extract EXE IMAGE FOLDER [cancel|quit]\n"
                         "       window_driver import EXE IMAGE FILE yes|no\n"
                         "       window_driver drop-inside-box EXE IMAGE PATCH FILE\n"
                         "       window_driver drop EXE ZONE_ID FILE\n");
    return 2;
}
