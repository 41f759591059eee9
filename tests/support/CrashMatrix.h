#pragma once
// Kills a program at chosen system calls, with strace's fault injection, to
// check what a crash at that moment leaves on disk. Nothing inside the
// program under test knows about it.

#include "tests/support/RunCommand.h"

#include <functional>
#include <string>
#include <vector>

namespace qorlu::test {

// The calls before which a run is killed: every kind of write, flush,
// rename, truncation and deletion.
const std::vector<std::string>& CrashSyscalls();

struct CrashPoint {
    std::string syscall;
    int n = 0; // killed on entry to the n-th call of `syscall` (1-based)
};

// Whether strace can run here. Tests without it are skipped, never passed.
bool HaveStrace();

// Runs `program` with `args` under strace, killed by SIGKILL on entry to the
// point's call. `killed` tells whether that call was reached.
struct KilledRun {
    CommandResult result;
    bool killed = false;
};
KilledRun RunKilledAt(const std::string& program, const std::vector<std::string>& args, const CrashPoint& point,
                      const std::string& input = "");

// For each of CrashSyscalls() and n = 1, 2, ...: prepare(), a run killed at
// the n-th call, then check(point, run). The series of one syscall ends with
// the first run that is not killed (it ran to its end; check sees that run
// too). Returns the number of runs that were killed.
int RunCrashMatrix(const std::string& program, const std::vector<std::string>& args,
                   const std::function<void()>& prepare,
                   const std::function<void(const CrashPoint&, const KilledRun&)>& check, const std::string& input = "",
                   int limitPerSyscall = 1000);

} // namespace qorlu::test
