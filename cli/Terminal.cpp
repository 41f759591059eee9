#include "cli/Terminal.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace qorlu::cli {

namespace {
// One catcher at a time: the extraction that is running.
std::atomic<std::atomic<bool>*> g_flag{nullptr};
} // namespace

#ifdef _WIN32

void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
    // Only the error stream draws the progress line.
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (err != INVALID_HANDLE_VALUE && GetConsoleMode(err, &mode) != 0)
        SetConsoleMode(err, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool StderrTakesProgress() {
    // A console whose mode cannot be read is no console (a file or a pipe);
    // one without virtual-terminal processing would print the escape codes.
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return err != INVALID_HANDLE_VALUE && GetConsoleMode(err, &mode) != 0 &&
           (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

namespace {
BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    if (auto* flag = g_flag.load()) {
        flag->store(true);
        return TRUE;
    }
    return FALSE;
}
} // namespace

InterruptCatcher::InterruptCatcher(std::atomic<bool>& flag) {
    g_flag = &flag;
    SetConsoleCtrlHandler(OnControl, TRUE);
}

InterruptCatcher::~InterruptCatcher() {
    SetConsoleCtrlHandler(OnControl, FALSE);
    g_flag = nullptr;
}

#else

void PrepareConsole() {}

bool StderrTakesProgress() { return isatty(STDERR_FILENO) != 0; }

namespace {
extern "C" void OnInterrupt(int) {
    if (auto* flag = g_flag.load()) flag->store(true);
}
} // namespace

InterruptCatcher::InterruptCatcher(std::atomic<bool>& flag) {
    g_flag = &flag;
    m_previous = std::signal(SIGINT, OnInterrupt);
}

InterruptCatcher::~InterruptCatcher() {
    std::signal(SIGINT, m_previous);
    g_flag = nullptr;
}

#endif

} // namespace qorlu::cli
