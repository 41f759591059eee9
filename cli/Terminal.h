#pragma once
// What the command line needs of the terminal it runs in: UTF-8 output,
// whether a progress line may be drawn on stderr, and Ctrl-C.

#include <atomic>

namespace qorlu::cli {

// Makes the console show the program's UTF-8 text as such, and turns on
// its escape sequences where it has them. Nothing on POSIX.
void PrepareConsole();

// True when stderr is a terminal that understands the progress line's
// carriage return and erase-to-end-of-line sequence: a POSIX terminal, or
// a Windows console in virtual-terminal mode. Never for a file or a pipe.
bool StderrTakesProgress();

// While it lives, Ctrl-C (and Ctrl-Break on Windows) sets `flag` instead of
// ending the program: SIGINT on POSIX, a console control handler on Windows.
class InterruptCatcher {
public:
    explicit InterruptCatcher(std::atomic<bool>& flag);
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

private:
    void (*m_previous)(int) = nullptr;
};

} // namespace qorlu::cli
