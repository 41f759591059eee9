#include "tests/support/StoppedRun.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qorlu::test {

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

StoppedRun::StoppedRun(const std::string& program, const std::vector<std::string>& args, const std::string& syscall,
                       int n, const std::string& onlyPath) {
    char folder[] = "/tmp/qorlu-stopped-XXXXXX";
    m_folder = mkdtemp(folder) ? folder : "/tmp";
    // Only the chosen call is traced, so the program stops nowhere else; the
    // log tells when (and which process) the signal stopped.
    std::vector<std::string> argv = {"strace", "-f", "-qq", "-o", m_folder + "/trace", "-e", "trace=" + syscall};
    // The leak checker of a sanitized build cannot run under ptrace.
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::string asanOptions = "ASAN_OPTIONS=";
    if (asan != nullptr && *asan != '\0') asanOptions.append(asan).append(":");
    argv.insert(argv.end(), {"-E", asanOptions + "detect_leaks=0"});
    if (!onlyPath.empty()) argv.insert(argv.end(), {"-P", onlyPath});
    argv.insert(argv.end(), {"-e", "inject=" + syscall + ":signal=STOP:when=" + std::to_string(n), program});
    argv.insert(argv.end(), args.begin(), args.end());
    const std::string out = m_folder + "/out";
    const std::string err = m_folder + "/err";
    m_strace = fork();
    if (m_strace == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(o, 1);
        dup2(e, 2);
        std::vector<char*> raw;
        for (auto& a : argv) raw.push_back(a.data());
        raw.push_back(nullptr);
        execvp("strace", raw.data());
        _exit(127);
    }
}

StoppedRun::~StoppedRun() {
    if (m_strace > 0) {
        if (m_program > 0) kill(m_program, SIGKILL);
        kill(m_strace, SIGKILL);
        waitpid(m_strace, nullptr, 0);
    }
    std::error_code ec;
    if (m_folder != "/tmp") std::filesystem::remove_all(m_folder, ec);
}

bool StoppedRun::WaitUntilStopped() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (std::chrono::steady_clock::now() < until) {
        if (waitpid(m_strace, nullptr, WNOHANG) == m_strace) {
            m_strace = -1;
            return false;
        }
        const std::string trace = Slurp(m_folder + "/trace");
        const auto stopped = trace.find("--- stopped by SIGSTOP ---");
        if (stopped != std::string::npos) {
            const auto line = trace.rfind('\n', stopped);
            m_program = std::atoi(trace.c_str() + (line == std::string::npos ? 0 : line + 1));
            return m_program > 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

CommandResult StoppedRun::Finish() {
    CommandResult r;
    if (m_program > 0) kill(m_program, SIGCONT);
    int status = 0;
    if (m_strace > 0 && waitpid(m_strace, &status, 0) == m_strace) {
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        m_strace = -1;
    }
    m_program = -1;
    r.out = Slurp(m_folder + "/out");
    r.err = Slurp(m_folder + "/err");
    return r;
}

} // namespace qorlu::test
