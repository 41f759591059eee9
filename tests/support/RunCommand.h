#pragma once
// Runs the qorlu program as a user would, capturing its output.

#include <string>
#include <vector>

namespace qorlu::test {

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs `program` with `args` (each passed as one argument), feeding `input`
// on standard input.
CommandResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = "");

std::vector<std::string> SplitLines(const std::string& text);

} // namespace qorlu::test
