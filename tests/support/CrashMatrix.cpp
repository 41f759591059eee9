#include "tests/support/CrashMatrix.h"

#include <cstdlib>
#include <string>

namespace qorlu::test {

const std::vector<std::string>& CrashSyscalls() {
    static const std::vector<std::string> calls = {"write",    "pwrite64",  "writev", "fsync",    "fdatasync", "rename",
                                                   "renameat", "renameat2", "unlink", "unlinkat", "ftruncate"};
    return calls;
}

bool HaveStrace() { return std::system("strace -V >/dev/null 2>&1") == 0; }

KilledRun RunKilledAt(const std::string& program, const std::vector<std::string>& args, const CrashPoint& point,
                      const std::string& input) {
    // The leak checker of a sanitized build cannot run under ptrace and
    // would abort the traced program at its end; the other checks stay on.
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::string asanOptions = "ASAN_OPTIONS=";
    if (asan != nullptr && *asan != '\0') asanOptions.append(asan).append(":");
    asanOptions.append("detect_leaks=0");
    std::vector<std::string> straceArgs = {
        "-f",   "-qq",       "-o", "/dev/null",
        "-E",   asanOptions, "-e", "inject=" + point.syscall + ":signal=KILL:when=" + std::to_string(point.n),
        program};
    straceArgs.insert(straceArgs.end(), args.begin(), args.end());
    KilledRun run;
    run.result = RunProgram("strace", straceArgs, input);
    // strace passes the tracee's death by signal on: the shell reports 128 + 9,
    // or dies of it itself.
    run.killed = run.result.exitCode == 137 || run.result.exitCode == -1;
    return run;
}

int RunCrashMatrix(const std::string& program, const std::vector<std::string>& args,
                   const std::function<void()>& prepare,
                   const std::function<void(const CrashPoint&, const KilledRun&)>& check, const std::string& input,
                   int limitPerSyscall) {
    int killedRuns = 0;
    for (const auto& call : CrashSyscalls()) {
        for (int n = 1; n <= limitPerSyscall; ++n) {
            prepare();
            const CrashPoint point{call, n};
            const KilledRun run = RunKilledAt(program, args, point, input);
            check(point, run);
            if (!run.killed) break;
            ++killedRuns;
        }
    }
    return killedRuns;
}

} // namespace qorlu::test
