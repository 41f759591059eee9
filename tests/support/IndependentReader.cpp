#include "tests/support/IndependentReader.h"

#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace qorlu::test {

namespace fs = std::filesystem;

bool HaveProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    std::string dir;
    std::error_code ec;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && fs::exists(fs::path(dir) / name, ec)) return true;
    return false;
}

void WriteRawCueSheet(const std::string& cue, const std::string& bin) {
    std::ofstream(cue) << "FILE \"" << fs::path(bin).filename().string()
                       << "\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n";
}

std::vector<std::uint8_t> ReadFileThroughCue(const std::string& cue, const std::string& isoName,
                                             const std::string& scratch) {
    const auto info = RunProgram("cd-info", {"--no-device-info", "--no-cddb", "--iso9660", "--cue-file", cue});
    std::smatch m;
    const std::regex line(R"(\[LSN\s+(\d+)\]\s+(\d+)\s.*)" + std::regex_replace(isoName, std::regex(R"(\.)"), R"(\.)"),
                          std::regex::icase);
    if (!std::regex_search(info.out, m, line)) {
        ADD_FAILURE() << "cd-info did not list " << isoName << ":\n" << info.out << info.err;
        return {};
    }
    const std::size_t size = std::stoul(m[2]);
    const auto read = RunProgram("cd-read", {"--cue-file", cue, "--mode", "m2f1", "--start", m[1], "--number",
                                             std::to_string((size + 2047) / 2048), "--no-hexdump", "-o", scratch});
    EXPECT_EQ(read.exitCode, 0) << read.err;
    auto bytes = ReadFileBytes(scratch);
    bytes.resize(size);
    return bytes;
}

std::vector<std::uint8_t> ReadFileFromIso(const std::string& iso, const std::string& isoPath,
                                          const std::string& scratch) {
    const auto read = RunProgram("iso-read", {"-i", iso, "-e", isoPath, "-o", scratch});
    EXPECT_EQ(read.exitCode, 0) << read.out << read.err;
    return read.exitCode == 0 ? ReadFileBytes(scratch) : std::vector<std::uint8_t>{};
}

} // namespace qorlu::test
