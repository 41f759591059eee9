#pragma once
// Runs a program under strace so that it stops (SIGSTOP) right after the
// n-th call of a chosen system call, and goes on when told: another
// program can then be run against the files at exactly that moment. Nothing
// inside the program under test knows about it.

#include "tests/support/RunCommand.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace qorlu::test {

class StoppedRun {
public:
    // Starts `program` with `args`, to stop at the n-th `syscall` (counted
    // among the calls that touch `onlyPath`, when given).
    StoppedRun(const std::string& program, const std::vector<std::string>& args, const std::string& syscall, int n,
               const std::string& onlyPath = "");
    ~StoppedRun();
    StoppedRun(const StoppedRun&) = delete;
    StoppedRun& operator=(const StoppedRun&) = delete;

    // Waits until the program has stopped there; false when it ended first
    // or did not stop within a minute.
    bool WaitUntilStopped();
    // Lets it go on and waits for its end.
    CommandResult Finish();

private:
    pid_t m_strace = -1;
    pid_t m_program = -1;
    std::string m_folder;
};

} // namespace qorlu::test
