#include "tests/support/RunCommand.h"

#include "tests/support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#ifdef _WIN32
#include "io/NativePath.h"
#include <windows.h>
#else
#include <sys/wait.h>
#endif

namespace qorlu::test {

namespace {

#ifdef _WIN32
// One argument as the C runtime's command-line parser reads it back:
// quoted, with backslashes doubled before a quote.
std::wstring QuoteArgument(const std::wstring& a) {
    if (!a.empty() && a.find_first_of(L" \t\"") == std::wstring::npos) return a;
    std::wstring q = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : a) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        q.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        q.push_back(c);
    }
    q.append(2 * backslashes, L'\\');
    return q + L"\"";
}

HANDLE Inheritable(const std::filesystem::path& p, bool write) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileW(p.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}
#endif

#ifndef _WIN32
std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}
#endif

std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

CommandResult RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& input) {
    TempDir dir;
    { std::ofstream(dir.Path() / "in", std::ios::binary) << input; }
#ifdef _WIN32
    // The program itself, not a command shell: no shell's quoting rules.
    bool ok = false;
    std::wstring line = QuoteArgument(WideFromUtf8(program, ok));
    for (const auto& a : args) line.append(L" ").append(QuoteArgument(WideFromUtf8(a, ok)));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = Inheritable(dir.Path() / "in", false);
    si.hStdOutput = Inheritable(dir.Path() / "out", true);
    si.hStdError = Inheritable(dir.Path() / "err", true);
    PROCESS_INFORMATION pi{};
    const bool started =
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi) != 0;
    CloseHandle(si.hStdInput);
    CloseHandle(si.hStdOutput);
    CloseHandle(si.hStdError);
    CommandResult r;
    if (started) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        r.exitCode = static_cast<int>(code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    } else {
        r.exitCode = 127; // as a shell reports a program it cannot find
    }
    // Text-mode output ends its lines with CR LF; the tests read lines.
    auto lines = [](std::string text) {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i)
            if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out.push_back(text[i]);
        return out;
    };
    r.out = lines(Slurp(dir.Path() / "out"));
    r.err = lines(Slurp(dir.Path() / "err"));
    return r;
#else
    // Appended piece by piece: GCC 12 at -O3 warns falsely about overlapping
    // copies in `"literal" + std::string&&`.
    std::string command = Quote(program);
    for (const auto& a : args) command.append(" ").append(Quote(a));
    command.append(" <").append(Quote(dir / "in"));
    command.append(" >").append(Quote(dir / "out"));
    command.append(" 2>").append(Quote(dir / "err"));
    const int status = std::system(command.c_str());
    CommandResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(dir.Path() / "out");
    r.err = Slurp(dir.Path() / "err");
    return r;
#endif
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream s(text);
    for (std::string line; std::getline(s, line);) lines.push_back(line);
    return lines;
}

} // namespace qorlu::test
