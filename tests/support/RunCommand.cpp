#include "tests/support/RunCommand.h"

#include "tests/support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace qorlu::test {

namespace {

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

CommandResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input) {
    TempDir dir;
    {
        std::ofstream(dir.Path() / "in", std::ios::binary) << input;
    }
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
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream s(text);
    for (std::string line; std::getline(s, line);) lines.push_back(line);
    return lines;
}

} // namespace qorlu::test
